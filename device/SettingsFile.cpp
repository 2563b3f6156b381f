#include "SettingsFile.h"

#include "DevicePin.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <unistd.h>

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
