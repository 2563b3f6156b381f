#pragma once
// The recently opened or saved files, newest first, kept in the settings file
// (section "MainForm", key "RecentFiles"). A file appears once; the list holds
// at most RecentFilesMax names and drops the oldest.
#include <QString>
#include <QStringList>

constexpr int RecentFilesMax = 10;

// The list with fileName (made absolute) in front, without its earlier place,
// cut to RecentFilesMax.
QStringList WithRecentFile(const QStringList& files, const QString& fileName);
// The list as read from a hand-edited file: no blanks, no repeats, at most RecentFilesMax.
QStringList CleanRecentFiles(const QStringList& files);

class TRecentFiles {
public:
    // settingsFile empty: the application's settings file.
    explicit TRecentFiles(const QString& settingsFile = {});
    QStringList Files() const;
    void Add(const QString& fileName);
    void Remove(const QString& fileName);

private:
    void Write(const QStringList& files);
    QString FSettingsFile;
};
