#include "DeviceStatusWait.h"

#include "UploadOperation.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QThread>

#include <limits>
#include <optional>

namespace {

constexpr int PollMs = 50;

// The wait's end as it looks after elapsedMs, or nothing while it goes on.
std::optional<TKnownStatus> Settle(
    const TStatusListenerThread& listener, const TStatusWaitRequest& request, qint64 elapsedMs)
{
    const QString status = listener.GetStatusFor(request.IPAddress);
    if (status.isEmpty()) {
        if (elapsedMs < request.TimeoutMs)
            return std::nullopt;
        TKnownStatus none;
        static_cast<TOperationOutcome&>(none) = NoStatusOutcome();
        return none;
    }
    TQuillexDevice device;
    const bool identity = request.Identity && DeviceFromStatus(request.IPAddress, status, device) && device.PinRequired
        && !device.MacId.isEmpty();
    // A socket that never opened hears nothing more; the identity's wait is
    // bounded even when the listener's clock stands still.
    if (identity && listener.IsListening() && listener.ListeningMs() < IdentityListenMs
        && elapsedMs < qint64(request.TimeoutMs) + IdentityListenMs)
        return std::nullopt;
    TKnownStatus known;
    known.Status = status;
    known.IdentityShared = identity && IdentityShared(device, listener.BuildDeviceList());
    return known;
}

void SleepLoop(const std::function<bool()>& condition, int timeoutMs, int pollMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition() && clock.elapsed() < timeoutMs)
        QThread::msleep(pollMs);
}

} // namespace

TKnownStatus WaitForDeviceStatus(const TStatusListenerThread& listener, const TStatusWaitRequest& request,
    const TWaitLoop& loop, const std::function<bool()>& stillWanted)
{
    // A window's loop runs its events: the listener may go with the window.
    const QPointer<const TStatusListenerThread> heard(&listener);
    std::optional<TKnownStatus> result;
    QElapsedTimer clock;
    clock.start();
    const auto ended = [&](qint64 elapsedMs) {
        if (!heard || (stillWanted && !stillWanted())) {
            result.emplace();
            result->Kind = EOutcomeKind::Cancelled;
        } else {
            result = Settle(*heard, request, elapsedMs);
        }
        return result.has_value();
    };
    const int limitMs = qMax(0, request.TimeoutMs) + int(IdentityListenMs) + PollMs;
    (loop ? loop : TWaitLoop(SleepLoop))([&] { return ended(clock.elapsed()); }, limitMs, PollMs);
    if (!result) // the loop gave up first: what is known now is the answer
        ended(std::numeric_limits<qint64>::max());
    return *result;
}
