// The main window's start-from side: the scan command that shows the
// tool-change panel, the panel's clicks for a program, and starting the
// device's stored program from a point in its middle. Every device query runs
// off the user-interface thread while the window keeps painting.
#include "unitmainform.h"

#include "ui_unitmainform.h"

#include "DeviceWait.h"
#include "ToolChangePanel.h"
#include "device/ProgramTransfer.h"
#include "device/UnitDeviceCommand.h"
#include "dialogs/UnitStartFromSelectForm.h"
#include "operations/DeviceCommandOperations.h"

#include <Qsci/qsciscintilla.h>

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
    if (InCmtView())
        return;
    const int line = FToolChangePanel->SelectedValue();
    if (line > 0) {
        ui->SynEditProgram->setCursorPosition(line - 1, 0);
        ui->SynEditProgram->ensureLineVisible(line - 1);
        ui->SynEditProgram->setFocus();
    }
}

void TFormMain::ListBoxToolChangesDblClick()
{
    // Row p is the program's p-th tool change, and the device indexed the first ones in list order.
    const int p = FToolChangePanel->SelectedRow();
    if (p < 0)
        return;
    if (InCmtView()) {
        SaveSelectedCmtProgram();
        return;
    }
    if (p >= ToolChangeCandidates().size())
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
    const TStartFromIndexOutcome index
        = RunBlocking(WindowCallRunner(), [device] { return ReadStartFromIndexOf(device); });
    if (!StillOpen(alive))
        return;
    if (!index.Succeeded() || index.Entries.isEmpty()) {
        FPrompter.ShowMessage(index.Shown);
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
    const TOperationOutcome outcome
        = RunBlocking(WindowCallRunner(), [device, index] { return RunStartFrom(device, index); });
    if (!StillOpen(alive))
        return;
    RecordOperation(*outcome.Record);
    FPrompter.ShowMessage(outcome.Shown);
}
