#include "DroppedFileSend.h"

#include "content/QuillexError.h"
#include "device/DeviceFailure.h"
#include "discovery/DeviceStatusView.h"
#include "operations/UploadOperation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// No operator sits at the service: a PIN is the stored one or none.
class TNoPrompter : public TPinPrompter {
public:
    bool AskPin(const QString&, const QString&, QString&) override { return false; }
    void ShowMessage(const QString&) override { }
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

// A PIN check that did not pass: the operator could not be asked (no stored
// PIN, or the device refused it) sets the file aside; anything else waits.
std::optional<QString> PinRefusal(const TOperationOutcome& pin, const QString& deviceName)
{
    if (pin.Kind != EOutcomeKind::Cancelled)
        return std::nullopt;
    return QString::fromUtf8("%1 şifre istiyor; bu cihaz için kayıtlı şifre yok ya da cihaz kayıtlı şifreyi kabul "
                             "etmedi. Şifreyi pencereden ya da \"quillex-cli ... --save-pin\" ile kaydedin.")
        .arg(deviceName);
}

} // namespace

TDropResult SendDroppedFile(const TDroppedFile& file, const TDroppedDevice& target, bool verify)
{
    const TQuillexDevice& device = target.Device;
    // The record of a send that ended before the device took the program.
    TOperationRecord failure(TTransferKind::Upload, device);
    // The name it was dropped under, in the device's folder above işleniyor/.
    QDir deviceFolder = QFileInfo(file.Path).dir();
    deviceFolder.cdUp();
    const QString fileName = deviceFolder.absoluteFilePath(file.FileName);
    const auto result = [&](EDropOutcome outcome, const QString& message, TTransferRecord record) {
        record.Uid = file.Uid;
        record.FileName = fileName;
        return TDropResult { outcome, message, record };
    };
    const auto failed
        = [&](const QString& message) { return result(EDropOutcome::Failed, message, failure.Finish(false, message)); };

    QFile input(file.Path);
    if (!input.open(QIODevice::ReadOnly))
        return failed(QString::fromUtf8("Dosya okunamadı: %1").arg(input.errorString()));
    QByteArray bytes = input.readAll();
    if (input.error() != QFileDevice::NoError)
        return failed(QString::fromUtf8("Dosya okunamadı: %1").arg(input.errorString()));
    input.close();
    if (bytes.isEmpty())
        return failed(QString::fromUtf8("Dosya boş; gönderilmedi."));
    if (DeviceActivity(target.Status) == TDeviceActivity::Busy)
        return Retry(QString::fromUtf8("Cihaz meşgul (aktarım ya da silme sürüyor)"));

    TUploadRequest request;
    request.Device = device;
    request.Status = target.Status;
    request.FileName = fileName;
    request.Verify = verify;
    request.SuccessText = ESuccessText::DeviceReply;
    try {
        request.Prepared = PrepareFileForUpload(std::move(bytes), IsControllerSiemens(device.Controller));
    } catch (const EQuillexError& e) {
        return failed(e.Message());
    } catch (const std::bad_alloc&) {
        return failed(QString::fromUtf8("Bellek yetersiz: %1").arg(file.FileName));
    }

    const TPinCheck pinCheck { device, target.IdentityShared, QString() };
    TNoPrompter prompter;
    TOperationProgress progress;
    TUploadOutcome outcome;
    if (file.Resumed) {
        // Sent before the service stopped? Then the device holds exactly these bytes.
        const TOperationOutcome pin = RunPinCheck(pinCheck, prompter);
        if (!pin.Succeeded()) {
            if (const std::optional<QString> refusal = PinRefusal(pin, device.DisplayName))
                return failed(*refusal);
            return Retry(pin.Shown);
        }
        TOperationRecord held(TTransferKind::Upload, device);
        const TVerifyOutcome stored = RunVerify({ device, target.Status, request.Prepared.Content }, progress);
        if (stored.Kind == EOutcomeKind::Ok) {
            const QString message
                = QString::fromUtf8("Program zaten cihazdaydı; yeniden gönderilmedi. ") + stored.Message;
            SetRecordBytes(held.Record(), request.Prepared.Content);
            held.Record().Verification = HistoryVerification(stored.Verification);
            return result(EDropOutcome::Sent, message, held.Finish(true, message));
        }
        if (stored.Kind == EOutcomeKind::VerifyFailed && Transient(LastDeviceFailure()))
            return Retry(stored.Message);
        outcome = SendUpload(request, progress);
    } else {
        outcome = RunUpload(request, pinCheck, progress, prompter);
    }

    if (!outcome.Record) { // stopped before the device was asked to store anything
        if (const std::optional<QString> refusal = PinRefusal(outcome, device.DisplayName))
            return failed(*refusal);
        return Retry(outcome.Shown);
    }
    TTransferRecord record = *outcome.Record;
    switch (outcome.Kind) {
    case EOutcomeKind::Ok: {
        const TUploadVerification& verification = outcome.Verification;
        const bool verified = verification.Outcome == TUploadVerification::EOutcome::Verified;
        return result(EDropOutcome::Sent,
            verified ? outcome.DeviceReply + " " + verification.Message : outcome.DeviceReply, record);
    }
    case EOutcomeKind::VerifyFailed:
        // Stored, but unconfirmed: not sent again, set aside for a look.
        return result(EDropOutcome::Failed,
            QString::fromUtf8("Program gönderildi ama cihazdan geri okunamadı. ") + outcome.Message, record);
    case EOutcomeKind::Mismatch:
        return result(EDropOutcome::Failed, outcome.Message, record);
    default:
        if (Transient(outcome.Failure))
            return Retry(outcome.Message);
        return result(EDropOutcome::Failed, outcome.Shown, record);
    }
}
