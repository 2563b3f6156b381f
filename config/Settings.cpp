#include "Settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* const SettingsFileName = "quillex_settings.ini";

bool IsUnder(const QString& path, const QString& root)
{
    return path == root || path.startsWith(root + '/');
}

// Opening a FIFO or a device would block or read without end: such a path
// is not used at all, and the settings live in memory for the run.
QString RegularOrAbsent(const QString& path)
{
    struct stat info { };
    if (::stat(QFile::encodeName(path).constData(), &info) == 0 && !S_ISREG(info.st_mode))
        return {};
    return path;
}

} // namespace

QString UserConfigFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/quillex";
}

bool IsSystemFolder(const QString& folder)
{
    static const char* const roots[]
        = { "/usr", "/opt", "/bin", "/sbin", "/lib", "/lib32", "/lib64", "/libx32", "/etc", "/var", "/snap" };
    // Both spellings count: /bin is a link to /usr/bin on a merged /usr.
    const QString clean = QDir::cleanPath(folder);
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    for (const char* root : roots)
        if (IsUnder(clean, QLatin1String(root)) || (!canonical.isEmpty() && IsUnder(canonical, QLatin1String(root))))
            return true;
    return false;
}

bool IsPortableProgramFolder(const QString& programFolder, bool writable)
{
    if (programFolder.isEmpty() || IsSystemFolder(programFolder))
        return false;
    return writable || QFileInfo::exists(programFolder + '/' + SettingsFileName);
}

QString SettingsFilePathFor(const QString& programFolder)
{
    const QString fromEnvironment = qEnvironmentVariable("QUILLEX_SETTINGS");
    if (!fromEnvironment.isEmpty())
        return RegularOrAbsent(fromEnvironment);
    const bool writable = !programFolder.isEmpty() && ::access(QFile::encodeName(programFolder).constData(), W_OK) == 0;
    if (IsPortableProgramFolder(programFolder, writable))
        return RegularOrAbsent(programFolder + '/' + SettingsFileName);
    const QString folder = UserConfigFolder();
    QDir().mkpath(folder);
    return RegularOrAbsent(folder + '/' + SettingsFileName);
}

QString SettingsFilePath()
{
    return SettingsFilePathFor(QCoreApplication::applicationDirPath());
}

QSettings OpenSettingsFile(const QString& fileName)
{
    return QSettings(fileName.isEmpty() ? SettingsFilePath() : fileName, QSettings::IniFormat);
}

QString SystemSettingsFilePath()
{
    QString folders = qEnvironmentVariable("XDG_CONFIG_DIRS");
    if (folders.isEmpty())
        folders = "/etc/xdg";
    for (const QString& folder : folders.split(':', Qt::SkipEmptyParts)) {
        const QString path = folder + "/quillex/" + SettingsFileName;
        if (QFileInfo(path).isFile())
            return path;
    }
    return {};
}

QVariant SettingValue(const QSettings& settings, const QString& key, const QVariant& defaultValue)
{
    if (settings.contains(key))
        return settings.value(key);
    const QString system = SystemSettingsFilePath();
    if (system.isEmpty() || QFileInfo(system) == QFileInfo(settings.fileName()))
        return defaultValue;
    return QSettings(system, QSettings::IniFormat).value(key, defaultValue);
}

bool VerifyAfterUpload(QSettings& settings)
{
    const QString value = SettingValue(settings, "MainForm/VerifyAfterUpload").toString().trimmed();
    bool ok = false;
    const int number = value.toInt(&ok);
    if (ok)
        return number != 0;
    return value.compare("false", Qt::CaseInsensitive) != 0;
}
