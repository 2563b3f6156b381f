// The main window's transfer history: the recorder every operation reports
// to when it ends, the one warning when the history cannot be written, and
// the history dialog from the device list's context menu and its shortcut.
#include "unitmainform.h"

#include "ui_unitmainform.h"

#include "config/Settings.h"
#include "dialogs/HistoryForm.h"
#include "document/UploadPlan.h"
#include "history/HistoryFormat.h"
#include "history/HistoryStore.h"

#include <QMenu>

void TFormMain::SetUpHistory()
{
    const QString path = FOptions.HistoryPath.isEmpty() ? DefaultHistoryPath() : FOptions.HistoryPath;
    // Opening, pruning and every insert run on the recorder's thread: a slow disk never holds up the window.
    FHistory = std::make_unique<THistoryRecorder>(
        path, HistoryMaxAgeDays(SettingsFilePath()), HistoryDatabaseSetting(SettingsFilePath()));
    connect(FHistory.get(), &THistoryRecorder::Failed, this, [this, path](const QString& message) {
        FPrompter.ShowMessage(
            QString::fromUtf8("Aktarım geçmişi kaydedilemedi (%1): %2\r\nAktarımlar bundan etkilenmez; bu uyarı bir "
                              "daha gösterilmez.")
                .arg(path, message));
    });

    // What is on each machine: in the status panel and the device list's tool tip.
    connect(FHistory.get(), &THistoryRecorder::LastSentRead, this, [this](const QList<TTransferRecord>& records) {
        for (const TTransferRecord& r : records) {
            // An upload of this run may be newer than what the history held.
            TTransferRecord& known = FLastSent[LastSentKey(r.MacId, r.IPAddress)];
            if (!known.Time.isValid() || known.Time < r.Time)
                known = r;
        }
        if (FDeviceList)
            FDeviceList->ToolTipsChanged();
        UpdateDeviceInfo();
    });
    // The shared history's state, shown once in the status panel instead of a box per record.
    connect(FHistory.get(), &THistoryRecorder::SharedState, this,
        [this](bool reachable, qint64 waiting, const QString& message) {
            FSharedHistoryNote = reachable || waiting == 0
                ? QString()
                : QString::fromUtf8("Ortak aktarım geçmişine ulaşılamıyor (%1); %2 kayıt bekliyor.")
                      .arg(message)
                      .arg(waiting);
            UpdateDeviceInfo();
        });

    ui->ListBoxDevices->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ui->ListBoxDevices, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        const QModelIndex index = ui->ListBoxDevices->indexAt(pos);
        if (!index.isValid())
            return;
        QMenu* menu = CreateDeviceMenu(index.row(), this);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(ui->ListBoxDevices->viewport()->mapToGlobal(pos));
    });
}

QMenu* TFormMain::CreateDeviceMenu(int row, QWidget* parent)
{
    auto* menu = new QMenu(parent);
    const QModelIndex index = FDeviceList->index(row);
    const QString mac = index.data(TDeviceListModel::MacIdRole).toString();
    const QString device = mac.isEmpty() ? index.data(TDeviceListModel::AddressRole).toString() : mac;
    menu->addAction(QString::fromUtf8("Geçmiş…"), this, [this, device] { ShowHistory(device); });
    return menu;
}

void TFormMain::ShowHistory(const QString& device)
{
    FHistory->Flush(); // the operation that just ended is in the table
    TFormHistory dialog(FPrompter, FHistory->Path(), device, this, FHistory->SharedLocation());
    FPrompter.RunModal(dialog);
}

void TFormMain::RecordOperation(const TTransferRecord& record)
{
    FHistory->Record(record);
    if (record.Kind == TTransferKind::Upload && record.Success) {
        FLastSent.insert(LastSentKey(record.MacId, record.IPAddress), record);
        if (FDeviceList)
            FDeviceList->ToolTipsChanged();
    }
}

QString TFormMain::LastSentKey(const QString& macId, const QString& ipAddress)
{
    return macId.isEmpty() ? ipAddress : macId.toUpper();
}

QString TFormMain::LastSentText(const TQuillexDevice& device) const
{
    const auto found = FLastSent.constFind(LastSentKey(device.MacId, device.IPAddress));
    return found == FLastSent.cend() ? QString() : LastSentLine(*found);
}

TStoredProgramCheckInput TFormMain::StoredProgramCheckInput(const TQuillexDevice& device) const
{
    TStoredProgramCheckInput input;
    input.EditorHoldsText = FDocument->Mode() == TDocumentMode::Text;
    if (input.EditorHoldsText)
        input.EditorText = FDocument->Utf8Text();
    input.Siemens = IsControllerSiemens(device.Controller);
    input.MaxFileSize
        = DecideUploadPlan(FStatusListener ? FStatusListener->GetStatusFor(device.IPAddress) : QString(), {})
              .MaxRawSize;
    const auto found = FLastSent.constFind(LastSentKey(device.MacId, device.IPAddress));
    if (found != FLastSent.cend())
        input.LastUpload = *found;
    return input;
}
