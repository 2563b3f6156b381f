#include "DeviceSettings.h"

#include "JsonText.h"

const QStringList& ControllerTypes()
{
    static const QStringList items { "FANUC", "MITSUBISHI", "SIEMENS", "OKUMA", "YASNAC", "MAZATROL-CMT",
        "MAZATROL-TAPE" };
    return items;
}

const QStringList& BaudRateItems()
{
    static const QStringList items { "300", "600", "1200", "2400", "4800", "9600", "19200", "38400", "57600",
        "115200" };
    return items;
}

const QStringList& DataBitsItems()
{
    static const QStringList items { "5", "6", "7", "8" };
    return items;
}

const QStringList& ParityItems()
{
    static const QStringList items { "Yok (N)", QString::fromUtf8("Çift (E)"), "Tek (O)" };
    return items;
}

const QStringList& StopBitsItems()
{
    static const QStringList items { "1", "2" };
    return items;
}

bool IsDeviceNameKey(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || u == ' ' || u == '-'
        || u == '_';
}

bool IsValidDeviceName(const QString& name)
{
    for (QChar c : name)
        if (!IsDeviceNameKey(c))
            return false;
    return true;
}

bool BuildSettingsCommands(const TDeviceSettingsOriginal& original, const TDeviceSettingsEntries& entries,
    QStringList& commands, QString& errorMsg)
{
    commands.clear();
    // Only blanks count as white space here, as the name field trims them.
    QString name = entries.NameText;
    while (name.startsWith(u' '))
        name.remove(0, 1);
    while (name.endsWith(u' '))
        name.chop(1);
    if (!name.isEmpty() && name != original.Name) {
        if (!IsValidDeviceName(name)) {
            errorMsg = QString::fromUtf8("Cihaz adı sadece harf, rakam, boşluk, tire (-) ve alt çizgi (_) içerebilir.");
            commands.clear();
            return false;
        }
        commands << "NAME&" + name;
    }
    if (entries.ControllerEnabled && !entries.Controller.isEmpty() && entries.Controller != original.Controller)
        commands << "CONTROLLER&" + entries.Controller;
    if (!entries.Baud.isEmpty() && entries.Baud.toInt() != original.Baud)
        commands << "BR" + entries.Baud;
    const QString xoff = entries.XoffText.trimmed();
    if (!xoff.isEmpty()) {
        bool ok = false;
        const int seconds = xoff.toInt(&ok, 10);
        if (!ok || seconds < 0 || seconds > 65535) {
            errorMsg = QString::fromUtf8("XOFF Timeout sayısal olmalı (0-65535 arası).");
            commands.clear();
            return false;
        }
        if (seconds != original.XoffTimeout)
            commands << "XOFFTO" + xoff;
    }
    if (entries.XonXoffEnabled && (entries.XonXoffChecked ? 1 : 0) != original.XonXoff)
        commands << QString("XONXOFF&") + (entries.XonXoffChecked ? "1" : "0");
    if (!entries.DataBits.isEmpty() && entries.DataBits.toInt() != original.DataBits)
        commands << "DATABITS" + entries.DataBits;
    if (entries.ParityIndex >= 0 && entries.ParityIndex < ParityLetters.size()
        && ParityLetters[entries.ParityIndex] != original.Parity)
        commands << QString("PARITY") + ParityLetters[entries.ParityIndex];
    if (!entries.StopBits.isEmpty() && entries.StopBits.toInt() != original.StopBits)
        commands << "STOPBITS" + entries.StopBits;
    return true;
}

TDeviceSettingsOriginal DeviceSettingsFromStatus(const QString& status, const QString& name)
{
    TDeviceSettingsOriginal settings;
    settings.Name = name;
    QJsonObject s;
    if (!ParseJsonObject(status, s))
        return settings;
    const auto text = [&](const char* key) { return JsonMemberText(s, key); };
    const auto number = [&](const char* key, qint32 fallback) {
        bool ok = false;
        const qint32 n = text(key).toInt(&ok);
        return ok ? n : fallback;
    };
    if (s.contains("name"))
        settings.Name = text("name");
    settings.Baud = number("baud", 0);
    settings.XoffTimeout = number("xofftimeout", -1);
    if (s.value("xonxoff").isBool())
        settings.XonXoff = s.value("xonxoff").toBool() ? 1 : 0;
    settings.DataBits = number("databits", 0);
    if (const QString p = text("parity"); !p.isEmpty())
        settings.Parity = p[0];
    settings.StopBits = number("stopbits", 0);
    if (s.contains("controller"))
        settings.Controller = text("controller");
    return settings;
}
