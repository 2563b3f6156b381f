// The status listener: decryption, the device list and its age limit, the
// selection across refreshes, and the receive loop on a port of its own.
#include "Loopback.h"
#include "StatusDatagram.h"
#include "discovery/UnitStatusListener.h"

#include <QTest>
#include <QUdpSocket>

namespace {

QByteArray Datagram(const QByteArray& json, const QByteArray& key = StatusKey())
{
    return StatusDatagram(json, key);
}

// A list widget stand-in.
class TFakeListView : public TDeviceListView {
public:
    int Selected = -1;
    QStringList Items;
    int SelectedRow() const override { return Selected; }
    void SetItems(const QStringList& captions) override
    {
        Items = captions;
        Selected = -1;
    }
    void SelectRow(int row) override { Selected = row; }
};

// A listener on a port nobody sends to, with a tick counter the test moves.
struct TQuietListener {
    quint32 Now = 1000;
    TStatusListenerThread Listener { {}, 0, [this] { return Now; } };
};

} // namespace

class TestStatusListener : public QObject {
    Q_OBJECT
private slots:
    void decrypt()
    {
        const QByteArray key(32, 'k'), iv(16, 'i');
        const QByteArray plain("{\"name\":\"M1\"}\0\0\0", 16);
        QCOMPARE(DecryptAes256Cbc(key, iv, EncryptStatus(key, iv, plain)), plain);
        QCOMPARE(DecryptAes256Cbc(key, iv, QByteArray()), QByteArray());
        QCOMPARE(DecryptAes256Cbc(key, iv, QByteArray(17, 'x')), QByteArray());
        QCOMPARE(DecryptAes256Cbc(QByteArray(31, 'k'), iv, QByteArray(16, 'x')), QByteArray());
    }

    void deviceFromStatus_data()
    {
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("mac");
        QTest::addColumn<bool>("pin");
        QTest::addColumn<QString>("controller");
        QTest::newRow("name only") << "{\"name\":\"M1\"}"
                                   << "M1"
                                   << "" << false << "";
        QTest::newRow("pw JSON true") << "{\"name\":\"A\",\"pw\":true}"
                                      << "A"
                                      << "" << true << "";
        QTest::newRow("pw text TRUE") << "{\"pw\":\"TRUE\",\"macid\":\"AB\"}"
                                      << "AB"
                                      << "AB" << true << "";
        QTest::newRow("pw yes") << "{\"pw\":\"yes\"}"
                                << "10.1.1.1"
                                << "" << false << "";
        QTest::newRow("pw 1") << "{\"pw\":1}"
                              << "10.1.1.1"
                              << "" << false << "";
        QTest::newRow("pw false") << "{\"pw\":false}"
                                  << "10.1.1.1"
                                  << "" << false << "";
        QTest::newRow("empty name falls back to macid") << "{\"name\":\"\",\"macid\":\"MAC\",\"controller\":\"FANUC\"}"
                                                        << "MAC"
                                                        << "MAC" << false << "FANUC";
    }
    void deviceFromStatus()
    {
        QFETCH(QString, status);
        QFETCH(QString, name);
        QFETCH(QString, mac);
        QFETCH(bool, pin);
        QFETCH(QString, controller);
        TQuillexDevice device;
        QVERIFY(DeviceFromStatus("10.1.1.1", status, device));
        QCOMPARE(device.DisplayName, name);
        QCOMPARE(device.MacId, mac);
        QCOMPARE(device.PinRequired, pin);
        QCOMPARE(device.Controller, controller);
        QCOMPARE(device.Port, 5000);
        QVERIFY(!DeviceFromStatus("10.1.1.1", "[1]", device));
        QVERIFY(!DeviceFromStatus("10.1.1.1", "", device));
    }

    void datagramSizes()
    {
        TQuietListener q;
        q.Listener.AcceptDatagram("10.0.0.1", QByteArray(16, 'x'));
        QCOMPARE(q.Listener.GetStatusFor("10.0.0.1"), QString());
        // One cipher block of zero-padded JSON is enough.
        q.Listener.AcceptDatagram("10.0.0.1", Datagram("{\"name\":\"M1\"}"));
        QCOMPARE(q.Listener.GetStatusFor("10.0.0.1"), QString("{\"name\":\"M1\"}"));
        QCOMPARE(Datagram("{\"name\":\"M1\"}").size(), 32);
        // A ciphertext that is not whole blocks is dropped; the previous status stays.
        q.Listener.AcceptDatagram("10.0.0.1", Datagram("{\"name\":\"M2\"}") + "x");
        QCOMPARE(q.Listener.GetStatusFor("10.0.0.1"), QString("{\"name\":\"M1\"}"));
    }

    void wrongKeyReplacesButIsNotListed()
    {
        TQuietListener q;
        q.Listener.AcceptDatagram("10.0.0.2", Datagram("{\"name\":\"M1\"}"));
        q.Listener.AcceptDatagram("10.0.0.2", Datagram("{\"name\":\"M1\"}", QByteArray(32, 'w')));
        QVERIFY(q.Listener.GetStatusFor("10.0.0.2") != "{\"name\":\"M1\"}");
        QVERIFY(q.Listener.BuildDeviceList().isEmpty());
    }

    void ageLimit()
    {
        TQuietListener q;
        q.Listener.AcceptDatagram("10.0.0.3", Datagram("{\"name\":\"M3\"}"));
        q.Now += 20000;
        QCOMPARE(q.Listener.BuildDeviceList().size(), 1);
        q.Now += 1;
        QVERIFY(q.Listener.BuildDeviceList().isEmpty());
        QCOMPARE(q.Listener.GetStatusFor("10.0.0.3"), QString("{\"name\":\"M3\"}"));
    }

    void ageAcrossTickWrap()
    {
        TQuietListener q;
        q.Now = 0xFFFFFFFFu - 99;
        q.Listener.AcceptDatagram("10.0.0.4", Datagram("{\"name\":\"M4\"}"));
        q.Now += 200; // wraps
        QCOMPARE(q.Listener.BuildDeviceList().size(), 1);
    }

    void selectionFollowsTheDevice()
    {
        TQuietListener q;
        TFakeListView view;
        q.Listener.AcceptDatagram("10.0.0.5", Datagram("{\"name\":\"A\",\"macid\":\"mac-a\"}"));
        q.Listener.RefreshDeviceList(view);
        QCOMPARE(view.Items, QStringList { "A" });
        view.Selected = 0;
        // Two more devices arrive; whatever the order, the selection stays on A.
        q.Listener.AcceptDatagram("10.0.0.6", Datagram("{\"name\":\"B\",\"macid\":\"mac-b\"}"));
        q.Listener.AcceptDatagram("10.0.0.7", Datagram("{\"name\":\"C\",\"macid\":\"mac-c\"}"));
        q.Listener.AcceptDatagram("10.0.0.5", Datagram("{\"name\":\"A\",\"macid\":\"MAC-A\"}"));
        q.Listener.RefreshDeviceList(view);
        QCOMPARE(view.Items.size(), 3);
        QCOMPARE(view.Items.value(view.Selected), QString("A"));
        QCOMPARE(q.Listener.GetLastDeviceList().value(view.Selected).IPAddress, QString("10.0.0.5"));
        // A goes silent: no row stays selected.
        q.Now += 15000;
        q.Listener.AcceptDatagram("10.0.0.6", Datagram("{\"name\":\"B\",\"macid\":\"mac-b\"}"));
        q.Listener.AcceptDatagram("10.0.0.7", Datagram("{\"name\":\"C\",\"macid\":\"mac-c\"}"));
        q.Now += 6000;
        q.Listener.RefreshDeviceList(view);
        QCOMPARE(view.Items.size(), 2);
        QCOMPARE(view.Selected, -1);
    }

    void silentSendersAreForgotten()
    {
        TQuietListener q;
        q.Now = 0xFFFFFFFFu - 60000; // the tick counter wraps during the test
        q.Listener.AcceptDatagram("10.0.1.1", Datagram("{\"name\":\"A\"}"));
        q.Now += 9 * 60 * 1000;
        q.Listener.AcceptDatagram("10.0.1.2", Datagram("{\"name\":\"B\"}"));
        q.Now += 60 * 1000; // A silent for exactly 10 minutes: still known
        q.Listener.AcceptDatagram("10.0.1.3", Datagram("{\"name\":\"C\"}"));
        QCOMPARE(q.Listener.GetStatusFor("10.0.1.1"), QString("{\"name\":\"A\"}"));
        q.Now += 1;
        q.Listener.AcceptDatagram("10.0.1.3", Datagram("{\"name\":\"C\"}"));
        QCOMPARE(q.Listener.GetStatusFor("10.0.1.1"), QString());
        QCOMPARE(q.Listener.GetStatusFor("10.0.1.2"), QString("{\"name\":\"B\"}"));
        QCOMPARE(q.Listener.CachedSenders(), 2);
        // With no datagram at all, the refresh forgets too.
        q.Now += 10 * 60 * 1000;
        TFakeListView view;
        q.Listener.RefreshDeviceList(view);
        QCOMPARE(q.Listener.GetStatusFor("10.0.1.2"), QString());
        QCOMPARE(q.Listener.GetStatusFor("10.0.1.3"), QString("{\"name\":\"C\"}"));
        QCOMPARE(q.Listener.CachedSenders(), 1);
    }

    void atMostTenThousandSenders()
    {
        TQuietListener q;
        const QByteArray datagram = Datagram("{\"name\":\"F\"}");
        const auto address
            = [](int i) { return QString("10.%1.%2.%3").arg(i / 65536).arg(i / 256 % 256).arg(i % 256); };
        for (int i = 0; i < MaxStatusSenders; ++i) {
            q.Listener.AcceptDatagram(address(i), datagram);
            ++q.Now;
        }
        QCOMPARE(q.Listener.CachedSenders(), MaxStatusSenders);
        // Sender 0 speaks again: sender 1 is now the oldest and goes first.
        q.Listener.AcceptDatagram(address(0), datagram);
        q.Listener.AcceptDatagram(address(MaxStatusSenders), datagram);
        QCOMPARE(q.Listener.CachedSenders(), MaxStatusSenders);
        QVERIFY(!q.Listener.GetStatusFor(address(0)).isEmpty());
        QVERIFY(q.Listener.GetStatusFor(address(1)).isEmpty());
        QVERIFY(!q.Listener.GetStatusFor(address(2)).isEmpty());
        QVERIFY(!q.Listener.GetStatusFor(address(MaxStatusSenders)).isEmpty());
        // The device list keeps its 20-second rule over what is kept.
        TFakeListView view;
        q.Listener.RefreshDeviceList(view);
        QCOMPARE(view.Items.size(), MaxStatusSenders);
    }

    void deviceWithoutMacIdLosesSelection()
    {
        TQuietListener q;
        TFakeListView view;
        q.Listener.AcceptDatagram("10.0.0.8", Datagram("{\"name\":\"N\"}"));
        q.Listener.RefreshDeviceList(view);
        view.Selected = 0;
        q.Listener.RefreshDeviceList(view);
        QCOMPARE(view.Selected, -1);
    }

    void receivesOnItsPortAndLogs()
    {
        QObject context;
        QStringList log;
        const quint16 port = FreeUdpPort();
        {
            TStatusListenerThread listener({ &context, [&](const QString& line) { log << line; } }, port);
            QTRY_VERIFY(listener.IsListening());
            QUdpSocket sender;
            QVERIFY(sender.bind(QHostAddress(RunIp("13.1")), 0));
            sender.writeDatagram(Datagram("{\"name\":\"Net\",\"macid\":\"m\"}"), QHostAddress("127.0.0.1"), port);
            QTRY_COMPARE(listener.GetStatusFor(RunIp("13.1")), QString("{\"name\":\"Net\",\"macid\":\"m\"}"));
            QTRY_COMPARE(log, QStringList { QString("[%1] {\"name\":\"Net\",\"macid\":\"m\"}").arg(RunIp("13.1")) });
            QCOMPARE(listener.BuildDeviceList().value(0).IPAddress, QString(RunIp("13.1")));
            // The destructor runs pending log hand-overs while it waits.
            sender.writeDatagram(Datagram("{\"name\":\"Net2\"}"), QHostAddress("127.0.0.1"), port);
            QTest::qSleep(100);
        }
        QCOMPARE(log.size(), 2);
    }

    void stopsWithinHalfASecond()
    {
        QElapsedTimer timer;
        auto listener = std::make_unique<TStatusListenerThread>(TStatusLogTarget {}, FreeUdpPort());
        QTRY_VERIFY(listener->IsListening());
        timer.start();
        listener.reset();
        QVERIFY(timer.elapsed() < 1500);
    }

    void statusKeyFromEnvironment()
    {
        QString error;
        qputenv("QUILLEX_STATUS_KEY", "abc");
        QVERIFY(!LoadStatusKeyFromEnvironment(error));
        QVERIFY(error.contains("64 hexadecimal digits"));
        qputenv("QUILLEX_STATUS_KEY", QByteArray(64, 'z'));
        QVERIFY(!LoadStatusKeyFromEnvironment(error));
        const QByteArray before = StatusKey();
        qputenv("QUILLEX_STATUS_KEY", QByteArray(64, '7'));
        QVERIFY(LoadStatusKeyFromEnvironment(error));
        QCOMPARE(StatusKey(), QByteArray::fromHex(QByteArray(64, '7')));
        qputenv("QUILLEX_STATUS_KEY", before.toHex());
        QVERIFY(LoadStatusKeyFromEnvironment(error));
        qunsetenv("QUILLEX_STATUS_KEY");
    }
};

QTEST_GUILESS_MAIN(TestStatusListener)
#include "tst_statuslistener.moc"
