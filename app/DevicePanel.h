#pragma once
// The device panel: the list of the devices found, each row drawn with the
// device's picture, its activity dot, name, controller, address and padlock,
// and under it the selected device's status rows, or a message in their
// place. The window decides what the panel shows (the listener's status, the
// history's notes); the panel lays it out and draws it.
#include "discovery/DeviceListModel.h"
#include "discovery/DeviceStatusView.h"

#include <QColor>
#include <QObject>
#include <QPixmap>
#include <QString>
#include <QStringList>

#include <utility>

class QListView;
class QPainter;
class TDeviceInfoPaintBox;

// What one row of the device list shows.
struct TDeviceRowLook {
    QString Line1;
    QString Line2;
    bool Locked = false;
    QColor DotColor;
};

// The activity dot's colour for a device's latest status.
QColor DeviceActivityDotColor(TDeviceActivity activity);

class TDevicePanel : public QObject {
    Q_OBJECT
public:
    // The list and the status box are the window's widgets, kept by their names.
    TDevicePanel(QListView* list, TDeviceInfoPaintBox* info, TDeviceListModel* devices, QObject* parent = nullptr);

    TDeviceRowLook RowLook(int index) const;
    void DrawRow(QPainter& painter, int index, const QRect& rect, bool selected) const;

    // The status box: the message when there is one, otherwise the rows.
    void SetInfo(const QString& message, const TDeviceInfoRows& rows);
    // The status box for the selected device (null: none selected): why no
    // device can be heard or "Bir cihaz seçin.", the wait for its first
    // status, or its status rows, built again only when the status changes;
    // the notes (what was last sent to it, the shared history's state) under
    // them either way.
    void ShowDevice(
        const TQuillexDevice* device, const QString& status, const QString& listenError, const QStringList& notes);
    QString InfoMessage() const { return FInfoMessage; }
    TDeviceInfoRows InfoRows() const { return FInfoRows; }
    void PaintInfo(QPainter& painter) const;

private:
    int InfoRowHeight() const;

    QListView* FList;
    TDeviceInfoPaintBox* FInfo;
    TDeviceListModel* FDevices;
    QPixmap FDevicePicture;
    QString FInfoMessage;
    TDeviceInfoRows FInfoRows;
    std::pair<QString, TDeviceInfoRows> FStatusRows; // the status last shown, and its rows
};
