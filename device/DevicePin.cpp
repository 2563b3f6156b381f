#include "DevicePin.h"

#include "UnitDeviceCommand.h"

bool VerifyDevicePin(const QString& ipAddress, quint16 port, const QString& pin, QString& errorMsg)
{
    return SendCommandBatch(ipAddress, port, { "PIN&" + pin }, errorMsg);
}

bool EnsureDevicePin(const QString& ipAddress, quint16 port, const QString& deviceKey, const QString& displayName,
    bool pinRequired, TPinPrompter& prompter, const TBlockingCallRunner& runner)
{
    const auto verify = [&](const QString& pin, QString& error) {
        return RunBlocking(runner, [&] { return VerifyDevicePin(ipAddress, port, pin, error); });
    };
    if (!pinRequired) {
        SetCachedPin(ipAddress, {});
        return true;
    }
    QString candidate = GetCachedPin(ipAddress);
    if (candidate.isEmpty())
        candidate = LoadPinFromStore(deviceKey);
    if (!candidate.isEmpty()) {
        QString error;
        if (verify(candidate, error)) {
            SetCachedPin(ipAddress, candidate);
            return true;
        }
        if (error != MsgPinRefused()) { // a network or device failure, not a wrong PIN
            prompter.ShowMessage("Hata: " + error);
            return false;
        }
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
            SavePinToStore(deviceKey, pin);
            return true;
        }
        if (error == MsgPinRefused()) {
            prompter.ShowMessage(QString::fromUtf8("Şifre yanlış."));
            continue;
        }
        prompter.ShowMessage("Hata: " + error);
        return false;
    }
}
