#include "PinCheck.h"

TPinCheck PinCheckFor(const TQuillexDevice& device, const QList<TQuillexDevice>& heard)
{
    return { device, IdentityShared(device, heard), QString() };
}

TOperationOutcome RunPinCheck(const TPinCheck& check, TPinPrompter& prompter, const TBlockingCallRunner& runner)
{
    const TQuillexDevice& device = check.Device;
    if (device.PinRequired && !check.GivenPin.isEmpty()) {
        QString error;
        EDeviceFailure kind = EDeviceFailure::DeviceError;
        const bool accepted = RunBlocking(runner, [&] {
            const bool verified = VerifyDevicePin(device.IPAddress, device.Port, check.GivenPin, error);
            kind = LastDeviceFailure(); // recorded on the thread that ran the check
            return verified;
        });
        if (!accepted)
            return DeviceLinkFailure(error, kind);
        SetCachedPin(device.IPAddress, check.GivenPin);
        return {};
    }
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
