#include "Settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <unistd.h>

QString UserConfigFolder()
{
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    const QString base = xdg.isEmpty() ? QDir::homePath() + "/.config" : xdg;
    return base + "/quillex";
}

QString SettingsFilePath()
{
    const QString fromEnvironment = qEnvironmentVariable("QUILLEX_SETTINGS");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    const QString name = QStringLiteral("quillex_settings.ini");
    const QString programFolder = QCoreApplication::applicationDirPath();
    if (!programFolder.isEmpty() && ::access(QFile::encodeName(programFolder).constData(), W_OK) == 0)
        return programFolder + "/" + name;
    QDir().mkpath(UserConfigFolder());
    return UserConfigFolder() + "/" + name;
}

QSettings OpenSettingsFile(const QString& fileName)
{
    return QSettings(fileName.isEmpty() ? SettingsFilePath() : fileName, QSettings::IniFormat);
}
