#pragma once
// The PIN check every operation on a device runs first: the cached or stored
// PIN, then the operator through the prompter (device/DevicePin.h). Its inputs
// include the rule that no remembered PIN goes on its own to either of two
// senders announcing one MacId.
#include "Operation.h"

#include "device/DevicePin.h"

struct TPinCheck {
    TQuillexDevice Device;
    bool IdentityShared = false; // another address announces the device's MacId right now
    // A PIN the caller gives (a script's, a folder service's setting): tried
    // alone, never replaced by a remembered one, no prompt.
    QString GivenPin;
};

// The check for the device among the devices heard.
TPinCheck PinCheckFor(const TQuillexDevice& device, const QList<TQuillexDevice>& heard);

// Ok when the device needs no PIN or accepted one; Cancelled when the operator
// cancelled; a device-link failure (PinRefused, Unreachable, DeviceError) that
// the prompter has shown already (Presented), or, for a given PIN, that the
// caller shows. The verification runs through
// runner; the prompts stay on the calling thread.
TOperationOutcome RunPinCheck(const TPinCheck& check, TPinPrompter& prompter, const TBlockingCallRunner& runner = {});
