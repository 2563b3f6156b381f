#include "RecentFiles.h"

#include "Settings.h"

#include <QDir>
#include <QFileInfo>

namespace {

const QString RecentFilesKey = QStringLiteral("MainForm/RecentFiles");

QString Normalised(const QString& fileName)
{
    return QDir::cleanPath(QFileInfo(fileName).absoluteFilePath());
}

} // namespace

QStringList CleanRecentFiles(const QStringList& files)
{
    QStringList clean;
    for (const QString& file : files) {
        if (file.trimmed().isEmpty())
            continue;
        const QString name = Normalised(file);
        if (!clean.contains(name))
            clean.append(name);
        if (clean.size() == RecentFilesMax)
            break;
    }
    return clean;
}

QStringList WithRecentFile(const QStringList& files, const QString& fileName)
{
    if (fileName.trimmed().isEmpty())
        return CleanRecentFiles(files);
    return CleanRecentFiles(QStringList { Normalised(fileName) } + files);
}

TRecentFiles::TRecentFiles(const QString& settingsFile)
    : FSettingsFile(settingsFile)
{
}

QStringList TRecentFiles::Files() const
{
    return CleanRecentFiles(OpenSettingsFile(FSettingsFile).value(RecentFilesKey).toStringList());
}

void TRecentFiles::Add(const QString& fileName)
{
    Write(WithRecentFile(Files(), fileName));
}

void TRecentFiles::Remove(const QString& fileName)
{
    QStringList files = Files();
    files.removeAll(Normalised(fileName));
    Write(files);
}

void TRecentFiles::Write(const QStringList& files)
{
    QSettings settings = OpenSettingsFile(FSettingsFile);
    if (files.isEmpty())
        settings.remove(RecentFilesKey);
    else
        settings.setValue(RecentFilesKey, files);
}
