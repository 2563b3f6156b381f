#pragma once
// The PIN check run before every operation on a device: the cached or stored
// PIN is tried first, then the operator is asked until the device accepts one
// or the operator cancels.
#include "BlockingCall.h"
#include "PinCache.h"
#include "PinStore.h"

#include <QString>

bool VerifyDevicePin(const QString& ipAddress, quint16 port, const QString& pin, QString& errorMsg);

// How EnsureDevicePin talks to the operator: the window passes modal dialogs,
// the command-line client the terminal, tests a script.
class TPinPrompter {
public:
    virtual ~TPinPrompter() = default;
    // A masked input; false when the operator cancels.
    virtual bool AskPin(const QString& caption, const QString& label, QString& pin) = 0;
    virtual void ShowMessage(const QString& text) = 0;
};

// identityShared: another address announces the same device right now; no
// remembered PIN goes to either on its own. The verification runs through
// runner (the window keeps painting meanwhile); the prompts stay on the
// calling thread. False when the operator cancels or the check fails on the
// device link: then failureMsg (may be null) gets the link's message, shown
// already as "Hata: ...", and LastDeviceFailure() its kind on the calling thread.
bool EnsureDevicePin(const QString& ipAddress, quint16 port, const QString& deviceKey, const QString& displayName,
    bool pinRequired, TPinPrompter& prompter, bool identityShared = false, const TBlockingCallRunner& runner = {},
    QString* failureMsg = nullptr);
