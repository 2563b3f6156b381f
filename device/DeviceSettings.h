#pragma once
// The device settings dialog's decisions without its widgets: the list
// contents, name validation and the configuration commands for the changes.
#include <QChar>
#include <QString>
#include <QStringList>

const QStringList& ControllerTypes();
const QStringList& BaudRateItems();
const QStringList& DataBitsItems();
const QStringList& ParityItems(); // "Yok (N)", "Çift (E)", "Tek (O)"
const QStringList& StopBitsItems();
inline const QString ParityLetters = QStringLiteral("NEO");

// ASCII letters, digits, blank, '-' and '_' only (an empty name passes).
bool IsValidDeviceName(const QString& name);
bool IsDeviceNameKey(QChar ch); // what typing into the name field lets through

// The values the dialog opened with; unreported ones are empty, 0, -1 or '\0'.
struct TDeviceSettingsOriginal {
    QString Name;
    QString Controller;
    qint32 Baud = 0;
    qint32 XoffTimeout = -1;
    qint32 XonXoff = -1;
    qint32 DataBits = 0;
    QChar Parity;
    qint32 StopBits = 0;
};

// The settings a device's status document reports; name is the one shown
// when the status names none. A status that is no JSON object reports nothing.
TDeviceSettingsOriginal DeviceSettingsFromStatus(const QString& status, const QString& name);

// What the operator's widgets hold when saving; an empty item text means no selection.
struct TDeviceSettingsEntries {
    QString NameText;
    bool ControllerEnabled = false;
    QString Controller;
    QString Baud;
    QString XoffText;
    bool XonXoffEnabled = false;
    bool XonXoffChecked = false;
    QString DataBits;
    int ParityIndex = -1;
    QString StopBits;
};

// The commands for the changed settings, in the fixed order; false with the
// operator's message when the name or the XOFF time-out is refused.
bool BuildSettingsCommands(const TDeviceSettingsOriginal& original, const TDeviceSettingsEntries& entries,
    QStringList& commands, QString& errorMsg);
