#include "PinCache.h"

#include "WireFormat.h"

#include <QHash>
#include <QMutex>

namespace {

QMutex CacheLock;
QHash<QString, QString> PinCache;

} // namespace

bool IsValidPin(const QString& pin)
{
    if (pin.size() < 4 || pin.size() > 8)
        return false;
    for (QChar c : pin)
        if (c < u'0' || c > u'9')
            return false;
    return true;
}

QByteArray MakePinBlock(const QString& pin)
{
    QByteArray block(PinBlockSize, '\0');
    for (int i = 0; i < PinBlockSize && i < pin.size(); ++i)
        block[i] = char(pin[i].unicode() & 0xFF);
    return block;
}

QString GetCachedPin(const QString& ipAddress)
{
    QMutexLocker locker(&CacheLock);
    return PinCache.value(ipAddress);
}

void SetCachedPin(const QString& ipAddress, const QString& pin)
{
    QMutexLocker locker(&CacheLock);
    if (pin.isEmpty())
        PinCache.remove(ipAddress);
    else
        PinCache.insert(ipAddress, pin);
}
