// The main window's upload and download commands and the success display.
#include "unitmainform.h"

#include "ui_unitmainform.h"

#include "DeviceWait.h"
#include "config/Settings.h"
#include "document/UploadPlan.h"
#include "transfer/UnitFileTransfer.h"

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

constexpr int StatusWaitMs = 5000;

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
    RedrawDocument();
    if (!CheckDevicePin(device))
        return;
    const QByteArray content = upload.Content;

    // The device's limits come from its status; give it a few seconds to speak.
    const QPointer<TFormMain> alive(this);
    QString status;
    WaitUntilWithBusyCursor(
        [&] {
            status = StillOpen(alive) && alive->FStatusListener ? alive->FStatusListener->GetStatusFor(device.IPAddress)
                                                                : QString();
            return !status.isEmpty() || !StillOpen(alive);
        },
        StatusWaitMs, 100);
    if (!StillOpen(alive))
        return;
    if (status.isEmpty()) {
        FPrompter.ShowMessage("Cihazdan henuz durum bilgisi alinamadi (kapasite bilinmiyor). Lutfen birkac saniye "
                              "bekleyip tekrar deneyin.");
        return;
    }
    const TUploadPlan plan = DecideUploadPlan(status, upload.Candidates);

    QSettings settings = OpenSettingsFile();
    const bool verify = VerifyAfterUpload(settings);

    StartProgress(QString::fromUtf8("Cihaza gönderiliyor"));
    const QString ip = device.IPAddress;
    // The history keeps the program as the device stores it, before compression.
    TTransferRecord record = NewTransferRecord(TTransferKind::Upload, device.DisplayName, ip, device.MacId);
    record.FileName = CurrentFileName();
    SetRecordBytes(record, content);
    QElapsedTimer clock;
    clock.start();
    TSendProgramThread::Create(
        this, ip, UploadPort, content,
        [this, record, clock](bool success, const QString& msg, const TUploadVerification& verification) {
            UploadComplete(record, clock, success, msg, verification);
        },
        [this](qint32 percent) {
            if (FTransferProgress)
                FTransferProgress->UpdateProgress(percent);
        },
        plan.MaxRawSize, plan.Candidates,
        [this, ip] {
            if (FTransferProgress)
                FTransferProgress->UseDeviceProgress(
                    [this, ip] { return FStatusListener ? FStatusListener->GetStatusFor(ip) : QString(); });
        },
        plan.LegacyDevice,
        [this](qint64 done, qint64 total) {
            if (FTransferProgress)
                FTransferProgress->UpdateEraseProgress(done, total);
        },
        verify,
        [this] {
            if (FTransferProgress)
                FTransferProgress->BeginVerification();
        });
}

void TFormMain::UploadComplete(TTransferRecord record, const QElapsedTimer& clock, bool success,
    const QString& responseMsg, const TUploadVerification& verification)
{
    using EOutcome = TUploadVerification::EOutcome;
    SetTransferControlsEnabled(true);
    FTransferProgress.reset();
    raise();
    activateWindow();
    record.Verification = HistoryVerification(verification);
    if (!success) {
        const QString shown = "Hata: " + responseMsg;
        RecordOperation(record, clock, false, shown); // before a message box holds the window
        FPrompter.ShowMessage(shown);
        return;
    }
    const qsizetype warning = responseMsg.indexOf("(UYARI");
    const QString indexWarning = warning >= 0 ? responseMsg.mid(warning) : QString();
    const QString done = QString::fromUtf8("Başarı ile Tamamlandı.");
    // The device does not hold what was sent, or that is not known: a warning
    // box, never the green success display.
    if (verification.Outcome == EOutcome::Mismatch || verification.Outcome == EOutcome::Failed) {
        const QString shown
            = indexWarning.isEmpty() ? verification.Message : verification.Message + "\r\n" + indexWarning;
        RecordOperation(record, clock, true, shown);
        FPrompter.ShowWarning(shown);
        return;
    }
    if (!indexWarning.isEmpty()) {
        QString text = done + "\r\n" + indexWarning;
        if (verification.Outcome == EOutcome::Verified)
            text += "\r\n" + verification.Message;
        RecordOperation(record, clock, true, text);
        FPrompter.ShowMessage(text);
        return;
    }
    RecordOperation(
        record, clock, true, verification.Outcome == EOutcome::Verified ? done + "\r\n" + verification.Message : done);
    if (verification.Outcome == EOutcome::Verified)
        ShowUploadVerified(verification);
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
    // The device's limit bounds what the download takes; the default when its status is not known.
    const qint64 maxFileSize
        = DecideUploadPlan(FStatusListener ? FStatusListener->GetStatusFor(device.IPAddress) : QString(), {})
              .MaxRawSize;
    StartProgress(QString::fromUtf8("Cihazdan alınıyor"));
    QElapsedTimer clock;
    clock.start();
    TReceiveProgramThread::Create(
        this, device.IPAddress, DownloadPort,
        [this, device, clock](bool success, const QByteArray& content, bool isRaw, const QString& msg) {
            DownloadComplete(device, clock, success, content, isRaw, msg);
        },
        [this](qint32 percent) {
            if (FTransferProgress)
                FTransferProgress->UpdateProgress(percent);
        },
        maxFileSize);
}

void TFormMain::DownloadComplete(const TQuillexDevice& device, const QElapsedTimer& clock, bool success,
    const QByteArray& content, bool isRaw, const QString& responseMsg)
{
    SetTransferControlsEnabled(true);
    FTransferProgress.reset();
    raise();
    activateWindow();
    TTransferRecord record
        = NewTransferRecord(TTransferKind::Download, device.DisplayName, device.IPAddress, device.MacId);
    SetRecordBytes(record, content);
    if (!success) {
        RecordOperation(record, clock, false, "Hata: " + responseMsg);
        FPrompter.ShowMessage("Hata: " + responseMsg);
        return;
    }
    const QString rawMessage
        = QString::fromUtf8("Ham (RAW) kayıt alındı: %1 bayt. HEX olarak gösteriliyor, Kaydet .bin "
                            "(binary) olarak yazar.")
              .arg(content.size());
    RecordOperation(record, clock, true, isRaw ? rawMessage : QString::fromUtf8("Başarı ile Tamamlandı."));
    FDocument->TakeDownload(content, isRaw, IsControllerSiemens(device.Controller));
    RedrawDocument();
    if (isRaw) {
        FPrompter.ShowMessage(rawMessage);
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
    ui->LabelTransferStatus->setText(QString::fromUtf8("Başarı ile Tamamlandı."));
    SetTransferStatusColor(QColor(0, 128, 0));
    ui->ProgressBarTransfer->setRange(0, 100);
    ui->ProgressBarTransfer->setValue(100);
    ui->LabelTransferVerify->hide();
    ui->PanelTransfer->show();
    FTransferDoneTimer->start();
}
