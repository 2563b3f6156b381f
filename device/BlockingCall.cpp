#include "BlockingCall.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <exception>
#include <memory>

void RunOffThreadAndWait(const TBlockingCall& call)
{
    RunOffThreadAndWaitHandling(call, QEventLoop::ExcludeUserInputEvents);
}

void RunOffThreadAndWaitHandling(const TBlockingCall& call, QEventLoop::ProcessEventsFlags flags)
{
    std::exception_ptr error;
    QEventLoop loop;
    const std::unique_ptr<QThread> worker(QThread::create([&] {
        try {
            call();
        } catch (...) { // handed to the caller's thread, where it can be handled
            error = std::current_exception();
        }
    }));
    QObject::connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    worker->start();
    loop.exec(flags);
    // At once, unless the application is quitting: that ends every event loop
    // early, and the call's variables must outlive it all the same.
    worker->wait();
    if (error)
        std::rethrow_exception(error);
}

bool WaitUntil(const std::function<bool()>& condition, int timeoutMs, int pollMs, QEventLoop::ProcessEventsFlags flags)
{
    if (condition())
        return true;
    bool met = false;
    QEventLoop loop;
    QElapsedTimer clock;
    clock.start();
    QTimer poll;
    poll.setInterval(pollMs);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        met = condition();
        if (met || clock.elapsed() >= timeoutMs)
            loop.quit();
    });
    poll.start();
    loop.exec(flags);
    return met;
}
