#pragma once
// Device-link calls block for up to their time-outs, far too long for a window
// to stand still. RunOffThreadAndWait runs such a call on a worker thread of
// its own while the calling thread's event loop goes on with timers, repaints
// and queued calls; user input is held back until the call is over, as in a
// modal wait. It returns only once the call has returned, so the call may fill
// the caller's variables; RunBlocking hands a result back by value.
#include <QEventLoop>

#include <functional>
#include <optional>
#include <utility>

using TBlockingCall = std::function<void()>;
// How a caller has a blocking call run; it returns once the call is over. An
// empty runner runs the call on the calling thread (the command-line client).
using TBlockingCallRunner = std::function<void(const TBlockingCall& call)>;

void RunOffThreadAndWait(const TBlockingCall& call);
// The same, its event loop handling `flags`: RunOffThreadAndWait holds user
// input back until the call is over; a window that must see a close
// meanwhile passes AllEvents and filters the input itself.
void RunOffThreadAndWaitHandling(const TBlockingCall& call, QEventLoop::ProcessEventsFlags flags);

inline void RunBlockingCall(const TBlockingCallRunner& runner, const TBlockingCall& call)
{
    if (runner)
        runner(call);
    else
        call();
}

template <typename Fn> auto RunBlocking(const TBlockingCallRunner& runner, Fn&& fn) -> decltype(fn())
{
    std::optional<decltype(fn())> result;
    RunBlockingCall(runner, [&] { result.emplace(fn()); });
    return std::move(*result);
}

// Waits on the calling thread, its event loop running as above, until the
// condition holds (tested every pollMs) or timeoutMs have passed; true when it held.
bool WaitUntil(const std::function<bool()>& condition, int timeoutMs, int pollMs,
    QEventLoop::ProcessEventsFlags flags = QEventLoop::ExcludeUserInputEvents);
