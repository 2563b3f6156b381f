// The device list model: its rows and roles under QAbstractItemModelTester,
// and the selection that follows a device (by MacId) across newer lists built
// by the status listener.
#include "StatusDatagram.h"
#include "discovery/DeviceListModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>

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

    // Six devices; between two refreshes some statuses change. One dataChanged
    // for each run of neighbouring rows whose dot changed, none for the rest.
    void statusChangeSignalsTheRowsWhoseDotChanged_data()
    {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<QString>("signalled"); // first-last row of each dataChanged
        const QString idle = R"({"xfer_status":"idle","time":"12:00:01"})";
        const QString idleLater = R"({"xfer_status":"idle","time":"12:00:03"})";
        const QString sending = R"({"xfer_status":"send"})";
        const QString erasing = R"({"erasing":1})";
        const QStringList allIdle(6, idle);
        QTest::newRow("nothing new") << allIdle << allIdle << "";
        QTest::newRow("new texts, same dots") << allIdle << QStringList(6, idleLater) << "";
        QTest::newRow("one row") << allIdle << QStringList { idle, idle, sending, idle, idle, idle } << "2-2";
        QTest::newRow("two runs") << allIdle << QStringList { idle, sending, erasing, idle, sending, idle }
                                  << "1-2,4-4";
        QTest::newRow("busy to busy is no change") << QStringList { sending, idle, idle, idle, idle, idle }
                                                   << QStringList { erasing, idle, idle, idle, idle, sending } << "5-5";
        QTest::newRow("status gone and unknown")
            << allIdle << QStringList { QString(), "not json", idle, idle, idle, idle } << "0-1";
        QTest::newRow("every row") << allIdle << QStringList(6, sending) << "0-5";
        QTest::newRow("back to idle") << QStringList(6, sending) << allIdle << "0-5";
    }
    void statusChangeSignalsTheRowsWhoseDotChanged()
    {
        QFETCH(QStringList, before);
        QFETCH(QStringList, after);
        QFETCH(QString, signalled);
        QHash<QString, QString> statuses;
        QList<TQuillexDevice> devices;
        for (int i = 0; i < 6; ++i) {
            devices << Device(QString("10.0.0.%1").arg(i + 1), QString("D%1").arg(i), QString("m%1").arg(i));
            statuses.insert(devices.last().IPAddress, before[i]);
        }
        TDeviceListModel model([&](const QString& ip) { return statuses.value(ip); });
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.SetDevices(devices);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        for (int i = 0; i < 6; ++i)
            statuses.insert(devices[i].IPAddress, after[i]);
        model.StatusChanged();
        QStringList runs;
        for (const QList<QVariant>& signal : changed) {
            runs << QString("%1-%2").arg(signal[0].toModelIndex().row()).arg(signal[1].toModelIndex().row());
            QCOMPARE(signal[2].value<QList<int>>(), QList<int> { TDeviceListModel::ActivityRole });
        }
        QCOMPARE(runs.join(','), signalled);
        // Every row answers with its device's latest status.
        for (int i = 0; i < 6; ++i)
            QCOMPARE(model.index(i).data(TDeviceListModel::ActivityRole).toInt(), int(DeviceActivity(after[i])));
        // A newer list of the same devices in another order keeps what each row knows.
        std::reverse(devices.begin(), devices.end());
        model.SetDevices(devices);
        for (int i = 0; i < 6; ++i)
            QCOMPARE(model.index(i).data(TDeviceListModel::ActivityRole).toInt(), int(DeviceActivity(after[5 - i])));
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
