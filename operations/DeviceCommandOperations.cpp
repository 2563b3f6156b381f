#include "DeviceCommandOperations.h"

namespace {

// A batch recorded as the given kind; shown: the operator's text of a success.
TOperationOutcome RunRecordedBatch(TTransferKind kind, const TCommandBatchRequest& request,
    const std::function<QString(const QString& reply)>& shownOnSuccess)
{
    TOperationRecord record(kind, request.Device);
    SetRecordCommands(record.Record(), request.Commands);
    QString reply;
    const bool success = SendDeviceCommands(request.Device.IPAddress, request.Device.Port, request.Commands, reply);
    TOperationOutcome outcome;
    if (success) {
        outcome.Message = reply;
        outcome.Shown = shownOnSuccess(reply);
    } else {
        outcome = DeviceLinkFailure(reply, LastDeviceFailure());
        outcome.Shown = request.FailureFrame.arg(reply);
    }
    outcome.Record = record.Finish(success, outcome.Shown);
    return outcome;
}

} // namespace

TOperationOutcome RunCommandBatch(const TCommandBatchRequest& request)
{
    return RunRecordedBatch(TTransferKind::Settings, request, [](const QString& reply) { return reply; });
}

TOperationOutcome RunStartFrom(const TQuillexDevice& device, qint32 index)
{
    TCommandBatchRequest request;
    request.Device = device;
    request.Commands = QStringList { "STARTFROM" + QString::number(index) };
    return RunRecordedBatch(
        TTransferKind::StartFrom, request, [](const QString& reply) { return MsgStartFromStarted() + reply; });
}

TStartFromIndexOutcome ReadStartFromIndexOf(const TQuillexDevice& device)
{
    TStartFromIndexOutcome outcome;
    QString reply;
    if (!ReadStartFromIndex(device.IPAddress, device.Port, outcome.Entries, reply)) {
        static_cast<TOperationOutcome&>(outcome) = DeviceLinkFailure(reply, LastDeviceFailure());
        outcome.Entries.clear();
        return outcome;
    }
    outcome.Message = reply;
    outcome.Shown = outcome.Entries.isEmpty() ? MsgNoStartFromIndex() : reply;
    return outcome;
}

TPeekOutcome PeekStartFromPoint(const TQuillexDevice& device, qint32 index)
{
    TPeekOutcome outcome;
    QString error;
    if (!PeekProgramLine(device.IPAddress, device.Port, index, outcome.Previous, outcome.Line, outcome.Next, error))
        static_cast<TOperationOutcome&>(outcome) = DeviceLinkFailure(error, LastDeviceFailure());
    return outcome;
}

qint32 StartFromLineNumber(const QList<TStartFromIndexEntry>& entries, qint32 index)
{
    for (const TStartFromIndexEntry& entry : entries)
        if (entry.Index == index)
            return entry.LineNumber;
    return 0;
}
