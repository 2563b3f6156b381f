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
        return int(FStatus[index.row()].Activity);
    case Qt::ToolTipRole:
        return FToolTipOf ? QVariant(FToolTipOf(device)) : QVariant();
    default:
        return {};
    }
}

void TDeviceListModel::SetToolTipOf(std::function<QString(const TQuillexDevice&)> toolTipOf)
{
    FToolTipOf = std::move(toolTipOf);
    ToolTipsChanged();
}

void TDeviceListModel::ToolTipsChanged()
{
    if (!FDevices.isEmpty())
        emit dataChanged(index(0), index(int(FDevices.size()) - 1), { Qt::ToolTipRole });
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
        QHash<QString, TRowStatus> known;
        for (qsizetype i = 0; i < FDevices.size(); ++i)
            known.insert(FDevices[i].IPAddress, FStatus[i]);
        QList<TRowStatus> status;
        status.reserve(devices.size());
        for (const TQuillexDevice& device : devices) {
            const auto before = known.constFind(device.IPAddress);
            status.append(ReadStatus(device.IPAddress, before == known.cend() ? nullptr : &before.value()));
        }
        beginResetModel();
        FDevices = devices;
        FStatus = std::move(status);
        endResetModel();
    }
    if (row != SelectedRow())
        SelectRow(row);
}

TDeviceListModel::TRowStatus TDeviceListModel::ReadStatus(const QString& ipAddress, const TRowStatus* before) const
{
    TRowStatus status;
    status.Text = FStatusOf ? FStatusOf(ipAddress) : QString();
    status.Activity = before && before->Text == status.Text ? before->Activity : DeviceActivity(status.Text);
    return status;
}

void TDeviceListModel::StatusChanged()
{
    int firstChanged = -1;
    for (int row = 0; row <= int(FDevices.size()); ++row) {
        bool changed = false;
        if (row < int(FDevices.size())) {
            const TRowStatus status = ReadStatus(FDevices[row].IPAddress, &FStatus[row]);
            changed = status.Activity != FStatus[row].Activity;
            FStatus[row] = status;
        }
        if (changed && firstChanged < 0)
            firstChanged = row;
        if (!changed && firstChanged >= 0) {
            emit dataChanged(index(firstChanged), index(row - 1), { ActivityRole });
            firstChanged = -1;
        }
    }
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
