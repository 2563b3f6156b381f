// quillex-cli against quillex-devsim: every command of the device link over
// real sockets, each test with its own loopback addresses and status port.
#include "Loopback.h"
#include "content/TextDocument.h"
#include "document/ProgramDocument.h"
#include "document/UploadPlan.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include "CliProcess.h"
#include "TestUtil.h"

namespace {

// A real program with tool changes, from the shared corpus.
const QString CorpusToolChangeProgram = QStringLiteral(QUILLEX_GCODE_DATA "/gsender/examples/gcode/toolchange.nc");

// A program of about 3 KB whose coordinates do not repeat: compressed, it is
// still far over a limit of 100 bytes.
QString ProgramOverHundredBytes(const TCli& cli)
{
    QRandomGenerator random(1000);
    QByteArray text = "%\nO1000\n";
    for (int line = 0; line < 120; ++line)
        text += "G1 X" + QByteArray::number(random.bounded(100000)) + " Y" + QByteArray::number(random.bounded(100000))
            + "\n";
    text += "M30\n%\n";
    QString error;
    WriteWholeFile(cli.File("over-100-bytes.nc"), text, error);
    return cli.File("over-100-bytes.nc");
}

} // namespace

// The simulator's macid made from the last two octets of its address.
QString SimMacId(const QString& ip)
{
    const QStringList octets = ip.split('.');
    return QString("02:51:58:00:%1:%2")
        .arg(octets.value(2).toInt(), 2, 16, QChar('0'))
        .arg(octets.value(3).toInt(), 2, 16, QChar('0'))
        .toUpper();
}

class TestEndToEnd : public QObject {
    Q_OBJECT
private slots:
    void devicesAreListed()
    {
        const quint16 statusPort = FreeUdpPort();
        TSimulation sim(statusPort,
            { QString("ip=%1,name=Torna 1,hw=HW4").arg(RunIp("20.1")),
                QString("ip=%1,name=Freze,pin=1234,controller=SIEMENS").arg(RunIp("20.2")) });
        QVERIFY(sim.Ready());
        TCli cli(statusPort);
        const TRun table = cli.Run({ "devices", "--listen", "1" });
        QCOMPARE(table.ExitCode, 0);
        QStringList lines = QString::fromUtf8(table.Out).split('\n', Qt::SkipEmptyParts);
        lines.sort();
        QCOMPARE(lines,
            QStringList({ QString("%1\t%2\tTorna 1\tFANUC\t-").arg(RunIp("20.1"), SimMacId(RunIp("20.1"))),
                QString("%1\t%2\tFreze\tSIEMENS\tpin").arg(RunIp("20.2"), SimMacId(RunIp("20.2"))) }));
        const TRun json = cli.Run({ "devices", "--listen", "0.6", "--json" });
        const QJsonArray array = QJsonDocument::fromJson(json.Out).array();
        QCOMPARE(array.size(), 2);
        for (const QJsonValue& v : array)
            QCOMPARE(v["status"]["ip"].toString(), v["ip"].toString());
    }

    void textUploadRoundTripWithIndex()
    {
        QUILLEX_REQUIRE_CORPUS();
        const quint16 statusPort = FreeUdpPort();
        TSimulation sim(statusPort, { QString("ip=%1,hw=HW4,erase=200000").arg(RunIp("20.3")) });
        QVERIFY(sim.Ready());
        TCli cli(statusPort);
        const QString program = CorpusToolChangeProgram;
        const TPreparedUpload expected = PrepareFileForUpload(FileBytes(program), false);
        QVERIFY(expected.Candidates.size() >= 2);

        const TRun upload = cli.Run({ "upload", RunIp("20.3"), program });
        QCOMPARE(upload.ExitCode, 0);
        QCOMPARE(upload.Out, QByteArray("OK\n"));
        QVERIFY2(upload.Err.contains("\nerase "), qPrintable(upload.Err));

        const TRun download = cli.Run({ "download", RunIp("20.3"), "-o", cli.File("back.nc") });
        QCOMPARE(download.ExitCode, 0);
        QCOMPARE(FileBytes(cli.File("back.nc")), expected.Content);

        const TRun index = cli.Run({ "index", RunIp("20.3") });
        QCOMPARE(index.ExitCode, 0);
        QStringList expectedIndex;
        for (int i = 0; i < expected.Candidates.size() && i < 20; ++i)
            expectedIndex << QString("%1\t%2\t%3")
                                 .arg(i)
                                 .arg(expected.Candidates[i].LineNumber)
                                 .arg(expected.Candidates[i].UncompressedOffset);
        QCOMPARE(QString::fromUtf8(index.Out).split('\n', Qt::SkipEmptyParts), expectedIndex);

        const TRun peek = cli.Run({ "peek", RunIp("20.3"), "1" });
        QCOMPARE(peek.ExitCode, 0);
        const QStringList lines = QString::fromUtf8(peek.Out).split('\n');
        const QStringList sent = SplitTextLines(QString::fromLatin1(expected.Content));
        QCOMPARE(lines.value(1), sent.value(expected.Candidates[1].LineNumber - 1));

        const TRun start = cli.Run({ "startfrom", RunIp("20.3"), "1" });
        QCOMPARE(start.ExitCode, 0);
        QCOMPARE(QString::fromUtf8(start.Out),
            QString::fromUtf8(
                "Devam ettirme başlatıldı (CNC'den XON bekleniyor): 2 komut cihaz tarafından onaylandı\n"));
        QTRY_VERIFY(cli.Run({ "status", RunIp("20.3") }).Out.contains("\"xfer_status\":\"send\""));
    }

    void rawRoundTripAndCapture()
    {
        const quint16 statusPort = FreeUdpPort();
        TSimulation sim(statusPort,
            { QString("ip=%1").arg(RunIp("20.4")),
                QString("ip=%1,capture=%2").arg(RunIp("20.5"), QUILLEX_FIXTURES "/cmt/two-programs.cmt") });
        QVERIFY(sim.Ready());
        TCli cli(statusPort);
        QByteArray random(300000, Qt::Uninitialized);
        QRandomGenerator(11).fillRange(reinterpret_cast<quint32*>(random.data()), random.size() / 4);
        QString error;
        QVERIFY(WriteWholeFile(cli.File("random.bin"), random, error));
        QCOMPARE(cli.Run({ "upload", RunIp("20.4"), cli.File("random.bin"), "--raw" }).ExitCode, 0);
        const TRun download = cli.Run({ "download", RunIp("20.4") });
        QCOMPARE(download.ExitCode, 0);
        QCOMPARE(download.Out, random);

        const TRun capture = cli.Run({ "download", RunIp("20.5"), "-o", cli.File("capture.bin") });
        QCOMPARE(capture.ExitCode, 0);
        QVERIFY(capture.Err.contains(QString::fromUtf8("Ham (RAW) kayıt alındı")));
        QCOMPARE(FileBytes(cli.File("capture.bin")), FileBytes(QUILLEX_FIXTURES "/cmt/two-programs.cmt"));
    }

    void batchAgainstSplitReplies()
    {
        // The simulator sends its replies a byte at a time; replies to lines
        // that arrived together still come in order ("OK\nOK\n", never "OOKK").
        const quint16 statusPort = FreeUdpPort();
        TSimulation sim(statusPort, { QString("ip=%1,name=Parca,split=1").arg(RunIp("20.12")) });
        QVERIFY(sim.Ready());
        TCli cli(statusPort);
        const TRun send = cli.Run({ "send", RunIp("20.12"), "BR19200", "PARITYE", "XOFFTO5" });
        QCOMPARE(send.ExitCode, 0);
        QCOMPARE(QString::fromUtf8(send.Out), QString::fromUtf8("4 komut cihaz tarafından onaylandı\n"));
    }

    void configureAndPin()
    {
        const quint16 statusPort = FreeUdpPort();
        TSimulation sim(statusPort, { QString("ip=%1,name=Eski").arg(RunIp("20.6")) });
        QVERIFY(sim.Ready());
        TCli cli(statusPort);
        TRun send = cli.Run({ "send", RunIp("20.6"), "NAME&Torna 3", "BR19200", "PARITYE" });
        QCOMPARE(send.ExitCode, 0);
        QCOMPARE(QString::fromUtf8(send.Out), QString::fromUtf8("4 komut cihaz tarafından onaylandı\n"));
        QTRY_VERIFY(cli.Run({ "status", RunIp("20.6") }).Out.contains("\"name\":\"Torna 3\""));
        const QByteArray status = cli.Run({ "status", RunIp("20.6") }).Out;
        QVERIFY(status.contains("\"baud\":19200") && status.contains("\"parity\":\"E\""));

        send = cli.Run({ "send", RunIp("20.6"), "BR12345" });
        QCOMPARE(send.ExitCode, 1);
        QCOMPARE(send.Err, QString("Hata: bad baud rate\n"));

        // Set a PIN; from then on the device wants it.
        QCOMPARE(cli.Run({ "send", RunIp("20.6"), "SETPIN&2468" }).ExitCode, 0);
        QTRY_VERIFY(cli.Run({ "status", RunIp("20.6") }).Out.contains("\"pw\":true"));
        send = cli.Run({ "send", RunIp("20.6"), "BR9600" });
        QCOMPARE(send.ExitCode, 3); // no terminal to ask, no stored PIN
        send = cli.Run({ "--pin", "1111", "send", RunIp("20.6"), "BR9600" });
        QCOMPARE(send.ExitCode, 3);
        QCOMPARE(send.Err, QString::fromUtf8("Hata: Cihaz şifreyi kabul etmedi\n"));
        send = cli.Run({ "--pin", "2468", "--save-pin", "send", RunIp("20.6"), "BR9600" });
        QCOMPARE(send.ExitCode, 0);
        QCOMPARE(QString::fromUtf8(send.Out), QString::fromUtf8("3 komut cihaz tarafından onaylandı\n"));
        // The accepted PIN was stored protected; later commands find it.
        QVERIFY(!FileBytes(cli.File("quillex_settings.ini")).contains("2468"));
        QCOMPARE(cli.Run({ "download", RunIp("20.6") }).ExitCode, 1); // nothing stored, but the PIN passed
        QCOMPARE(cli.Run({ "send", RunIp("20.6"), "CLEARPIN" }).ExitCode, 0);
        QTRY_VERIFY(cli.Run({ "status", RunIp("20.6") }).Out.contains("\"pw\":false"));
    }

    void storedPinOnlyForItsAddress()
    {
        // The stored PIN goes on its own only to the address that accepted it,
        // and to neither sender once another one announces the same macid (a
        // forged status); a PIN given explicitly still serves.
        const QString real = RunIp("20.10"), other = RunIp("20.11");
        const quint16 statusPort = FreeUdpPort();
        TSimulation alone(statusPort, { QString("ip=%1,macid=AA:BB:CC:00:00:01,pin=2468").arg(real) });
        QVERIFY(alone.Ready());
        TCli cli(statusPort);
        QCOMPARE(cli.Run({ "--pin", "2468", "--save-pin", "send", real, "BR9600" }).ExitCode, 0);
        QCOMPARE(cli.Run({ "send", real, "BR9600" }).ExitCode, 0);
        TSimulation forger(statusPort, { QString("ip=%1,macid=AA:BB:CC:00:00:01,pin=2468").arg(other) });
        QVERIFY(forger.Ready());
        for (const QString& ip : { other, real }) {
            const TRun send = cli.Run({ "send", ip, "BR9600" });
            QCOMPARE(send.ExitCode, 3);
            QVERIFY2(send.Err.contains("no terminal to ask"), qPrintable(send.Err));
        }
        QCOMPARE(cli.Run({ "--pin", "2468", "send", other, "BR9600" }).ExitCode, 0);
        QCOMPARE(cli.Run({ "--pin", "2468", "send", real, "BR9600" }).ExitCode, 0);
    }

    void refusalsAndLimits()
    {
        const quint16 statusPort = FreeUdpPort();
        TSimulation sim(statusPort,
            { QString("ip=%1,refuse=busy").arg(RunIp("20.7")),
                QString("ip=%1,maxfilesize=100,build=400,hw=HW2").arg(RunIp("20.8")),
                QString("ip=%1,nostatus=1").arg(RunIp("20.9")) });
        QVERIFY(sim.Ready());
        TCli cli(statusPort);
        const QString program = ProgramOverHundredBytes(cli);
        TRun run = cli.Run({ "upload", RunIp("20.7"), program });
        QCOMPARE(run.ExitCode, 1);
        QVERIFY(run.Err.endsWith("Hata: ERR busy\n"));
        run = cli.Run({ "upload", RunIp("20.8"), program });
        QCOMPARE(run.ExitCode, 1);
        QCOMPARE(run.Err, QString("Hata: Dosya sikistirilmis haliyle bile cihazin 100 bayt sinirina sigmiyor\n"));
        run = cli.Run({ "upload", RunIp("20.9"), program });
        QCOMPARE(run.ExitCode, 1);
        QVERIFY(run.Err.startsWith("Cihazdan henuz durum bilgisi alinamadi"));
        run = cli.Run({ "download", RunIp("20.8") });
        QCOMPARE(run.ExitCode, 1);
        QCOMPARE(run.Err, QString::fromUtf8("Hata: QUILLEX'de kayıtlı dosya yok\n"));
    }

    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("no command") << QStringList {};
        QTest::newRow("unknown command") << QStringList { "fly" };
        QTest::newRow("upload without file") << QStringList { "upload", "127.0.0.1" };
        QTest::newRow("bad pin") << QStringList { "--pin", "12", "send", "127.0.0.1", "X" };
        QTest::newRow("peek without number") << QStringList { "peek", "127.0.0.1", "x" };
        QTest::newRow("devices bad option") << QStringList { "devices", "--listen", "forever" };
    }
    void usageErrors()
    {
        QFETCH(QStringList, args);
        TCli cli(FreeUdpPort());
        const TRun run = cli.Run(args);
        QCOMPARE(run.ExitCode, 2);
        QCOMPARE(run.Err.count('\n'), 1);
    }

    void helpTexts()
    {
        TCli cli(FreeUdpPort());
        QCOMPARE(cli.Run({ "--help" }).ExitCode, 0);
        for (const char* command :
            { "devices", "status", "upload", "download", "send", "index", "peek", "startfrom" }) {
            const TRun run = cli.Run({ command, "--help" });
            QCOMPARE(run.ExitCode, 0);
            QVERIFY(run.Out.contains("Example: quillex-cli " + QByteArray(command)));
        }
    }

    void malformedStatusKeyIsAnError()
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QUILLEX_STATUS_KEY", "1234");
        process.setProcessEnvironment(env);
        process.start(QUILLEX_CLI, { "devices", "--listen", "0" });
        QVERIFY(process.waitForFinished(5000));
        QCOMPARE(process.exitCode(), 2);
        QVERIFY(process.readAllStandardError().contains("QUILLEX_STATUS_KEY"));
    }
};

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
