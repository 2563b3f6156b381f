// The command channel: batch sending and judging, configuration commands and
// the interactive start-from queries, against scripted peers on the run's own loopback addresses.
#include "Loopback.h"
#include "ScriptedPeer.h"

#include "device/DevicePin.h"
#include "device/JsonText.h"
#include "device/UnitDeviceCommand.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

Q_DECLARE_METATYPE(QList<TStartFromIndexEntry>)

namespace {

constexpr quint16 Port = 5000;

// Reads the expected number of lines, then sends the reply (split when asked).
TScriptedPeer::TScript Answer(int lines, QByteArray reply, bool split = false, int lingerMs = 0)
{
    return [=](TPeerConnection& c) {
        for (int i = 0; i < lines; ++i)
            c.ReadLine();
        split ? c.SendSplit(reply) : c.Send(reply);
        if (lingerMs)
            std::this_thread::sleep_for(std::chrono::milliseconds(lingerMs));
    };
}

// An interactive query: login OK, optional PIN OK, then the query's reply.
TScriptedPeer::TScript Query(QByteArray reply, bool withPin = false)
{
    return [=](TPeerConnection& c) {
        c.ReadLine();
        c.Send("OK\n");
        if (withPin) {
            c.ReadLine();
            c.Send("OK\n");
        }
        c.ReadLine();
        c.Send(reply);
    };
}

} // namespace

class TestCommandBatch : public QObject {
    Q_OBJECT
private slots:
    void countOkLines_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("count");
        QTest::newRow("CR LF") << QByteArray("OK\r\nOK\r\n") << 2;
        QTest::newRow("trailing piece counts") << QByteArray("OK\nOK") << 2;
        QTest::newRow("blanks around") << QByteArray("  OK \t\n") << 1;
        QTest::newRow("lower case") << QByteArray("ok\n") << 0;
        QTest::newRow("OK with text") << QByteArray("OK 5\n") << 0;
        QTest::newRow("empty") << QByteArray() << 0;
    }
    void countOkLines()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, count);
        QCOMPARE(CountOkLines(reply), count);
    }

    void extractErrText_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("text");
        QTest::newRow("first ERR") << QByteArray("OK\nERR bad name\nERR second\n") << "bad name";
        QTest::newRow("UTF-8 letters") << QByteArray("ERR ge\xC3\xA7"
                                                     "ersiz ad\xC4\xB1\r\n")
                                       << QString::fromUtf8("geçersiz adı");
        QTest::newRow("leading blank defeats") << QByteArray(" ERR x\n") << "";
        QTest::newRow("nothing after ERR") << QByteArray("ERR \n") << "";
        QTest::newRow("ERR without blank") << QByteArray("ERRx\n") << "";
    }
    void extractErrText()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QString, text);
        QCOMPARE(ExtractErrText(reply), text);
    }

    void emptyBatchOpensNoConnection()
    {
        TScriptedPeer peer(RunIp("10.1"), Port, {});
        QVERIFY(peer.IsListening());
        QString msg = "stale";
        QVERIFY(SendCommandBatch(RunIp("10.1"), Port, {}, msg));
        QCOMPARE(msg, QString());
        QTest::qWait(100);
        QCOMPARE(peer.Connections(), 0);
    }

    void batch_data()
    {
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("split");
        QTest::addColumn<bool>("result");
        QTest::addColumn<QString>("message");
        QTest::newRow("two OKs") << QStringList { "BR9600" } << QByteArray("OK\r\nOK\r\n") << false << true
                                 << QString::fromUtf8("2 komut cihaz tarafından onaylandı");
        QTest::newRow("split replies") << QStringList { "BR9600" } << QByteArray("OK\nOK\n") << true << true
                                       << QString::fromUtf8("2 komut cihaz tarafından onaylandı");
        QTest::newRow("ERR pin wins") << QStringList { "BR9600" } << QByteArray("OK\nERR pin\n") << false << false
                                      << QString::fromUtf8("Cihaz şifreyi kabul etmedi");
        QTest::newRow("refusal text") << QStringList { "NAME&x", "BR9600" }
                                      << QByteArray("OK\nERR ad ge\xC3\xA7"
                                                    "ersiz\nOK\nOK\n")
                                      << false << false << QString::fromUtf8("ad geçersiz");
        QTest::newRow("early close") << QStringList { "BR9600", "PARITYE" } << QByteArray("OK\nOK\n") << false << false
                                     << QString::fromUtf8(
                                            "Cihaz 2/3 komutu onayladı, bağlantı beklenenden erken kesildi");
        QTest::newRow("empty ERR judged by count") << QStringList { "BR9600" } << QByteArray("OK\nERR \nOK\n") << false
                                                   << true << QString::fromUtf8("2 komut cihaz tarafından onaylandı");
    }
    void batch()
    {
        QFETCH(QStringList, commands);
        QFETCH(QByteArray, reply);
        QFETCH(bool, split);
        QFETCH(bool, result);
        QFETCH(QString, message);
        TScriptedPeer peer(RunIp("10.2"), Port, { Answer(int(commands.size()) + 1, reply, split) });
        QString msg;
        QCOMPARE(SendCommandBatch(RunIp("10.2"), Port, commands, msg), result);
        QCOMPARE(msg, message);
        QVERIFY(peer.WaitDone());
        QCOMPARE(peer.Received().value(0), ("LOGIN&70216953\n" + commands.join('\n') + "\n").toLatin1());
    }

    void unreachableDevice()
    {
        QString msg;
        QVERIFY(!SendCommandBatch(RunIp("10.3"), 5999, { "BR9600" }, msg));
        QCOMPARE(msg, QString("%1:5999 adresine bağlanılamadı (hata kodu: 111)").arg(RunIp("10.3")));
        QVERIFY(!SendCommandBatch("not-an-address", 5999, { "BR9600" }, msg));
        QVERIFY(msg.startsWith(QString::fromUtf8("not-an-address:5999 adresine bağlanılamadı (hata kodu: ")));
    }

    void deviceCommandsCarryCachedPin()
    {
        SetCachedPin(RunIp("10.4"), "4711");
        TScriptedPeer peer(RunIp("10.4"), Port, { Answer(4, "OK\nOK\nOK\nOK\n"), Answer(2, "OK\nOK\n") });
        QString msg;
        QVERIFY(SendDeviceCommands(RunIp("10.4"), Port, { "NAME&Torna 3", "BR19200" }, msg));
        QCOMPARE(msg, QString::fromUtf8("4 komut cihaz tarafından onaylandı"));
        // With a PIN an empty command list still authenticates: two lines.
        QVERIFY(SendDeviceCommands(RunIp("10.4"), Port, {}, msg));
        QCOMPARE(msg, QString::fromUtf8("2 komut cihaz tarafından onaylandı"));
        QVERIFY(peer.WaitDone());
        QCOMPARE(peer.Received().value(0), QByteArray("LOGIN&70216953\nPIN&4711\nNAME&Torna 3\nBR19200\n"));
        SetCachedPin(RunIp("10.4"), {});
    }

    void readIndex_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("result");
        QTest::addColumn<QList<TStartFromIndexEntry>>("entries");
        QTest::addColumn<QString>("message");
        using E = QList<TStartFromIndexEntry>;
        QTest::newRow("two entries") << QByteArray(
            "{\"entries\":[{\"index\":0,\"line\":120,\"uncompressed_offset\":4711},"
            "{\"line\":300}]}\nOK\n") << true
                                     << E { { 0, 120, 4711 }, { 1, 300, 0 } } << "2 giris alindi";
        QTest::newRow("empty object") << QByteArray("{}\nOK\n") << true << E {} << "0 giris alindi";
        QTest::newRow("value forms") << QByteArray(
            "{\"entries\":[{\"index\":\"7\",\"line\":null,\"uncompressed_offset\":"
            "12.5}, 5]}OK\n") << true << E { { 7, 0, 0 }, { 0, 0, 0 } }
                                     << "2 giris alindi";
        QTest::newRow("OK without line feed")
            << QByteArray("{}\nOK") << false << E {} << "GETINDEX yaniti eksik/beklenmedik.";
        QTest::newRow("array") << QByteArray("[1,2]\nOK\n") << false << E {} << "GETINDEX JSON parse edilemedi: [1,2]";
    }
    void readIndex()
    {
        QFETCH(QByteArray, reply);
        QFETCH(bool, result);
        QFETCH(QList<TStartFromIndexEntry>, entries);
        QFETCH(QString, message);
        TScriptedPeer peer(RunIp("10.5"), Port, { Query(reply) });
        QList<TStartFromIndexEntry> got;
        QString msg;
        QCOMPARE(ReadStartFromIndex(RunIp("10.5"), Port, got, msg), result);
        QCOMPARE(got, entries);
        QCOMPARE(msg, message);
    }

    void loginReplies()
    {
        const auto login = [](QByteArray answer) {
            return [answer](TPeerConnection& c) {
                c.ReadLine();
                c.Send(answer);
                c.ReadLine();
                c.Send("{}\nOK\n");
            };
        };
        TScriptedPeer peer(RunIp("10.6"), Port, { login("ok\r\n"), login(" Nope \n") });
        QList<TStartFromIndexEntry> entries;
        QString msg;
        QVERIFY(ReadStartFromIndex(RunIp("10.6"), Port, entries, msg));
        QVERIFY(!ReadStartFromIndex(RunIp("10.6"), Port, entries, msg));
        QCOMPARE(msg, QString("LOGIN reddedildi: Nope"));
    }

    void peekLine()
    {
        SetCachedPin(RunIp("10.7"), "1234");
        TScriptedPeer peer(RunIp("10.7"), Port,
            { Query("{\"line_text\":\"T5 M6\",\"next_line\":\"G0 X1\"}\nOK\n", true),
                Query("{\"error\":\"index out of range\",\"line_text\":\"x\"}\nOK\n", true), [](TPeerConnection& c) {
                    c.ReadLine();
                    c.Send("OK\n");
                    c.ReadLine();
                    c.Send("ERR pin\n");
                } });
        QString prev = "stale", line, next, error;
        QVERIFY(PeekProgramLine(RunIp("10.7"), Port, 7, prev, line, next, error));
        QCOMPARE(prev, QString());
        QCOMPARE(line, QString("T5 M6"));
        QCOMPARE(next, QString("G0 X1"));
        QVERIFY(!PeekProgramLine(RunIp("10.7"), Port, 7, prev, line, next, error));
        QCOMPARE(error, QString("Cihaz hatasi: index out of range"));
        QVERIFY(!PeekProgramLine(RunIp("10.7"), Port, 7, prev, line, next, error));
        QCOMPARE(error, QString::fromUtf8("Cihaz şifreyi kabul etmedi"));
        QVERIFY(peer.WaitDone());
        QCOMPARE(peer.Received().value(0), QByteArray("LOGIN&70216953\nPIN&1234\nPEEKLINE7\n"));
        SetCachedPin(RunIp("10.7"), {});
    }

    void jsonReaders_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<qint32>("asInt");
        QTest::addColumn<qint64>("asInt64");
        QTest::addColumn<QString>("asText");
        QTest::newRow("number") << QByteArray("{\"v\":120}") << 120 << qint64(120) << "120";
        QTest::newRow("numeric string") << QByteArray("{\"v\":\"120\"}") << 120 << qint64(120) << "120";
        QTest::newRow("fraction") << QByteArray("{\"v\":12.5}") << -1 << qint64(-1) << "12.5";
        QTest::newRow("null") << QByteArray("{\"v\":null}") << -1 << qint64(-1) << "dflt";
        QTest::newRow("missing") << QByteArray("{}") << -1 << qint64(-1) << "dflt";
        QTest::newRow("text") << QByteArray("{\"v\":\"abc\"}") << -1 << qint64(-1) << "abc";
        QTest::newRow("object") << QByteArray("{\"v\":{}}") << -1 << qint64(-1) << "dflt";
        QTest::newRow("beyond 32 bits") << QByteArray("{\"v\":5000000000}") << -1 << qint64(5000000000) << "5000000000";
    }
    void jsonReaders()
    {
        QFETCH(QByteArray, json);
        QFETCH(qint32, asInt);
        QFETCH(qint64, asInt64);
        QFETCH(QString, asText);
        const QJsonValue value(QJsonDocument::fromJson(json).object());
        QCOMPARE(JsonIntOrDefault(value, "v", -1), asInt);
        QCOMPARE(JsonInt64OrDefault(value, "v", -1), asInt64);
        QCOMPARE(JsonStrOrDefault(value, "v", "dflt"), asText);
    }
};

QTEST_GUILESS_MAIN(TestCommandBatch)
#include "tst_commandbatch.moc"
