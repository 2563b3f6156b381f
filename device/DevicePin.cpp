#include "DevicePin.h"

#include "DeviceFailure.h"
#include "UnitDeviceCommand.h"

bool VerifyDevicePin(const QString& ipAddress, quint16 port, const QString& pin, QString& errorMsg)
{
    return SendCommandBatch(ipAddress, port, { "PIN&" + pin }, errorMsg);
}

bool EnsureDevicePin(const QString& ipAddress, quint16 port, const QString& deviceKey, const QString& displayName,
    bool pinRequired, TPinPrompter& prompter, bool identityShared, const TBlockingCallRunner& runner,
    QString* failureMsg)
{
    // The failure's kind is recorded on the thread that ran the check: carried back to this one.
    const auto verify = [&](const QString& pin, QString& error) {
        EDeviceFailure kind = EDeviceFailure::DeviceError;
        const bool ok = RunBlocking(runner, [&] {
            const bool verified = VerifyDevicePin(ipAddress, port, pin, error);
            kind = LastDeviceFailure();
            return verified;
        });
        SetDeviceFailure(kind);
        return ok;
    };
    const auto fail = [&](const QString& error) {
        prompter.ShowMessage("Hata: " + error);
        if (failureMsg)
            *failureMsg = error;
        return false;
    };
    if (!pinRequired) {
        SetCachedPin(ipAddress, {});
        return true;
    }
    // A status datagram can be forged: the stored PIN goes on its own only to
    // the address where the device last accepted it (or to the first address,
    // for a PIN stored before addresses were kept), and to neither of two
    // senders that announce the same device at once.
    QString candidate = identityShared ? QString() : GetCachedPin(ipAddress);
    bool fromStore = false;
    QString storedAt;
    if (candidate.isEmpty() && !identityShared) {
        storedAt = LoadPinAddress(deviceKey);
        if (storedAt.isEmpty() || storedAt == ipAddress) {
            candidate = LoadPinFromStore(deviceKey);
            fromStore = true;
        }
    }
    if (!candidate.isEmpty()) {
        QString error;
        if (verify(candidate, error)) {
            SetCachedPin(ipAddress, candidate);
            if (fromStore && storedAt.isEmpty())
                RecordPinAddress(deviceKey, ipAddress);
            return true;
        }
        if (error != MsgPinRefused()) // a network or device failure, not a wrong PIN
            return fail(error);
    }
    SetCachedPin(ipAddress, {});

    const QString caption = QString::fromUtf8("Cihaz Şifresi");
    const QString label = QString::fromUtf8("%1 şifre istiyor (4-8 rakam):").arg(displayName);
    while (true) {
        QString pin;
        if (!prompter.AskPin(caption, label, pin))
            return false;
        if (!IsValidPin(pin)) {
            prompter.ShowMessage(QString::fromUtf8("Şifre 4-8 rakamdan oluşmalı."));
            continue;
        }
        QString error;
        if (verify(pin, error)) {
            SetCachedPin(ipAddress, pin);
            SavePinToStore(deviceKey, pin, ipAddress);
            if (const QString problem = PinStoreError(); !problem.isEmpty())
                prompter.ShowMessage(problem);
            return true;
        }
        if (error == MsgPinRefused()) {
            prompter.ShowMessage(QString::fromUtf8("Şifre yanlış."));
            continue;
        }
        return fail(error);
    }
}
