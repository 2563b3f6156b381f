#include "DeviceAddress.h"

#include <QHostAddress>
#include <QRegularExpression>
#include <QSet>

namespace {

bool DigitsAndDots(const QString& word)
{
    static const QRegularExpression pattern("^[0-9.]+$");
    return pattern.match(word).hasMatch();
}

// Four numbers of 0-255, one to three digits each.
bool ParseIpv4(const QString& word, QString& address)
{
    const QStringList parts = word.split('.');
    if (parts.size() != 4)
        return false;
    QStringList numbers;
    for (const QString& part : parts) {
        bool ok = false;
        const int value = part.toInt(&ok);
        if (!ok || part.isEmpty() || part.size() > 3 || value > 255)
            return false;
        numbers << QString::number(value);
    }
    address = numbers.join('.');
    return true;
}

QString MacKey(const QString& text)
{
    QString key = text.toUpper();
    key.remove(':');
    key.remove('-');
    return key;
}

} // namespace

TAddressWord ClassifyAddressWord(const QString& word, QString& text)
{
    if (word.trimmed().isEmpty()) {
        text = "empty device address";
        return TAddressWord::Invalid;
    }
    if (DigitsAndDots(word)) {
        if (ParseIpv4(word, text))
            return TAddressWord::Ipv4;
        text = word + " is not an IPv4 address (four numbers of 0-255)";
        return TAddressWord::Invalid;
    }
    static const QRegularExpression withPort("^[0-9.]+:[0-9]*$");
    if (withPort.match(word).hasMatch()) {
        text = word + ": give the address without a port (the device's ports are fixed)";
        return TAddressWord::Invalid;
    }
    static const QRegularExpression mac("^[0-9A-Fa-f]{2}([:-][0-9A-Fa-f]{2}){5}$");
    if (!mac.match(word).hasMatch() && QHostAddress(word).protocol() == QAbstractSocket::IPv6Protocol) {
        text = word + ": devices are reached over IPv4 only";
        return TAddressWord::Invalid;
    }
    text = word;
    return TAddressWord::Device;
}

QList<TQuillexDevice> DevicesNamed(const QString& word, const QList<TQuillexDevice>& devices)
{
    QList<TQuillexDevice> found;
    QSet<QString> addresses;
    for (const TQuillexDevice& device : devices) {
        const bool named = device.DisplayName.compare(word, Qt::CaseInsensitive) == 0
            || (!device.MacId.isEmpty() && MacKey(device.MacId) == MacKey(word));
        if (named && !addresses.contains(device.IPAddress)) {
            addresses.insert(device.IPAddress);
            found << device;
        }
    }
    return found;
}
