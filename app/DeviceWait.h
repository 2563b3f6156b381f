#pragma once
// How the window waits for a device: the query runs off the user-interface
// thread (RunOffThreadAndWait, WaitUntil) under a busy cursor, so the window
// keeps painting. Input meanwhile is dropped, as a modal wait drops it, but a
// request to close a window still reaches it: the window notes it and closes
// once the query and the messages after it are over (DeviceWaitRunning).
#include "device/BlockingCall.h"

#include <QCoreApplication>
#include <QCursor>
#include <QEvent>
#include <QGuiApplication>

class TDeviceWait : public QObject {
public:
    TDeviceWait()
    {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        ++Depth();
        QCoreApplication::instance()->installEventFilter(this);
    }
    ~TDeviceWait() override
    {
        QCoreApplication::instance()->removeEventFilter(this);
        --Depth();
        QGuiApplication::restoreOverrideCursor();
    }
    TDeviceWait(const TDeviceWait&) = delete;
    TDeviceWait& operator=(const TDeviceWait&) = delete;

    static bool Running() { return Depth() > 0; }

protected:
    bool eventFilter(QObject*, QEvent* event) override { return IsUserInput(event->type()); }

private:
    static int& Depth()
    {
        static int depth = 0;
        return depth;
    }
    static bool IsUserInput(QEvent::Type type)
    {
        switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::NonClientAreaMouseButtonPress:
        case QEvent::NonClientAreaMouseButtonRelease:
        case QEvent::NonClientAreaMouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::InputMethod:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TouchCancel:
        case QEvent::TabletPress:
        case QEvent::TabletRelease:
        case QEvent::TabletMove:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
            return true;
        default:
            return false;
        }
    }
};

inline bool DeviceWaitRunning()
{
    return TDeviceWait::Running();
}

inline TBlockingCallRunner WindowCallRunner()
{
    return [](const TBlockingCall& call) {
        const TDeviceWait wait;
        RunOffThreadAndWaitHandling(call, QEventLoop::AllEvents);
    };
}

// The loop a status wait runs in the window: the condition is tested on the
// window's thread between its events, under a busy cursor, input held back.
inline void WindowWaitLoop(const std::function<bool()>& condition, int timeoutMs, int pollMs)
{
    const TDeviceWait wait;
    WaitUntil(condition, timeoutMs, pollMs, QEventLoop::AllEvents);
}
