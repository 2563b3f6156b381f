#include "DeviceStatusView.h"

#include "device/JsonText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <cmath>

namespace {

QString Text(const QJsonObject& status, const QString& key)
{
    return JsonMemberText(status, key);
}

QString TextOrDash(const QJsonObject& status, const QString& key)
{
    return status.contains(key) ? Text(status, key) : QStringLiteral("-");
}

qint64 Number(const QJsonObject& status, const QString& key, qint64 defaultValue = 0)
{
    bool ok = false;
    const qint64 value = Text(status, key).toLongLong(&ok);
    return ok ? value : defaultValue;
}

QString StatusOrIdle(const QJsonObject& status, const QString& key)
{
    return status.contains(key) ? Text(status, key) : QStringLiteral("idle");
}

QString Percent(double percent)
{
    return QString::fromUtf8("(%%1)").arg(percent, 0, 'f', 0);
}

QString ProgressText(qint64 done, qint64 total, const QLocale& locale)
{
    if (total > 0)
        return QString("%1 / %2 %3")
            .arg(FormatByteSize(done, locale), FormatByteSize(total, locale),
                Percent(double(done) / double(total) * 100.0));
    return QString("%1 (toplam bilinmiyor)").arg(FormatByteSize(done, locale));
}

} // namespace

QString FormatByteSize(qint64 bytes, const QLocale& locale)
{
    if (bytes >= 1048576)
        return locale.toString(double(bytes) / 1048576.0, 'f', 1) + " MB";
    if (bytes < 1024)
        return QString("%1 bayt").arg(bytes);
    return locale.toString(double(bytes) / 1024.0, 'f', 1) + " KB";
}

QString VisibleText(QString text)
{
    for (QChar& c : text)
        if (c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() <= 0x9F))
            c = u'?';
    return text;
}

TDeviceInfoRows BuildDeviceInfoRows(const QString& statusText, const QLocale& locale)
{
    TDeviceInfoRows rows;
    QJsonObject s;
    if (statusText.isEmpty())
        return rows;
    if (!ParseJsonObject(statusText, s)) {
        for (const QString& line : statusText.split('\n'))
            rows.append({ QString(), VisibleText(line) });
        return rows;
    }
    auto row = [&](const QString& label, const QString& value) { rows.append({ label, VisibleText(value) }); };
    row(QString::fromUtf8("Cihaz Adı"), TextOrDash(s, "name"));
    row("IP Adresi", TextOrDash(s, "ip"));
    row(QString::fromUtf8("Donanım"), TextOrDash(s, "hw"));
    row("Firmware", TextOrDash(s, "fw"));
    row("Build No", TextOrDash(s, "build"));
    QString baud = TextOrDash(s, "baud");
    const QString dataBits = Text(s, "databits"), parity = Text(s, "parity"), stopBits = Text(s, "stopbits");
    if (!dataBits.isEmpty() && !parity.isEmpty() && !stopBits.isEmpty())
        baud = QString("%1-%2%3%4").arg(Text(s, "baud"), dataBits, parity, stopBits);
    row("Baud Rate", baud);
    row("XOFF Timeout", TextOrDash(s, "xofftimeout"));
    row("Dosya Boyutu", FormatByteSize(Number(s, "filesize"), locale));
    QString time = "-";
    if (s.contains("time")) {
        time = Text(s, "time");
        const qsizetype blank = time.indexOf(u' ');
        if (blank >= 0)
            time = time.mid(blank + 1);
    }
    row(QString::fromUtf8("Son Güncelleme"), time);
    if (s.contains("erasing")) {
        const qint64 e = Number(s, "erase_bytes"), t = Number(s, "erase_total");
        row("Durum",
            t <= 0 ? QStringLiteral("Flash siliniyor") : "Flash siliniyor " + Percent(double(e) / double(t) * 100.0));
    }
    const QString xfer = StatusOrIdle(s, "xfer_status");
    row("Transfer",
        xfer == u"send"          ? QString::fromUtf8("Gönderiliyor (SENDFILE)")
            : xfer == u"receive" ? QString::fromUtf8("Alınıyor (RECEIVEFILE)")
                                 : QString::fromUtf8("Boşta"));
    if (xfer != u"idle") {
        qint64 b = Number(s, "xfer_bytes"), t = Number(s, "xfer_total");
        const qint64 f = Number(s, "filesize");
        // The device counts the compressed stream; shown on the scale of the stored file.
        if (f >= t && t > 0) {
            b = qint64(std::nearbyint(double(b) / double(t) * double(f)));
            t = f;
        }
        row(QString::fromUtf8("İlerleme"), ProgressText(b, t, locale));
    }
    if (xfer == u"send" && s.contains("xfer_elapsed_sec")) {
        const qint64 seconds = Number(s, "xfer_elapsed_sec");
        row(QString::fromUtf8("Geçen Süre"), QString("%1 dk %2 sn").arg(seconds / 60).arg(seconds % 60));
    }
    const QString ota = StatusOrIdle(s, "ota_status");
    row(QString::fromUtf8("Firmware Güncelleme"),
        ota == u"checking"          ? QString::fromUtf8("Sürüm kontrol ediliyor...")
            : ota == u"downloading" ? QString::fromUtf8("İndiriliyor")
                                    : QString::fromUtf8("Boşta"));
    if (ota == u"downloading")
        row(QString::fromUtf8("İlerleme"), ProgressText(Number(s, "ota_bytes"), Number(s, "ota_total"), locale));
    return rows;
}

TDeviceActivity DeviceActivity(const QString& statusText)
{
    QJsonObject s;
    if (statusText.isEmpty() || !ParseJsonObject(statusText, s))
        return TDeviceActivity::Unknown;
    if (s.contains("erasing") || StatusOrIdle(s, "xfer_status") != u"idle" || StatusOrIdle(s, "ota_status") != u"idle")
        return TDeviceActivity::Busy;
    return TDeviceActivity::Idle;
}

bool StatusKeepsStartFromIndex(const QString& statusText)
{
    QJsonObject s;
    return ParseJsonObject(statusText, s) && s.contains("hw") && KeepsStartFromIndex(Text(s, "hw"));
}

bool KeepsStartFromIndex(const QString& hw)
{
    return hw.compare("HW4", Qt::CaseInsensitive) == 0 || hw.compare("HW3", Qt::CaseInsensitive) == 0;
}

bool IsControllerSiemens(const QString& controller)
{
    return controller.compare("SIEMENS", Qt::CaseInsensitive) == 0;
}
