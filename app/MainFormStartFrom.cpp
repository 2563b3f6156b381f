// The main window's start-from side: the scan command that shows the
// tool-change panel, the panel's clicks for a program, and starting the
// device's stored program from a point in its middle. Every device query runs
// off the user-interface thread while the window keeps painting.
#include "unitmainform.h"

#include "ui_unitmainform.h"

#include "DeviceWait.h"
#include "device/ProgramTransfer.h"
#include "device/UnitDeviceCommand.h"
#include "dialogs/UnitStartFromSelectForm.h"

#include <Qsci/qsciscintilla.h>

namespace {

struct TIndexRead {
    bool Ok = false;
    QList<TStartFromIndexEntry> Entries;
    QString ResponseMsg;
};

struct TCommandReply {
    bool Ok = false;
    QString ResponseMsg;
};

// The line of the first entry carrying the number; 0 when none does.
qint32 StartFromLineNumber(const QList<TStartFromIndexEntry>& entries, qint32 index)
{
    for (const TStartFromIndexEntry& entry : entries)
        if (entry.Index == index)
            return entry.LineNumber;
    return 0;
}

} // namespace

void TFormMain::SpeedButtonScanToolChangesClick()
{
    ScanToolChanges();
    if (FDocument->Mode() == TDocumentMode::Text)
        ShowToolChangePanel();
}

void TFormMain::ShowToolChangePanel()
{
    if (!ui->PanelToolChanges->isHidden())
        return; // already there, at the width the operator left it
    ui->PanelToolChanges->show();
    const int editorWidth = qMax(1, ui->SplitterToolChanges->width() - FToolChangesPanelWidth);
    ui->SplitterToolChanges->setSizes({ editorWidth, editorWidth, FToolChangesPanelWidth });
}

void TFormMain::ListBoxToolChangesClick()
{
    QListWidgetItem* item = ui->ListBoxToolChanges->currentItem();
    if (!item || !item->isSelected() || InCmtView())
        return;
    const int line = item->data(Qt::UserRole).toInt();
    if (line > 0) {
        ui->SynEditProgram->setCursorPosition(line - 1, 0);
        ui->SynEditProgram->ensureLineVisible(line - 1);
        ui->SynEditProgram->setFocus();
    }
}

void TFormMain::ListBoxToolChangesDblClick()
{
    QListWidgetItem* item = ui->ListBoxToolChanges->currentItem();
    if (!item || !item->isSelected())
        return;
    if (InCmtView()) {
        SaveSelectedCmtProgram();
        return;
    }
    // Row p is the program's p-th tool change, and the device indexed the first ones in list order.
    const int p = ui->ListBoxToolChanges->row(item);
    if (p < 0 || p >= ToolChangeCandidates().size())
        return;
    if (p >= MaxStartFromEntries) {
        FPrompter.ShowMessage(QString::fromUtf8("Sadece ilk %1 takım değişimi cihazda \"buradan devam et\" için "
                                                "kayıtlı - bu satır listede %2. sırada.")
                                  .arg(QString::number(MaxStartFromEntries), QString::number(p + 1)));
        return;
    }
    TQuillexDevice device;
    if (SelectedDeviceWithPin(device))
        SendStartFrom(device, p);
}

bool TFormMain::SelectedDeviceWithPin(TQuillexDevice& device)
{
    if (!SelectedDevice(device)) {
        FPrompter.ShowMessage(QString::fromUtf8("Önce bir cihaz seçin."));
        return false;
    }
    return CheckDevicePin(device);
}

void TFormMain::SpeedButtonStartFromMiddleClick()
{
    TQuillexDevice device;
    if (!SelectedDeviceWithPin(device))
        return;

    const QPointer<TFormMain> alive(this);
    const QString ip = device.IPAddress;
    const quint16 port = device.Port;
    const TIndexRead index = RunBlocking(WindowCallRunner(), [ip, port] {
        TIndexRead read;
        read.Ok = ReadStartFromIndex(ip, port, read.Entries, read.ResponseMsg);
        return read;
    });
    if (!StillOpen(alive))
        return;
    if (!index.Ok) {
        FPrompter.ShowMessage("Hata: " + index.ResponseMsg);
        return;
    }
    if (index.Entries.isEmpty()) {
        FPrompter.ShowMessage(QString::fromUtf8("Cihazda kayıtlı bir devam noktası yok (Start From index boş)."));
        return;
    }

    qint32 chosen = -1;
    {
        TFormStartFromSelect dialog(WindowCallRunner()); // no owner window, centred over this one
        dialog.SetSafetyInput(StoredProgramCheckInput(device));
        connect(&dialog, &TFormStartFromSelect::EntrySelected, this, &TFormMain::ShowStartFromRun);
        dialog.Initialize(index.Entries, ip, port);
        if (!StillOpen(alive))
            return;
        dialog.move(frameGeometry().center() - dialog.rect().center());
        if (FPrompter.RunModal(dialog) != QDialog::Accepted || !StillOpen(alive))
            return;
        chosen = dialog.SelectedIndexNo();
    }
    if (chosen < 0)
        return;

    // The number sent is the entry's own; its line only goes into the question.
    const qint32 line = StartFromLineNumber(index.Entries, chosen);
    if (!FPrompter.ConfirmYesNo(
            QString::fromUtf8("Satır %1'den itibaren gönderim başlatılacak. Onaylıyor musunuz?").arg(line)))
        return;
    SendStartFrom(device, chosen);
}

void TFormMain::SendStartFrom(const TQuillexDevice& device, qint32 index)
{
    const QPointer<TFormMain> alive(this);
    const QString ip = device.IPAddress;
    const quint16 port = device.Port;
    const QStringList commands { "STARTFROM" + QString::number(index) };
    TTransferRecord record = NewTransferRecord(TTransferKind::StartFrom, device.DisplayName, ip, device.MacId);
    SetRecordCommands(record, commands);
    QElapsedTimer clock;
    clock.start();
    const TCommandReply reply = RunBlocking(WindowCallRunner(), [ip, port, commands] {
        TCommandReply r;
        r.Ok = SendDeviceCommands(ip, port, commands, r.ResponseMsg);
        return r;
    });
    if (!StillOpen(alive))
        return;
    const QString shown = reply.Ok
        ? QString::fromUtf8("Devam ettirme başlatıldı (CNC'den XON bekleniyor): ") + reply.ResponseMsg
        : "Hata: " + reply.ResponseMsg;
    RecordOperation(record, clock, reply.Ok, shown);
    FPrompter.ShowMessage(shown);
}
