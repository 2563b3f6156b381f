// The main window's upload and download commands and the success display.
#include "unitmainform.h"

#include "ui_unitmainform.h"

#include "DeviceWait.h"
#include "WindowLook.h"
#include "config/Settings.h"
#include "operations/DeviceStatusWait.h"
#include "operations/DownloadOperation.h"
#include "operations/OperationJob.h"
#include "operations/UploadOperation.h"

#include <Qsci/qsciscintilla.h>

namespace {

// The transfer panel's widgets as the presenter sees them.
class TPanelView : public TTransferProgressView {
public:
    explicit TPanelView(Ui::TFormMain* ui)
        : ui(ui)
    {
    }
    void SetTitle(const QString& title) override { ui->LabelTransferTitle->setText(title); }
    void SetStatus(const QString& text) override { ui->LabelTransferStatus->setText(text); }
    void SetBar(int position) override
    {
        ui->ProgressBarTransfer->setRange(0, 100);
        ui->ProgressBarTransfer->setValue(position);
    }
    void SetBarMarquee() override { ui->ProgressBarTransfer->setRange(0, 0); }
    void SetPanelVisible(bool visible) override { ui->PanelTransfer->setVisible(visible); }

private:
    Ui::TFormMain* ui;
};

} // namespace

void TFormMain::StartProgress(const QString& title)
{
    if (!FTransferView)
        FTransferView = std::make_unique<TPanelView>(ui.get());
    FTransferProgress.reset();
    FTransferProgress = std::make_unique<TTransferProgress>(*FTransferView, title, FOptions.TickSource);
    FTransferProgress->UpdateProgress(0);
    ui->LabelTransferVerify->hide();
    SetTransferControlsEnabled(false);
}

void TFormMain::SpeedButtonUploadToMachineClick()
{
    if (FDeviceList->SelectedRow() < 0) {
        FPrompter.ShowMessage(QString::fromUtf8("Önce bir cihaz seçin."));
        return;
    }
    if (FDocument->Mode() == TDocumentMode::RawCapture) {
        FPrompter.ShowMessage(
            QString::fromUtf8("Editörde ham (RAW) kaydın HEX dökümü var - G-kod olmadığı için cihaza gönderilemez."));
        return;
    }
    TQuillexDevice device;
    if (!SelectedDevice(device))
        return; // the row has no device behind it: nothing to send to
    // The text is normalised and scanned anew even if the command stops later.
    const TPreparedUpload upload = FDocument->PrepareUpload(IsControllerSiemens(device.Controller));

    // The device's limits come from its status; give it a few seconds to speak.
    // The window paints meanwhile and sees a close; it then sends nothing.
    const QPointer<TFormMain> alive(this);
    const TKnownStatus known = WaitForDeviceStatus(
        *FStatusListener, { device.IPAddress }, WindowWaitLoop, [alive] { return StillOpen(alive); });
    if (!StillOpen(alive) || known.Kind == EOutcomeKind::Cancelled)
        return;
    if (!known.Succeeded()) {
        FPrompter.ShowMessage(known.Shown);
        return;
    }
    if (!CheckDevicePin(device, known.IdentityShared))
        return;
    const QString& status = known.Status;
    TUploadRequest request;
    request.Device = device;
    request.Status = status;
    request.Prepared = upload;
    request.FileName = CurrentFileName();
    QSettings settings = OpenSettingsFile();
    request.Verify = VerifyAfterUpload(settings);

    StartProgress(QString::fromUtf8("Cihaza gönderiliyor"));
    const QString ip = device.IPAddress;
    auto progress = std::make_shared<TProgressCallbacks>();
    progress->OnPercent = [this](qint32 percent) {
        if (FTransferProgress)
            FTransferProgress->UpdateProgress(percent);
    };
    progress->OnLargeUpload = [this, ip] {
        if (FTransferProgress)
            FTransferProgress->UseDeviceProgress(
                [this, ip] { return FStatusListener ? FStatusListener->GetStatusFor(ip) : QString(); });
    };
    progress->OnErase = [this](qint64 done, qint64 total) {
        if (FTransferProgress)
            FTransferProgress->UpdateEraseProgress(done, total);
    };
    progress->OnVerifyStarted = [this] {
        if (FTransferProgress)
            FTransferProgress->BeginVerification();
    };
    RunOperationJob<TUploadOutcome>(
        this, progress, [request](TOperationProgress& p) { return SendUpload(request, p); },
        [this](const TUploadOutcome& outcome) { UploadComplete(outcome); });
}

void TFormMain::UploadComplete(const TUploadOutcome& outcome)
{
    SetTransferControlsEnabled(true);
    FTransferProgress.reset();
    raise();
    activateWindow();
    if (outcome.Record)
        RecordOperation(*outcome.Record); // before a message box holds the window
    // The device does not hold what was sent, or that is not known: a warning
    // box, never the green success display.
    if (outcome.Kind == EOutcomeKind::Mismatch || outcome.Kind == EOutcomeKind::VerifyFailed) {
        FPrompter.ShowWarning(outcome.Shown);
        return;
    }
    if (!outcome.Succeeded() || !outcome.IndexWarning.isEmpty()) {
        FPrompter.ShowMessage(outcome.Shown);
        return;
    }
    if (outcome.Verification.Outcome == TUploadVerification::EOutcome::Verified)
        ShowUploadVerified(outcome.Verification);
    else
        ShowTransferSuccess(QString::fromUtf8("Cihaza gönderildi"));
}

void TFormMain::ShowUploadVerified(const TUploadVerification& verification)
{
    ShowTransferSuccess(QString::fromUtf8("Cihaza gönderildi"));
    ui->LabelTransferVerify->setText(verification.Message);
    ui->LabelTransferVerify->show();
}

void TFormMain::SpeedButtonDownloadFromMachineClick()
{
    TQuillexDevice device;
    if (FDeviceList->SelectedRow() < 0) {
        FPrompter.ShowMessage(QString::fromUtf8("Önce bir cihaz seçin."));
        return;
    }
    if (!SelectedDevice(device) || !CheckDevicePin(device))
        return;
    TDownloadRequest request;
    request.Device = device;
    // The device's limit bounds what the download takes; the default when its status is not known.
    request.Status = FStatusListener ? FStatusListener->GetStatusFor(device.IPAddress) : QString();
    StartProgress(QString::fromUtf8("Cihazdan alınıyor"));
    auto progress = std::make_shared<TProgressCallbacks>();
    progress->OnPercent = [this](qint32 percent) {
        if (FTransferProgress)
            FTransferProgress->UpdateProgress(percent);
    };
    RunOperationJob<TDownloadOutcome>(
        this, progress, [request](TOperationProgress& p) { return RunDownload(request, p); },
        [this, device](const TDownloadOutcome& outcome) { DownloadComplete(device, outcome); });
}

void TFormMain::DownloadComplete(const TQuillexDevice& device, const TDownloadOutcome& outcome)
{
    SetTransferControlsEnabled(true);
    FTransferProgress.reset();
    raise();
    activateWindow();
    if (outcome.Record)
        RecordOperation(*outcome.Record);
    if (!outcome.Succeeded()) {
        FPrompter.ShowMessage(outcome.Shown);
        return;
    }
    FDocument->TakeDownload(outcome.Content, outcome.IsRaw, IsControllerSiemens(device.Controller));
    if (outcome.IsRaw) {
        FPrompter.ShowMessage(outcome.Shown);
        return;
    }
    ShowTransferSuccess(QString::fromUtf8("Cihazdan alındı"));
}

void TFormMain::ShowTransferSuccess(const QString& title)
{
    if (!FTransferDoneTimer) {
        // A repeating timer, stopped by its own first tick: StopTransferDoneTimer
        // acts only while it runs.
        FTransferDoneTimer = new QTimer(this);
        FTransferDoneTimer->setInterval(4000);
        connect(FTransferDoneTimer, &QTimer::timeout, this, [this] { StopTransferDoneTimer(true); });
    }
    if (!FTransferDoneTimer->isActive())
        FTransferStatusColor = TransferStatusColor();
    ui->LabelTransferTitle->setText(title);
    ui->LabelTransferStatus->setText(MsgDone());
    SetTransferStatusColor(SuccessGreen);
    ui->ProgressBarTransfer->setRange(0, 100);
    ui->ProgressBarTransfer->setValue(100);
    ui->LabelTransferVerify->hide();
    ui->PanelTransfer->show();
    FTransferDoneTimer->start();
}
