#pragma once
// The wait before an operation that needs the device's status, for every
// face: the status is known, or NoStatus once the time is up. It also settles
// the identity rule's input: devices repeat their status about every second,
// so a second sender announcing the same MacId is heard within
// IdentityListenMs of the listener opening its socket, and a device that
// wants a PIN is not judged on less.
#include "Operation.h"

#include <functional>

// How long a face waits for a device's status before it gives up.
constexpr int StatusWaitMs = 5000;
// How long a listener hears before it tells whether a MacId is shared.
constexpr quint32 IdentityListenMs = 1500;

struct TStatusWaitRequest {
    QString IPAddress;
    int TimeoutMs = StatusWaitMs;
    // Whether the identity rule is wanted: not when the caller gives its own PIN.
    bool Identity = true;
};

// Ok with the status; NoStatus (MsgNoStatusYet shown) when none came in
// time; Cancelled when the caller stopped waiting or the listener went away.
struct TKnownStatus : TOperationOutcome {
    QString Status;
    // Another address announces the MacId of a device that wants a PIN.
    bool IdentityShared = false;
};

// How a face lets time pass: condition is tested on the calling thread every
// pollMs until it holds or timeoutMs have passed. A window runs its event
// loop meanwhile; empty, the calling thread sleeps between the tests.
using TWaitLoop = std::function<void(const std::function<bool()>& condition, int timeoutMs, int pollMs)>;

// Blocks until the device's status is known or the time is up. stillWanted,
// tested on the calling thread, ends the wait early (Cancelled) once false.
TKnownStatus WaitForDeviceStatus(const TStatusListenerThread& listener, const TStatusWaitRequest& request,
    const TWaitLoop& loop = {}, const std::function<bool()>& stillWanted = {});
