#pragma once
#include <QString>

// The settings file "quillex_settings.ini": $QUILLEX_SETTINGS when set; else
// beside the executable when that folder is writable; else in the per-user
// configuration folder.
QString SettingsFilePath();
