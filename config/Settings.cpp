#include "Settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

QString UserConfigFolder()
{
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    const QString base = xdg.isEmpty() ? QDir::homePath() + "/.config" : xdg;
    return base + "/quillex";
}

namespace {

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

QString SettingsFilePath()
{
    const QString fromEnvironment = qEnvironmentVariable("QUILLEX_SETTINGS");
    if (!fromEnvironment.isEmpty())
        return RegularOrAbsent(fromEnvironment);
    const QString name = QStringLiteral("quillex_settings.ini");
    const QString programFolder = QCoreApplication::applicationDirPath();
    if (!programFolder.isEmpty() && ::access(QFile::encodeName(programFolder).constData(), W_OK) == 0)
        return RegularOrAbsent(programFolder + "/" + name);
    QDir().mkpath(UserConfigFolder());
    return RegularOrAbsent(UserConfigFolder() + "/" + name);
}

QSettings OpenSettingsFile(const QString& fileName)
{
    return QSettings(fileName.isEmpty() ? SettingsFilePath() : fileName, QSettings::IniFormat);
}
