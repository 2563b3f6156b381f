#pragma once
// What the device list and the status panel show for a status document:
// the labelled rows, byte sizes, the activity dot's state, and the hardware
// and controller facts that decide how a device is served.
#include <QLocale>
#include <QString>

// "%.1f MB", "%.1f KB" or "%d bayt", with the locale's decimal separator.
QString FormatByteSize(qint64 bytes, const QLocale& locale = QLocale());

// Label=value lines of the status panel; the text itself when it is not a
// JSON object; empty for empty text.
QString BuildDeviceInfoRows(const QString& statusText, const QLocale& locale = QLocale());

enum class TDeviceActivity { Unknown, Busy, Idle };
// Unknown for empty or non-object status; Busy while erasing, transferring or
// updating firmware; Idle otherwise.
TDeviceActivity DeviceActivity(const QString& statusText);

// The hardware keeps a start-from index: "hw" HW3 or HW4, any letter case.
bool KeepsStartFromIndex(const QString& hw);
bool StatusKeepsStartFromIndex(const QString& statusText);

// A SIEMENS control (any letter case): programs go without inserted word spaces.
bool IsControllerSiemens(const QString& controller);
