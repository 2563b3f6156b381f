// The status listener: decryption, the device list, its order and its age
// limit, the receive loop on a port of its own, and the bounded status log.
#include "Loopback.h"
#include "StatusDatagram.h"
#include "discovery/UnitStatusListener.h"

#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QUdpSocket>

#include <algorithm>
#include <cerrno>

namespace {

QByteArray Datagram(const QByteArray& json, const QByteArray& key = StatusKey())
{
    return StatusDatagram(json, key);
}

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

    // The order does not depend on arrival (the cache's own order is random).
    // Two senders announcing one MacId share an identity: no stored PIN goes to either.
    void identityShared_data()
    {
        QTest::addColumn<QString>("macId");
        QTest::addColumn<QStringList>("heard"); // "address/macid" of each device heard
        QTest::addColumn<bool>("shared");
        QTest::newRow("alone") << "AA:01" << QStringList { "127.0.0.2/AA:01", "127.0.0.3/AA:02" } << false;
        QTest::newRow("another address") << "AA:01" << QStringList { "127.0.0.2/AA:01", "127.0.0.3/AA:01" } << true;
        QTest::newRow("letter case") << "aa:01" << QStringList { "127.0.0.3/AA:01" } << true;
        QTest::newRow("no MacId") << "" << QStringList { "127.0.0.3/" } << false;
        QTest::newRow("nothing heard") << "AA:01" << QStringList {} << false;
    }
    void identityShared()
    {
        QFETCH(QString, macId);
        QFETCH(QStringList, heard);
        QFETCH(bool, shared);
        TQuillexDevice device;
        device.IPAddress = "127.0.0.2";
        device.MacId = macId;
        QList<TQuillexDevice> devices;
        for (const QString& entry : heard) {
            TQuillexDevice other;
            other.IPAddress = entry.section('/', 0, 0);
            other.MacId = entry.section('/', 1);
            devices.append(other);
        }
        QCOMPARE(IdentityShared(device, devices), shared);
    }

    void orderIsByNameThenAddress_data()
    {
        QTest::addColumn<QStringList>("arrivals"); // address=name
        QTest::addColumn<QStringList>("listed"); // address of each row
        QTest::newRow("names") << QStringList { "10.0.0.1=Torna", "10.0.0.2=Freze", "10.0.0.3=Abkant" }
                               << QStringList { "10.0.0.3", "10.0.0.2", "10.0.0.1" };
        QTest::newRow("letter case aside") << QStringList { "10.0.0.1=b", "10.0.0.2=A", "10.0.0.3=a" }
                                           << QStringList { "10.0.0.2", "10.0.0.3", "10.0.0.1" };
        QTest::newRow("one name, addresses as numbers") << QStringList { "10.0.0.10=M", "10.0.0.9=M", "9.0.0.200=M" }
                                                        << QStringList { "9.0.0.200", "10.0.0.9", "10.0.0.10" };
    }
    void orderIsByNameThenAddress()
    {
        QFETCH(QStringList, arrivals);
        QFETCH(QStringList, listed);
        for (int rotation = 0; rotation < arrivals.size(); ++rotation) {
            TQuietListener q;
            for (int i = 0; i < arrivals.size(); ++i) {
                const QStringList parts = arrivals[(i + rotation) % arrivals.size()].split('=');
                q.Listener.AcceptDatagram(parts[0], Datagram("{\"name\":\"" + parts[1].toUtf8() + "\"}"));
            }
            QStringList addresses;
            for (const TQuillexDevice& device : q.Listener.RefreshDeviceList())
                addresses << device.IPAddress;
            QCOMPARE(addresses, listed);
            QCOMPARE(q.Listener.GetLastDeviceList().size(), listed.size());
        }
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
        q.Listener.RefreshDeviceList();
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
        QCOMPARE(q.Listener.RefreshDeviceList().size(), MaxStatusSenders);
    }

    void receivesOnItsPortAndLogs()
    {
        TStatusLog log;
        const quint16 port = FreeUdpPort();
        {
            TStatusListenerThread listener(&log, port);
            QTRY_VERIFY(listener.IsListening());
            QUdpSocket sender;
            QVERIFY(sender.bind(QHostAddress(RunIp("13.1")), 0));
            sender.writeDatagram(Datagram("{\"name\":\"Net\",\"macid\":\"m\"}"), QHostAddress("127.0.0.1"), port);
            QTRY_COMPARE(listener.GetStatusFor(RunIp("13.1")), QString("{\"name\":\"Net\",\"macid\":\"m\"}"));
            // A counted datagram is already in the log.
            QCOMPARE(listener.AcceptedDatagrams(), 1);
            QCOMPARE(
                log.Lines(), QStringList { QString("[%1] {\"name\":\"Net\",\"macid\":\"m\"}").arg(RunIp("13.1")) });
            QCOMPARE(listener.BuildDeviceList().value(0).IPAddress, QString(RunIp("13.1")));
            // A datagram that does not decrypt leaves no line.
            sender.writeDatagram(QByteArray(40, 'x'), QHostAddress("127.0.0.1"), port);
            sender.writeDatagram(Datagram("{\"name\":\"Net2\"}"), QHostAddress("127.0.0.1"), port);
            QTRY_COMPARE(listener.AcceptedDatagrams(), 2);
        }
        QCOMPARE(log.Lines(),
            QStringList({ QString("[%1] {\"name\":\"Net\",\"macid\":\"m\"}").arg(RunIp("13.1")),
                QString("[%1] {\"name\":\"Net2\"}").arg(RunIp("13.1")) }));
    }

    void logKeepsTheLatestLines_data()
    {
        QTest::addColumn<int>("capacity");
        QTest::addColumn<int>("appended");
        QTest::addColumn<int>("shown"); // lines the view has shown before
        QTest::addColumn<bool>("restart");
        QTest::addColumn<int>("firstNew"); // number of the first line handed over, 0 for none
        QTest::addColumn<int>("lastNew");
        QTest::newRow("empty") << 3 << 0 << 0 << false << 0 << 0;
        QTest::newRow("all new, fits") << 3 << 2 << 0 << false << 1 << 2;
        QTest::newRow("nothing new") << 3 << 2 << 2 << false << 0 << 0;
        QTest::newRow("the newest only") << 3 << 5 << 4 << false << 5 << 5;
        QTest::newRow("all new lines still kept") << 3 << 5 << 2 << false << 3 << 5;
        QTest::newRow("one new line dropped") << 3 << 6 << 2 << true << 4 << 6;
        QTest::newRow("never shown, more than kept") << 3 << 10 << 0 << true << 8 << 10;
        QTest::newRow("a view ahead of the log") << 3 << 2 << 7 << true << 1 << 2;
    }
    void logKeepsTheLatestLines()
    {
        QFETCH(int, capacity);
        QFETCH(int, appended);
        QFETCH(int, shown);
        QFETCH(bool, restart);
        QFETCH(int, firstNew);
        QFETCH(int, lastNew);
        TStatusLog log(capacity);
        for (int i = 1; i <= appended; ++i)
            log.Append(QString("line %1").arg(i));
        QCOMPARE(log.Appended(), quint64(appended));
        QStringList kept;
        for (int i = qMax(1, appended - capacity + 1); i <= appended; ++i)
            kept << QString("line %1").arg(i);
        QCOMPARE(log.Lines(), kept);
        const TStatusLog::TNewLines update = log.Since(quint64(shown));
        QCOMPARE(update.Restart, restart);
        QStringList expected;
        for (int i = firstNew; firstNew > 0 && i <= lastNew; ++i)
            expected << QString("line %1").arg(i);
        QCOMPARE(update.Lines, expected);
        QCOMPARE(update.Shown, quint64(appended));
    }

    void logTakesLinesFromManyThreads()
    {
        TStatusLog log(100);
        QList<QThread*> writers;
        for (int w = 0; w < 4; ++w)
            writers << QThread::create([&log, w] {
                for (int i = 0; i < 1000; ++i)
                    log.Append(QString("%1:%2").arg(w).arg(i));
            });
        quint64 shown = 0;
        QStringList seen;
        for (QThread* writer : writers)
            writer->start();
        // A reader catching up meanwhile sees each writer's lines in order.
        while (std::any_of(writers.begin(), writers.end(), [](QThread* t) { return !t->isFinished(); })) {
            const TStatusLog::TNewLines update = log.Since(shown);
            if (update.Restart)
                seen.clear();
            seen += update.Lines;
            shown = update.Shown;
        }
        for (QThread* writer : writers) {
            writer->wait();
            delete writer;
        }
        const TStatusLog::TNewLines last = log.Since(shown);
        if (last.Restart)
            seen.clear();
        seen += last.Lines;
        QCOMPARE(log.Appended(), quint64(4000));
        QCOMPARE(log.Lines().size(), 100);
        QCOMPARE(seen.mid(seen.size() - 100), log.Lines());
        QList<int> next(4, -1);
        for (const QString& line : seen) {
            const int w = line.section(':', 0, 0).toInt(), i = line.section(':', 1).toInt();
            QVERIFY2(i > next[w], qPrintable(line));
            next[w] = i;
        }
    }

    void stopsWithinHalfASecond()
    {
        QElapsedTimer timer;
        auto listener = std::make_unique<TStatusListenerThread>(nullptr, FreeUdpPort());
        QTRY_VERIFY(listener->IsListening());
        timer.start();
        listener.reset();
        QVERIFY(timer.elapsed() < 1500);
    }

    // Another program on the port, or a second listener of ours: the port is
    // never shared (the later one would take every unicast datagram).
    void portInUseIsReported_data()
    {
        QTest::addColumn<bool>("ours");
        QTest::newRow("another program, not sharing") << false;
        QTest::newRow("a second listener") << true;
    }
    void portInUseIsReported()
    {
        QFETCH(bool, ours);
        QUdpSocket holder; // takes the port without sharing it
        std::unique_ptr<TStatusListenerThread> first;
        quint16 port = 0;
        if (ours) {
            port = FreeUdpPort();
            first = std::make_unique<TStatusListenerThread>(nullptr, port);
            QTRY_VERIFY(first->IsListening());
        } else {
            QVERIFY(holder.bind(QHostAddress::AnyIPv4, 0, QUdpSocket::DontShareAddress));
            port = holder.localPort();
        }
        TStatusListenerThread listener(nullptr, port);
        QSignalSpy failed(&listener, &TStatusListenerThread::ListenFailed);
        QVERIFY(listener.wait(5000));
        const QString expected
            = QString::fromUtf8("Durum portu %1 dinlenemiyor: %2").arg(port).arg(qt_error_string(EADDRINUSE));
        QCOMPARE(listener.ListenError(), expected);
        QVERIFY(!listener.IsListening());
        // The signal may have come before the spy was connected; the text is kept either way.
        QVERIFY(failed.size() <= 1);
        if (failed.size() == 1)
            QCOMPARE(failed.first().first().toString(), expected);
        if (first)
            QVERIFY(first->IsListening());
    }

    void statusPortFromEnvironment_data()
    {
        QTest::addColumn<QByteArray>("value"); // "<unset>" leaves the variable out
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("port");
        QTest::newRow("unset") << QByteArray("<unset>") << true << 5003;
        QTest::newRow("a port") << QByteArray("15500") << true << 15500;
        QTest::newRow("blanks around") << QByteArray(" 7 ") << true << 7;
        QTest::newRow("highest") << QByteArray("65535") << true << 65535;
        QTest::newRow("zero") << QByteArray("0") << false << 5003;
        QTest::newRow("too high") << QByteArray("65536") << false << 5003;
        QTest::newRow("negative") << QByteArray("-1") << false << 5003;
        QTest::newRow("not a number") << QByteArray("abc") << false << 5003;
        QTest::newRow("empty") << QByteArray("") << false << 5003;
    }

    void statusPortFromEnvironment()
    {
        QFETCH(QByteArray, value);
        QFETCH(bool, ok);
        QFETCH(int, port);
        if (value == "<unset>")
            qunsetenv("QUILLEX_STATUS_PORT");
        else
            qputenv("QUILLEX_STATUS_PORT", value);
        quint16 result = 1;
        QString error;
        QCOMPARE(LoadStatusPortFromEnvironment(result, error), ok);
        QCOMPARE(int(result), port);
        QCOMPARE(error.isEmpty(), ok);
        qunsetenv("QUILLEX_STATUS_PORT");
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
