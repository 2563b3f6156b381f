// The main window's upload and download commands and the success display.
#include "unitmainform.h"

#include "DeviceWait.h"
#include "TransferPanel.h"
#include "config/Settings.h"
#include "operations/DeviceStatusWait.h"
#include "operations/DownloadOperation.h"
#include "operations/OperationJob.h"
#include "operations/UploadOperation.h"

void TFormMain::StartProgress(const QString& title)
{
    FTransferPanel->Start(title);
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
    // Large uploads show the device's own counters from its status.
    auto progress = FTransferPanel->OperationProgress(
        [this, ip] { return FStatusListener ? FStatusListener->GetStatusFor(ip) : QString(); });
    RunOperationJob<TUploadOutcome>(
        this, progress, [request](TOperationProgress& p) { return SendUpload(request, p); },
        [this](const TUploadOutcome& outcome) { UploadComplete(outcome); });
}

void TFormMain::UploadComplete(const TUploadOutcome& outcome)
{
    SetTransferControlsEnabled(true);
    FTransferPanel->End();
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
    FTransferPanel->ShowTransferSuccess(QString::fromUtf8("Cihaza gönderildi"), verification.Message);
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
    auto progress = FTransferPanel->OperationProgress();
    RunOperationJob<TDownloadOutcome>(
        this, progress, [request](TOperationProgress& p) { return RunDownload(request, p); },
        [this, device](const TDownloadOutcome& outcome) { DownloadComplete(device, outcome); });
}

void TFormMain::DownloadComplete(const TQuillexDevice& device, const TDownloadOutcome& outcome)
{
    SetTransferControlsEnabled(true);
    FTransferPanel->End();
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
    FTransferPanel->ShowTransferSuccess(title);
}
