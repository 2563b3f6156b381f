#pragma once
// The application's configuration: the per-user configuration folder, where
// the settings file lives, and the one way every part opens it.
#include <QSettings>
#include <QString>

// $XDG_CONFIG_HOME/quillex, or ~/.config/quillex.
QString UserConfigFolder();

// Where the settings file "quillex_settings.ini" lives. $QUILLEX_SETTINGS
// wins; a portable copy keeps the file beside its executable; an installed
// program keeps it in the user's configuration folder
// (~/.config/quillex/quillex_settings.ini, created when missing), never in
// /usr/bin, also for root. Empty when that path exists but is not a regular
// file (a FIFO would block the start): the settings then live in memory only.
QString SettingsFilePath();

// The same rules for a program in programFolder (testable without moving the
// executable).
QString SettingsFilePathFor(const QString& programFolder);

// True for a portable copy: a settings file already lies in the folder, or the
// folder is writable and no system folder. A system folder (under /usr, /opt,
// /bin, /sbin, /lib, /etc, /var, /snap) never holds the file, whatever the
// folder's permissions say: root can write everywhere.
bool IsPortableProgramFolder(const QString& programFolder, bool writable);

// The folders whose programs are installed, not portable.
bool IsSystemFolder(const QString& folder);

// The settings file in INI format; an empty name opens SettingsFilePath().
QSettings OpenSettingsFile(const QString& fileName = {});

// The shop's settings for every user, below each user's own file:
// quillex/quillex_settings.ini in the first folder of $XDG_CONFIG_DIRS
// (/etc/xdg when unset) that holds one; empty when none does. Only read.
QString SystemSettingsFilePath();

// A key of the user's settings, or else the shop's, or else defaultValue.
QVariant SettingValue(const QSettings& settings, const QString& key, const QVariant& defaultValue = {});

// Section "MainForm", key "VerifyAfterUpload" (the user's, or the shop's):
// whether an upload reads the stored program back and compares it. On unless the value is 0 or "false"; a value
// that is neither a number nor true/false keeps the default, as the window's
// other keys do.
bool VerifyAfterUpload(QSettings& settings);
