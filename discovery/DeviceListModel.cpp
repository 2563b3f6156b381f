#include "DeviceListModel.h"

TDeviceListModel::TDeviceListModel(std::function<QString(const QString&)> statusOf, QObject* parent)
    : QAbstractListModel(parent)
    , FStatusOf(std::move(statusOf))
    , FSelection(this)
{
}

int TDeviceListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(FDevices.size());
}

QVariant TDeviceListModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const TQuillexDevice& device = FDevices[index.row()];
    switch (role) {
    case Qt::DisplayRole:
    case NameRole:
        return device.DisplayName;
    case AddressRole:
        return device.IPAddress;
    case MacIdRole:
        return device.MacId;
    case PinRequiredRole:
        return device.PinRequired;
    case ControllerRole:
        return device.Controller;
    case ActivityRole:
        return int(FStatusOf ? DeviceActivity(FStatusOf(device.IPAddress)) : TDeviceActivity::Unknown);
    default:
        return {};
    }
}

QHash<int, QByteArray> TDeviceListModel::roleNames() const
{
    QHash<int, QByteArray> names = QAbstractListModel::roleNames();
    names.insert(NameRole, "name");
    names.insert(AddressRole, "address");
    names.insert(MacIdRole, "macId");
    names.insert(PinRequiredRole, "pinRequired");
    names.insert(ControllerRole, "controller");
    names.insert(ActivityRole, "activity");
    return names;
}

void TDeviceListModel::SetDevices(const QList<TQuillexDevice>& devices)
{
    const int selected = SelectedRow();
    const QString selectedMacId = selected >= 0 ? FDevices[selected].MacId : QString();
    int row = -1;
    if (!selectedMacId.isEmpty()) {
        for (int i = 0; i < devices.size(); ++i) {
            if (devices[i].MacId.compare(selectedMacId, Qt::CaseInsensitive) == 0) {
                row = i;
                break;
            }
        }
    }
    // An unchanged list keeps its rows, so views keep their scroll position.
    if (devices != FDevices) {
        beginResetModel();
        FDevices = devices;
        endResetModel();
    }
    if (row != SelectedRow())
        SelectRow(row);
}

void TDeviceListModel::StatusChanged()
{
    if (!FDevices.isEmpty())
        emit dataChanged(index(0), index(int(FDevices.size()) - 1), { ActivityRole });
}

int TDeviceListModel::SelectedRow() const
{
    const QModelIndexList rows = FSelection.selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

bool TDeviceListModel::SelectedDevice(TQuillexDevice& device) const
{
    const int row = SelectedRow();
    if (row < 0)
        return false;
    device = FDevices[row];
    return true;
}

void TDeviceListModel::SelectRow(int row)
{
    if (row < 0 || row >= FDevices.size()) {
        FSelection.clear();
        return;
    }
    FSelection.setCurrentIndex(index(row), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}
