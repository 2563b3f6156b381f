#pragma once
// How the window waits for a device: the query runs off the user-interface
// thread (RunOffThreadAndWait, WaitUntil) under a busy cursor, so the window
// keeps painting while input waits until the device has answered.
#include "device/BlockingCall.h"

#include <QCursor>
#include <QGuiApplication>

class TBusyCursor {
public:
    TBusyCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TBusyCursor() { QGuiApplication::restoreOverrideCursor(); }
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;
};

inline TBlockingCallRunner WindowCallRunner()
{
    return [](const TBlockingCall& call) {
        const TBusyCursor busy;
        RunOffThreadAndWait(call);
    };
}

inline bool WaitUntilWithBusyCursor(const std::function<bool()>& condition, int timeoutMs, int pollMs)
{
    const TBusyCursor busy;
    return WaitUntil(condition, timeoutMs, pollMs);
}
