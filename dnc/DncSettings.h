#pragma once
// The folder service's settings: group [Dnc] of the settings file the window
// and quillex-cli use (the user's, or else the shop's).
#include <QString>
#include <QStringList>

struct TDncSettings {
    QString Root; // the folder holding one folder per device
    // The devices served, by name as the device list shows it or by MacId;
    // empty serves every device heard.
    QStringList Devices;
    // How long a closed file's size and time must stay unchanged before it is sent.
    int StableMs = 2000;
    // The longest wait between two attempts at an offline or busy device.
    int RetryMaxMs = 300000;
    bool Verify = true; // the window's VerifyAfterUpload
};

// Defaults for missing or malformed values; Root empty when none is set.
TDncSettings ReadDncSettings(const QString& settingsFile);

// Whether the settings serve the device (all devices when the list is empty).
bool DncServesDevice(const TDncSettings& settings, const QString& displayName, const QString& macId);
