#pragma once
#include <QString>

// The settings file "quillex_settings.ini": $QUILLEX_SETTINGS when set; else
// beside the executable when that folder is writable; else in the per-user
// configuration folder. Empty when that path exists but is not a regular file
// (a FIFO would block the start): the settings then live in memory only.
QString SettingsFilePath();
