#include "DroppedFileSend.h"

#include "content/QuillexError.h"
#include "device/DeviceFailure.h"
#include "device/DevicePin.h"
#include "device/ProgramTransfer.h"
#include "device/UnitDeviceCommand.h"
#include "discovery/DeviceStatusView.h"
#include "document/ProgramDocument.h"
#include "document/UploadPlan.h"
#include "transfer/UploadVerification.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

namespace {

// No operator sits at the service: a PIN is the stored one or none.
class TNoPrompter : public TPinPrompter {
public:
    bool AskPin(const QString&, const QString&, QString&) override
    {
        Asked = true;
        return false;
    }
    void ShowMessage(const QString& text) override { Message = text; }
    bool Asked = false;
    QString Message;
};

// Network trouble passes; what the device or the file says does not.
bool Transient(EDeviceFailure kind)
{
    return kind == EDeviceFailure::ConnectFailed || kind == EDeviceFailure::Timeout
        || kind == EDeviceFailure::NetworkError;
}

TDropResult Retry(const QString& message)
{
    return { EDropOutcome::Retry, message, std::nullopt };
}

} // namespace

TDropResult SendDroppedFile(const TDroppedFile& file, const TDroppedDevice& target, bool verify)
{
    const TQuillexDevice& device = target.Device;
    QElapsedTimer clock;
    clock.start();
    TTransferRecord record
        = NewTransferRecord(TTransferKind::Upload, device.DisplayName, device.IPAddress, device.MacId);
    record.Uid = file.Uid;
    // The name it was dropped under, in the device's folder above işleniyor/.
    QDir deviceFolder = QFileInfo(file.Path).dir();
    deviceFolder.cdUp();
    record.FileName = deviceFolder.absoluteFilePath(file.FileName);
    bool stored = false; // the device took the program; its read-back is the record's Verification
    const auto finish = [&](EDropOutcome outcome, const QString& message) {
        record.Time = QDateTime::currentDateTimeUtc();
        record.DurationMs = clock.elapsed();
        record.Success = stored;
        record.Message = message;
        return TDropResult { outcome, message, record };
    };

    QFile input(file.Path);
    if (!input.open(QIODevice::ReadOnly))
        return finish(EDropOutcome::Failed, QString::fromUtf8("Dosya okunamadı: %1").arg(input.errorString()));
    QByteArray bytes = input.readAll();
    if (input.error() != QFileDevice::NoError)
        return finish(EDropOutcome::Failed, QString::fromUtf8("Dosya okunamadı: %1").arg(input.errorString()));
    input.close();
    if (bytes.isEmpty())
        return finish(EDropOutcome::Failed, QString::fromUtf8("Dosya boş; gönderilmedi."));
    if (DeviceActivity(target.Status) == TDeviceActivity::Busy)
        return Retry(QString::fromUtf8("Cihaz meşgul (aktarım ya da silme sürüyor)"));

    TNoPrompter prompter;
    if (!EnsureDevicePin(device.IPAddress, device.Port, PinStoreKey(device.MacId, device.IPAddress), device.DisplayName,
            device.PinRequired, prompter, target.IdentityShared)) {
        if (!prompter.Asked)
            return Retry(prompter.Message);
        return finish(EDropOutcome::Failed,
            QString::fromUtf8("%1 şifre istiyor; bu cihaz için kayıtlı şifre yok ya da cihaz kayıtlı şifreyi kabul "
                              "etmedi. Şifreyi pencereden ya da \"quillex-cli ... --save-pin\" ile kaydedin.")
                .arg(device.DisplayName));
    }

    TPreparedUpload upload;
    try {
        upload = PrepareFileForUpload(std::move(bytes), IsControllerSiemens(device.Controller));
    } catch (const EQuillexError& e) {
        return finish(EDropOutcome::Failed, e.Message());
    } catch (const std::bad_alloc&) {
        return finish(EDropOutcome::Failed, QString::fromUtf8("Bellek yetersiz: %1").arg(file.FileName));
    }
    const TUploadPlan plan = DecideUploadPlan(target.Status, upload.Candidates);
    SetRecordBytes(record, upload.Content);

    if (file.Resumed) {
        // Sent before the service stopped? Then the device holds exactly these bytes.
        const TUploadVerification held
            = VerifyStoredProgram(device.IPAddress, DownloadPort, upload.Content, plan.MaxRawSize, {});
        if (held.Outcome == TUploadVerification::EOutcome::Verified) {
            stored = true;
            record.Verification = HistoryVerification(held);
            return finish(EDropOutcome::Sent,
                QString::fromUtf8("Program zaten cihazdaydı; yeniden gönderilmedi. ") + held.Message);
        }
        if (held.Outcome == TUploadVerification::EOutcome::Failed && Transient(LastDeviceFailure()))
            return Retry(held.Message);
    }

    QString response;
    bool success = false;
    try {
        success = SendProgramToDevice(device.IPAddress, UploadPort, upload.Content, response, {}, plan.MaxRawSize,
            plan.Candidates, {}, plan.LegacyDevice, {});
    } catch (const EQuillexError& e) {
        response = e.Message();
        SetDeviceFailure(EDeviceFailure::DeviceError);
    } catch (const std::bad_alloc&) {
        response = QString::fromUtf8("Bellek yetersiz: %1").arg(file.FileName);
        SetDeviceFailure(EDeviceFailure::DeviceError);
    }
    if (!success) {
        if (Transient(LastDeviceFailure()))
            return Retry(response);
        return finish(EDropOutcome::Failed, "Hata: " + response);
    }
    stored = true;
    if (!verify)
        return finish(EDropOutcome::Sent, response);
    const TUploadVerification verification
        = VerifyStoredProgram(device.IPAddress, DownloadPort, upload.Content, plan.MaxRawSize, {});
    record.Verification = HistoryVerification(verification);
    switch (verification.Outcome) {
    case TUploadVerification::EOutcome::Verified:
        return finish(EDropOutcome::Sent, response + " " + verification.Message);
    case TUploadVerification::EOutcome::Failed:
        // Stored, but unconfirmed: not sent again, set aside for a look.
        return finish(EDropOutcome::Failed,
            QString::fromUtf8("Program gönderildi ama cihazdan geri okunamadı. ") + verification.Message);
    default:
        return finish(EDropOutcome::Failed, verification.Message);
    }
}
