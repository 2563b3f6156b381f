#pragma once
// A transfer PIN's form, its block on the transfer ports, and the PINs the
// devices accepted in this session, by address. The command link reads the
// cache; the PIN check fills it.
#include <QByteArray>
#include <QString>

// 4 to 8 decimal digits.
bool IsValidPin(const QString& pin);
QByteArray MakePinBlock(const QString& pin);

QString GetCachedPin(const QString& ipAddress);
void SetCachedPin(const QString& ipAddress, const QString& pin); // empty removes
