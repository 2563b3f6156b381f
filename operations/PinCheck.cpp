#include "PinCheck.h"

TPinCheck PinCheckFor(const TQuillexDevice& device, const QList<TQuillexDevice>& heard)
{
    return { device, IdentityShared(device, heard) };
}

TOperationOutcome RunPinCheck(const TPinCheck& check, TPinPrompter& prompter, const TBlockingCallRunner& runner)
{
    const TQuillexDevice& device = check.Device;
    QString failure;
    if (EnsureDevicePin(device.IPAddress, device.Port, PinStoreKey(device.MacId, device.IPAddress), device.DisplayName,
            device.PinRequired, prompter, check.IdentityShared, runner, &failure))
        return {};
    TOperationOutcome outcome;
    if (failure.isEmpty())
        outcome.Kind = EOutcomeKind::Cancelled;
    else
        outcome = DeviceLinkFailure(failure, LastDeviceFailure());
    outcome.Presented = true;
    return outcome;
}
