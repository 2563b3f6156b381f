// The device list model: its rows and roles under QAbstractItemModelTester,
// and the selection that follows a device (by MacId) across newer lists built
// by the status listener.
#include "StatusDatagram.h"
#include "discovery/DeviceListModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

namespace {

TQuillexDevice Device(
    const QString& ip, const QString& name, const QString& mac, bool pin = false, const QString& controller = {})
{
    TQuillexDevice device;
    device.IPAddress = ip;
    device.DisplayName = name;
    device.MacId = mac;
    device.PinRequired = pin;
    device.Controller = controller;
    return device;
}

QString SelectedName(const TDeviceListModel& model)
{
    return model.index(model.SelectedRow()).data(TDeviceListModel::NameRole).toString();
}

// A listener on a port nobody sends to, with a tick counter the test moves.
struct TQuietListener {
    quint32 Now = 1000;
    TStatusListenerThread Listener { {}, 0, [this] { return Now; } };
    void Hear(const QString& ip, const QByteArray& json) { Listener.AcceptDatagram(ip, StatusDatagram(json)); }
};

} // namespace

class TestDeviceListModel : public QObject {
    Q_OBJECT
private slots:
    void keepsTheModelContract()
    {
        QHash<QString, QString> statuses;
        TDeviceListModel model([&](const QString& ip) { return statuses.value(ip); });
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        const TQuillexDevice a = Device("10.0.0.1", "A", "ma"), b = Device("10.0.0.2", "B", "mb"),
                             c = Device("10.0.0.3", "C", "");
        model.SetDevices({ a, b });
        model.SelectRow(1);
        model.SetDevices({ a, b, c }); // grows
        model.SetDevices({ c }); // shrinks, the selected device gone
        model.SetDevices({ c }); // unchanged
        statuses.insert("10.0.0.3", R"({"xfer_status":"send"})");
        model.StatusChanged();
        model.SetDevices({});
        model.StatusChanged();
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(model.SelectedRow(), -1);
    }

    void rolesShowTheRow_data()
    {
        QTest::addColumn<QString>("status");
        QTest::addColumn<int>("activity");
        QTest::newRow("no status yet") << QString() << int(TDeviceActivity::Unknown);
        QTest::newRow("not JSON") << "garbage" << int(TDeviceActivity::Unknown);
        QTest::newRow("idle") << R"({"xfer_status":"idle"})" << int(TDeviceActivity::Idle);
        QTest::newRow("transferring") << R"({"xfer_status":"receive"})" << int(TDeviceActivity::Busy);
        QTest::newRow("erasing") << R"({"erasing":false})" << int(TDeviceActivity::Busy);
    }
    void rolesShowTheRow()
    {
        QFETCH(QString, status);
        QFETCH(int, activity);
        TDeviceListModel model([&](const QString& ip) { return ip == "10.0.0.7" ? status : QString(); });
        model.SetDevices({ Device("10.0.0.7", "Torna 3", "AA:01", true, "FANUC") });
        const QModelIndex row = model.index(0);
        QCOMPARE(row.data().toString(), QString("Torna 3"));
        QCOMPARE(row.data(TDeviceListModel::NameRole).toString(), QString("Torna 3"));
        QCOMPARE(row.data(TDeviceListModel::AddressRole).toString(), QString("10.0.0.7"));
        QCOMPARE(row.data(TDeviceListModel::MacIdRole).toString(), QString("AA:01"));
        QCOMPARE(row.data(TDeviceListModel::PinRequiredRole).toBool(), true);
        QCOMPARE(row.data(TDeviceListModel::ControllerRole).toString(), QString("FANUC"));
        QCOMPARE(row.data(TDeviceListModel::ActivityRole).toInt(), activity);
    }

    void statusChangeRepaintsEveryRowsActivity()
    {
        TDeviceListModel model;
        model.SetDevices({ Device("10.0.0.1", "A", "ma"), Device("10.0.0.2", "B", "mb") });
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        model.StatusChanged();
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed[0][0].toModelIndex().row(), 0);
        QCOMPARE(changed[0][1].toModelIndex().row(), 1);
        QCOMPARE(changed[0][2].value<QList<int>>(), QList<int> { TDeviceListModel::ActivityRole });
    }

    void selectionFollowsTheDevice()
    {
        TQuietListener q;
        TDeviceListModel model;
        q.Hear("10.0.0.5", R"({"name":"B","macid":"mac-b"})");
        model.SetDevices(q.Listener.RefreshDeviceList());
        model.SelectRow(0);
        // Two more devices arrive, one sorted before it; the MacId's letter case changes.
        q.Hear("10.0.0.6", R"({"name":"A","macid":"mac-a"})");
        q.Hear("10.0.0.7", R"({"name":"C","macid":"mac-c"})");
        q.Hear("10.0.0.5", R"({"name":"B","macid":"MAC-B"})");
        model.SetDevices(q.Listener.RefreshDeviceList());
        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(model.SelectedRow(), 1);
        QCOMPARE(SelectedName(model), QString("B"));
        TQuillexDevice selected;
        QVERIFY(model.SelectedDevice(selected));
        QCOMPARE(selected.IPAddress, QString("10.0.0.5"));
        QCOMPARE(q.Listener.GetLastDeviceList().value(model.SelectedRow()).IPAddress, QString("10.0.0.5"));
        // B goes silent: no row stays selected.
        q.Now += 15000;
        q.Hear("10.0.0.6", R"({"name":"A","macid":"mac-a"})");
        q.Hear("10.0.0.7", R"({"name":"C","macid":"mac-c"})");
        q.Now += 6000;
        model.SetDevices(q.Listener.RefreshDeviceList());
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.SelectedRow(), -1);
        QVERIFY(!model.SelectedDevice(selected));
    }

    void deviceWithoutMacIdLosesSelection()
    {
        TQuietListener q;
        TDeviceListModel model;
        q.Hear("10.0.0.8", R"({"name":"N"})");
        model.SetDevices(q.Listener.RefreshDeviceList());
        model.SelectRow(0);
        QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
        model.SetDevices(q.Listener.RefreshDeviceList()); // the same list
        QCOMPARE(reset.size(), 0);
        QCOMPARE(model.SelectedRow(), -1);
    }

    void unchangedListKeepsRowsAndSelection()
    {
        TDeviceListModel model;
        const QList<TQuillexDevice> devices { Device("10.0.0.1", "A", "ma"), Device("10.0.0.2", "B", "mb") };
        model.SetDevices(devices);
        model.SelectRow(1);
        QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
        QSignalSpy selection(model.Selection(), &QItemSelectionModel::selectionChanged);
        model.SetDevices(devices);
        QCOMPARE(reset.size(), 0);
        QCOMPARE(selection.size(), 0);
        QCOMPARE(SelectedName(model), QString("B"));
        model.SelectRow(5); // past the end: nothing selected, nothing read past the list
        QCOMPARE(model.SelectedRow(), -1);
    }
};

QTEST_GUILESS_MAIN(TestDeviceListModel)
#include "tst_devicelistmodel.moc"
