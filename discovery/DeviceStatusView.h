#pragma once
// What the device list and the status panel show for a status document:
// the labelled rows, byte sizes, the activity dot's state, and the hardware
// and controller facts that decide how a device is served.
#include <QList>
#include <QLocale>
#include <QString>

// "%.1f MB", "%.1f KB" or "%d bayt", with the locale's decimal separator.
QString FormatByteSize(qint64 bytes, const QLocale& locale = QLocale());

// One row of the status panel. Label and value stay apart: a value the
// device sends can never make a row of its own.
struct TDeviceInfoRow {
    QString Label; // empty for a line of a status that is not a JSON object
    QString Value;
    friend bool operator==(const TDeviceInfoRow&, const TDeviceInfoRow&) = default;
};
using TDeviceInfoRows = QList<TDeviceInfoRow>;

// The rows of the status panel; one unlabelled row per line of a text that is
// not a JSON object; none for empty text. Control characters in what the
// device sent are shown as '?'.
TDeviceInfoRows BuildDeviceInfoRows(const QString& statusText, const QLocale& locale = QLocale());

// The text with each control character (C0, DEL, C1) replaced by '?'.
QString VisibleText(QString text);

enum class TDeviceActivity { Unknown, Busy, Idle };
// Unknown for empty or non-object status; Busy while erasing, transferring or
// updating firmware; Idle otherwise.
TDeviceActivity DeviceActivity(const QString& statusText);

// The hardware keeps a start-from index: "hw" HW3 or HW4, any letter case.
bool KeepsStartFromIndex(const QString& hw);
bool StatusKeepsStartFromIndex(const QString& statusText);

// A SIEMENS control (any letter case): programs go without inserted word spaces.
bool IsControllerSiemens(const QString& controller);
