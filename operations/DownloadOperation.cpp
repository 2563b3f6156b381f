#include "DownloadOperation.h"

#include "device/ProgramTransfer.h"
#include "device/UnitDeviceCommand.h"
#include "document/UploadPlan.h"
#include "transfer/UnitFileTransfer.h"

QString MsgRawCaptureShown(qsizetype bytes)
{
    return QString::fromUtf8("Ham (RAW) kayıt alındı: %1 bayt. HEX olarak gösteriliyor, Kaydet .bin "
                             "(binary) olarak yazar.")
        .arg(bytes);
}

TDownloadOutcome RunDownload(const TDownloadRequest& request, TOperationProgress& progress)
{
    TDownloadOutcome outcome;
    TOperationRecord record(TTransferKind::Download, request.Device);
    record.Record().FileName = request.FileName;
    QString reply;
    // A device stores at most its maxfilesize: the download takes no more.
    const qint64 maxFileSize = DecideUploadPlan(request.Status, {}).MaxRawSize;
    const bool success = RunTransferGuarded(
        [&] {
            return ReceiveProgramFromDevice(
                request.Device.IPAddress, DownloadPort, outcome.Content, outcome.IsRaw, reply,
                [&](qint32 percent) { progress.Percent(percent); }, maxFileSize);
        },
        reply);
    if (!success) {
        outcome.Content.clear(); // a failed download has no bytes to show or fingerprint
        static_cast<TOperationOutcome&>(outcome) = DeviceLinkFailure(reply, LastDeviceFailure());
        outcome.Record = record.Finish(false, outcome.Shown);
        return outcome;
    }
    SetRecordBytes(record.Record(), outcome.Content);
    outcome.DeviceReply = reply;
    outcome.Message = reply;
    outcome.Shown = outcome.IsRaw ? MsgRawCaptureShown(outcome.Content.size()) : MsgDone();
    QString error;
    if (request.Keep && !request.Keep(outcome, error)) {
        // The bytes came, but the operator has no program without the file.
        outcome.Kind = EOutcomeKind::FileError;
        outcome.Message = error;
        outcome.Shown = error;
        outcome.Record = record.Finish(false, error);
        return outcome;
    }
    outcome.Record
        = record.Finish(true, request.SuccessText == ESuccessText::DeviceReply ? outcome.DeviceReply : outcome.Shown);
    return outcome;
}
