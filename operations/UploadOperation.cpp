#include "UploadOperation.h"

#include "device/UnitDeviceCommand.h"
#include "document/UploadPlan.h"
#include "transfer/UnitFileTransfer.h"

#include <future>

namespace {

using EVerified = TUploadVerification::EOutcome;

TUploadVerification ReadBack(
    const TQuillexDevice& device, const QByteArray& sent, qint64 maxFileSize, TOperationProgress& progress)
{
    TUploadVerification verification;
    QString failure;
    const bool ran = RunTransferGuarded(
        [&] {
            verification = VerifyStoredProgram(
                device.IPAddress, DownloadPort, sent, maxFileSize, [&](qint32 percent) { progress.Percent(percent); });
            return true;
        },
        failure);
    return ran ? verification : VerificationFailed(failure);
}

// The operator's wording of an upload the device accepted.
void WordSuccess(TUploadOutcome& outcome)
{
    const TUploadVerification& verification = outcome.Verification;
    const QString& warning = outcome.IndexWarning;
    if (verification.Outcome == EVerified::Mismatch || verification.Outcome == EVerified::Failed) {
        // The device does not hold what was sent, or that is not known.
        outcome.Kind
            = verification.Outcome == EVerified::Mismatch ? EOutcomeKind::Mismatch : EOutcomeKind::VerifyFailed;
        outcome.Message = verification.Message;
        outcome.Shown = warning.isEmpty() ? verification.Message : verification.Message + "\r\n" + warning;
        return;
    }
    outcome.Shown = MsgDone();
    if (!warning.isEmpty())
        outcome.Shown += "\r\n" + warning;
    if (verification.Outcome == EVerified::Verified)
        outcome.Shown += "\r\n" + verification.Message;
}

} // namespace

TOperationOutcome NoStatusOutcome()
{
    TOperationOutcome outcome;
    outcome.Kind = EOutcomeKind::NoStatus;
    outcome.Message = MsgNoStatusYet();
    outcome.Shown = outcome.Message;
    return outcome;
}

TUploadOutcome SendUpload(const TUploadRequest& request, TOperationProgress& progress)
{
    TUploadOutcome outcome;
    if (request.Status.isEmpty()) {
        static_cast<TOperationOutcome&>(outcome) = NoStatusOutcome();
        return outcome;
    }
    const QByteArray& content = request.Prepared.Content;
    const TUploadPlan plan = DecideUploadPlan(request.Status, request.Prepared.Candidates);
    TOperationRecord record(TTransferKind::Upload, request.Device);
    record.Record().FileName = request.FileName;
    QString reply;
    bool success = false;
    {
        // The history keeps the program as the device stores it, before
        // compression: fingerprinted on another core while the upload
        // compresses; the record is not touched here until that is done.
        const std::future<void> fingerprints
            = std::async(std::launch::async, [&record, &content] { SetRecordBytes(record.Record(), content); });
        success = RunTransferGuarded(
            [&] {
                return SendProgramToDevice(
                    request.Device.IPAddress, UploadPort, content, reply,
                    [&](qint32 percent) { progress.Percent(percent); }, plan.MaxRawSize, plan.Candidates,
                    [&] { progress.LargeUpload(); }, plan.LegacyDevice,
                    [&](qint64 done, qint64 total) { progress.Erase(done, total); }, &outcome.Facts);
            },
            reply);
        fingerprints.wait();
    }
    if (!success) {
        static_cast<TOperationOutcome&>(outcome) = DeviceLinkFailure(reply, LastDeviceFailure());
        outcome.Record = record.Finish(false, outcome.Shown);
        return outcome;
    }
    outcome.DeviceReply = reply;
    outcome.Message = reply;
    if (const qsizetype warning = reply.indexOf("(UYARI"); warning >= 0)
        outcome.IndexWarning = reply.mid(warning);
    if (request.Verify) {
        progress.VerifyStarted();
        outcome.Verification = ReadBack(request.Device, content, plan.MaxRawSize, progress);
        record.Record().Verification = HistoryVerification(outcome.Verification);
    }
    WordSuccess(outcome);
    // The upload itself succeeded even when the read-back does not confirm it.
    outcome.Record
        = record.Finish(true, request.SuccessText == ESuccessText::DeviceReply ? outcome.DeviceReply : outcome.Shown);
    return outcome;
}

TUploadOutcome RunUpload(const TUploadRequest& request, const TPinCheck& pinCheck, TOperationProgress& progress,
    TPinPrompter& prompter, const TBlockingCallRunner& runner)
{
    const TOperationOutcome pin = RunPinCheck(pinCheck, prompter, runner);
    if (!pin.Succeeded()) {
        TUploadOutcome outcome;
        static_cast<TOperationOutcome&>(outcome) = pin;
        return outcome;
    }
    return SendUpload(request, progress);
}

TVerifyOutcome RunVerify(const TVerifyRequest& request, TOperationProgress& progress)
{
    TVerifyOutcome outcome;
    outcome.Verification
        = ReadBack(request.Device, request.Sent, DecideUploadPlan(request.Status, {}).MaxRawSize, progress);
    switch (outcome.Verification.Outcome) {
    case EVerified::Verified:
        outcome.Kind = EOutcomeKind::Ok;
        break;
    case EVerified::Mismatch:
        outcome.Kind = EOutcomeKind::Mismatch;
        break;
    default:
        outcome.Kind = EOutcomeKind::VerifyFailed;
        break;
    }
    outcome.Message = outcome.Verification.Message;
    outcome.Shown = outcome.Message;
    return outcome;
}
