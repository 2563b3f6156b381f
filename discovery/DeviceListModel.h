#pragma once
// The device list as the window shows it: one row per device of the status
// listener's latest list, roles for what a row draws, and the selection kept
// on the same device (by MacId) when a newer list arrives.
#include "DeviceStatusView.h"
#include "UnitStatusListener.h"

#include <QAbstractListModel>
#include <QItemSelectionModel>

#include <functional>

class TDeviceListModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum TRole {
        NameRole = Qt::UserRole + 1, // DisplayName, as Qt::DisplayRole
        AddressRole, // IPAddress
        MacIdRole,
        PinRequiredRole, // the row shows a lock
        ControllerRole,
        ActivityRole, // TDeviceActivity of the device's latest status, as int
    };

    // statusOf gives the latest status text of an address (the listener's
    // GetStatusFor); without it every device's activity is unknown.
    explicit TDeviceListModel(
        std::function<QString(const QString& ipAddress)> statusOf = {}, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    // The selection every view of the list shares (single selection).
    QItemSelectionModel* Selection() { return &FSelection; }

    // The rows become exactly these devices, in this order. The device selected
    // before stays selected when a device with the same MacId (any letter case)
    // is listed; otherwise, and for a device without MacId, nothing is selected.
    void SetDevices(const QList<TQuillexDevice>& devices);
    // New status documents arrived: each row reads its device's latest status,
    // and one dataChanged per run of neighbouring rows whose activity changed
    // tells the views (none when no dot changes).
    void StatusChanged();

    // The tool tip of a device's row (what is on the machine, from the
    // history); the views are told when the texts behind it change.
    void SetToolTipOf(std::function<QString(const TQuillexDevice&)> toolTipOf);
    void ToolTipsChanged();

    const QList<TQuillexDevice>& Devices() const { return FDevices; }
    int SelectedRow() const; // -1 for none
    bool SelectedDevice(TQuillexDevice& device) const;
    void SelectRow(int row); // -1 clears the selection

private:
    // What a row knows of its device's status: the text last read and the
    // activity it gives, so an unchanged text is not parsed again.
    struct TRowStatus {
        QString Text;
        TDeviceActivity Activity = TDeviceActivity::Unknown;
    };
    TRowStatus ReadStatus(const QString& ipAddress, const TRowStatus* before) const;

    std::function<QString(const QString&)> FStatusOf;
    std::function<QString(const TQuillexDevice&)> FToolTipOf;
    QList<TQuillexDevice> FDevices;
    QList<TRowStatus> FStatus; // one per row
    QItemSelectionModel FSelection;
};
