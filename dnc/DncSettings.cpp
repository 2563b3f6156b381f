#include "DncSettings.h"

#include "config/Settings.h"

#include <QSettings>

#include <algorithm>

namespace {

// Seconds (fractions allowed) as milliseconds, or fallback when not a number in range.
int SecondsSetting(const QSettings& settings, const QString& key, int fallbackMs, double maxSeconds)
{
    bool ok = false;
    const double seconds = SettingValue(settings, key).toDouble(&ok);
    return ok && seconds >= 0 && seconds <= maxSeconds ? int(seconds * 1000) : fallbackMs;
}

} // namespace

TDncSettings ReadDncSettings(const QString& settingsFile)
{
    QSettings settings = OpenSettingsFile(settingsFile);
    TDncSettings result;
    result.Root = SettingValue(settings, "Dnc/Root").toString().trimmed();
    // QSettings reads "A, B" as a list and "A" as a string.
    const QVariant devices = SettingValue(settings, "Dnc/Devices");
    const QStringList names
        = devices.typeId() == QMetaType::QStringList ? devices.toStringList() : devices.toString().split(u',');
    for (const QString& name : names)
        if (!name.trimmed().isEmpty())
            result.Devices << name.trimmed();
    result.StableMs = SecondsSetting(settings, "Dnc/StableSeconds", result.StableMs, 3600);
    result.RetryMaxMs = std::max(1000, SecondsSetting(settings, "Dnc/RetryMaxSeconds", result.RetryMaxMs, 86400));
    result.Verify = VerifyAfterUpload(settings);
    return result;
}

bool DncServesDevice(const TDncSettings& settings, const QString& displayName, const QString& macId)
{
    if (settings.Devices.isEmpty())
        return true;
    for (const QString& wanted : settings.Devices)
        if (wanted == displayName || (!macId.isEmpty() && wanted.compare(macId, Qt::CaseInsensitive) == 0))
            return true;
    return false;
}
