#pragma once
// The application's configuration: the per-user configuration folder, where
// the settings file lives, and the one way every part opens it.
#include <QSettings>
#include <QString>

// $XDG_CONFIG_HOME/quillex, or ~/.config/quillex.
QString UserConfigFolder();

// The settings file "quillex_settings.ini": $QUILLEX_SETTINGS when set; else
// beside the executable when that folder is writable; else in the per-user
// configuration folder (created when missing). Empty when that path exists but
// is not a regular file (a FIFO would block the start): the settings then live
// in memory only.
QString SettingsFilePath();

// The settings file in INI format; an empty name opens SettingsFilePath().
QSettings OpenSettingsFile(const QString& fileName = {});
