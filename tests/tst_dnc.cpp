// quillex-dnc as a process against quillex-devsim devices on loopback: files
// dropped, written slowly, renamed in, for an offline device, for a device
// that refuses the PIN, across a stop and a restart, and the history it shares
// with two workstations on one PostgreSQL server.
#include "CliProcess.h"
#include "Loopback.h"
#include "PostgresServer.h"
#include "StatusDatagram.h"

#include "document/ProgramDocument.h"
#include "history/HistoryStore.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>
#include <QUuid>

namespace {

const QByteArray Program = "%\nO1000 (DNC)\nG21 G90\nT1 M6\nG0 X10 Y10\nT2 M6\nG1 X20 F100\nM30\n%\n";

QByteArray ProgramNumbered(int n)
{
    QByteArray text = Program;
    return text.replace("O1000", "O" + QByteArray::number(n));
}

// What the window would store on a FANUC device for the file.
QByteArray Prepared(const QByteArray& file)
{
    return PrepareFileForUpload(file, false).Content;
}

bool WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QStringList Names(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}

// The folder service of one test: its own settings file, history and root,
// the environment of the command line of the same test (stored PINs, status port).
class TDncRun {
public:
    explicit TDncRun(quint16 statusPort, double stableSeconds = 0.2)
        : Cli(statusPort)
    {
        Set("Dnc/Root", Root());
        Set("Dnc/StableSeconds", stableSeconds);
    }
    QString Root() const { return Cli.File("dnc"); }
    QString Folder(const QString& device, const char* sub = nullptr) const
    {
        const QString folder = QDir(Root()).filePath(device);
        return sub ? QDir(folder).filePath(QString::fromUtf8(sub)) : folder;
    }
    void Set(const QString& key, const QVariant& value) const
    {
        QSettings settings(Cli.File("quillex_settings.ini"), QSettings::IniFormat);
        settings.setValue(key, value);
    }
    TRun Once(double listenSeconds = 1.5) const
    {
        QProcess process;
        Start(process, { "--once", "--listen", QString::number(listenSeconds) });
        return TCli::Finish(process, 60000);
    }
    void Start(QProcess& process, const QStringList& args = {}) const
    {
        process.setProcessEnvironment(Cli.Environment());
        process.setStandardInputFile(QProcess::nullDevice());
        process.start(QUILLEX_DNC, args);
    }
    // The stored program of the device, through quillex-cli (which needs the
    // status port: not while a service of the same run listens on it).
    QByteArray Stored(const QString& ip) const
    {
        const QString out = Cli.File(QString("stored-%1").arg(ip));
        QFile::remove(out);
        if (Cli.Run({ "download", ip, "-o", out }).ExitCode != 0)
            return {};
        QFile file(out);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    // The uploads in the history, newest first (the downloads of Stored left out).
    QList<TTransferRecord> History() const
    {
        THistoryStore store;
        QString error;
        QList<TTransferRecord> records;
        if (store.Open(Cli.HistoryFile(), error))
            store.List({}, records, error);
        records.removeIf([](const TTransferRecord& r) { return r.Kind != TTransferKind::Upload; });
        return records;
    }
    TCli Cli;
};

// Reads a running service's output as it comes.
struct TOutput {
    explicit TOutput(QProcess& process)
        : FConnection(QObject::connect(&process, &QProcess::readyReadStandardOutput,
            [this, &process] { Text += QString::fromUtf8(process.readAllStandardOutput()); }))
    {
    }
    ~TOutput() { QObject::disconnect(FConnection); }
    TOutput(const TOutput&) = delete;
    TOutput& operator=(const TOutput&) = delete;
    QString Text;

private:
    QMetaObject::Connection FConnection;
};

} // namespace

class TestDnc : public QObject {
    Q_OBJECT
    std::unique_ptr<TPostgresServer> FServer;

private slots:
    void droppedFilesReachTheirDevices()
    {
        const quint16 port = FreeUdpPort();
        const QString turning = RunIp("31.1"), milling = RunIp("31.2");
        TSimulation sim(port, { "ip=" + turning + ",name=Torna 1", "ip=" + milling + ",name=Freze/2" });
        QVERIFY(sim.Ready());
        TDncRun dnc(port);
        // A first run makes the folders of the devices heard.
        const TRun first = dnc.Once();
        QVERIFY2(first.ExitCode == 0, first.Out.constData());
        QVERIFY(QFileInfo(dnc.Folder("Torna 1", "işleniyor")).isDir());
        QVERIFY2(QFileInfo(dnc.Folder("Freze_2")).isDir(), first.Out.constData()); // no '/' in a folder name

        QVERIFY(WriteFile(dnc.Folder("Torna 1") + "/O1001.nc", ProgramNumbered(1001)));
        QVERIFY(WriteFile(dnc.Folder("Freze_2") + "/O2002.nc", ProgramNumbered(2002)));
        QVERIFY(WriteFile(dnc.Folder("Freze_2") + "/.O2003.nc.swp", "not a program"));
        const TRun run = dnc.Once();
        QVERIFY2(run.ExitCode == 0, run.Out.constData());

        QCOMPARE(dnc.Stored(turning), Prepared(ProgramNumbered(1001)));
        QCOMPARE(dnc.Stored(milling), Prepared(ProgramNumbered(2002)));
        const QStringList sent = Names(dnc.Folder("Torna 1", "gönderildi"));
        QCOMPARE(sent.size(), 1);
        QVERIFY2(
            QRegularExpression("^O1001_\\d{8}-\\d{6}\\.nc$").match(sent.first()).hasMatch(), qPrintable(sent.first()));
        QCOMPARE(Names(dnc.Folder("Torna 1")), QStringList());
        QCOMPARE(Names(dnc.Folder("Freze_2")), QStringList()); // the hidden file is left alone
        QVERIFY(QFile::exists(dnc.Folder("Freze_2") + "/.O2003.nc.swp"));
        QCOMPARE(Names(dnc.Folder("Torna 1", "işleniyor")), QStringList());

        const QList<TTransferRecord> records = dnc.History();
        QCOMPARE(records.size(), 2);
        for (const TTransferRecord& r : records) {
            QVERIFY(r.Success);
            QCOMPARE(r.Verification, QString("verified"));
            QVERIFY(r.FileName.endsWith(r.IPAddress == turning ? "O1001.nc" : "O2002.nc"));
        }
        // Nothing is sent twice: a run with nothing waiting records nothing.
        QCOMPARE(dnc.Once().ExitCode, 0);
        QCOMPARE(dnc.History().size(), 2);
    }

    void slowWriterAndRenameIn()
    {
        const quint16 port = FreeUdpPort();
        const QString ip = RunIp("32.1");
        const QString save
            = QDir::temp().filePath(QString("dnc-save-%1").arg(QUuid::createUuid().toString(QUuid::Id128)));
        TSimulation sim(port, { "ip=" + ip + ",name=Torna 3,save=" + save });
        QVERIFY(sim.Ready());
        TDncRun dnc(port, 0.5);
        QProcess service;
        TOutput output(service);
        dnc.Start(service);
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(dnc.Folder("Torna 3")).isDir(), 10000);

        // Written in two halves with a pause three times the stable time: not sent while open.
        const QByteArray slow = ProgramNumbered(3001);
        {
            QFile file(dnc.Folder("Torna 3") + "/O3001.nc");
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(slow.left(20));
            file.flush();
            QTest::qWait(1500);
            QVERIFY2(!QFile::exists(save), qPrintable(output.Text));
            QCOMPARE(Names(dnc.Folder("Torna 3", "işleniyor")), QStringList());
            file.write(slow.mid(20));
        }
        // Written under a temporary name, then renamed into place.
        const QByteArray renamed = ProgramNumbered(3002);
        QVERIFY(WriteFile(dnc.Folder("Torna 3") + "/O3002.nc.part", renamed));
        QTest::qWait(800);
        QVERIFY(QFile::rename(dnc.Folder("Torna 3") + "/O3002.nc.part", dnc.Folder("Torna 3") + "/O3002.nc"));

        QTRY_COMPARE_WITH_TIMEOUT(Names(dnc.Folder("Torna 3", "gönderildi")).size(), 2, 20000);
        service.terminate();
        QVERIFY(service.waitForFinished(10000));
        QCOMPARE(service.exitCode(), 0);
        QCOMPARE(dnc.Stored(ip), Prepared(renamed)); // arrival order: the renamed file last
        QStringList order;
        const QList<TTransferRecord> records = dnc.History(); // newest first
        for (const TTransferRecord& r : records)
            order << QFileInfo(r.FileName).fileName();
        QCOMPARE(order, QStringList({ "O3002.nc", "O3001.nc" }));
        QFile::remove(save);
        QFile::remove(save + ".index");
    }

    void offlineDeviceRetriedOthersGoOn()
    {
        const quint16 port = FreeUdpPort();
        const QString offline = RunIp("33.1"), online = RunIp("33.2");
        const QString mac = "02:51:58:00:33:01";
        TSimulation sim(port, { "ip=" + online + ",name=Freze 4" });
        QVERIFY(sim.Ready());
        // Heard, but nothing answers on its ports.
        QUdpSocket sender;
        QVERIFY(sender.bind(QHostAddress(offline), 0));
        const QByteArray datagram
            = StatusDatagram(QString(R"({"name":"Torna 7","macid":"%1","controller":"FANUC",)"
                                     R"("hw":"HW4","build":512,"maxfilesize":33554432,"pw":false})")
                                 .arg(mac)
                                 .toLatin1());
        QTimer beat;
        QObject::connect(
            &beat, &QTimer::timeout, [&] { sender.writeDatagram(datagram, QHostAddress::LocalHost, port); });
        beat.start(200);

        TDncRun dnc(port);
        QProcess service;
        TOutput output(service);
        dnc.Start(service);
        QTRY_VERIFY_WITH_TIMEOUT(
            QFileInfo(dnc.Folder("Torna 7")).isDir() && QFileInfo(dnc.Folder("Freze 4")).isDir(), 10000);
        QVERIFY(WriteFile(dnc.Folder("Torna 7") + "/O7001.nc", ProgramNumbered(7001)));
        QTRY_VERIFY_WITH_TIMEOUT(output.Text.contains("yeniden denenecek"), 10000);
        // The other device is not held up meanwhile.
        QVERIFY(WriteFile(dnc.Folder("Freze 4") + "/O4001.nc", ProgramNumbered(4001)));
        QTRY_COMPARE_WITH_TIMEOUT(Names(dnc.Folder("Freze 4", "gönderildi")).size(), 1, 10000);
        QCOMPARE(Names(dnc.Folder("Torna 7", "gönderildi")), QStringList());

        // The device comes up: the file goes with the next attempt.
        beat.stop();
        TSimulation late(port, { "ip=" + offline + ",name=Torna 7,macid=" + mac });
        QVERIFY(late.Ready());
        QTRY_COMPARE_WITH_TIMEOUT(Names(dnc.Folder("Torna 7", "gönderildi")).size(), 1, 30000);
        service.terminate();
        QVERIFY(service.waitForFinished(10000));
        QCOMPARE(dnc.Stored(offline), Prepared(ProgramNumbered(7001)));
        QCOMPARE(Names(dnc.Folder("Torna 7", "hata")), QStringList());
        QCOMPARE(dnc.History().size(), 2); // one record per send, none per attempt
    }

    void pinOfTheDevice_data()
    {
        QTest::addColumn<bool>("stored");
        QTest::newRow("no PIN stored: set aside") << false;
        QTest::newRow("the stored PIN") << true;
    }
    void pinOfTheDevice()
    {
        QFETCH(bool, stored);
        const quint16 port = FreeUdpPort();
        const QString ip = RunIp(stored ? "34.2" : "34.1");
        TSimulation sim(port, { "ip=" + ip + ",name=Torna 5,pin=4321" });
        QVERIFY(sim.Ready());
        TDncRun dnc(port);
        if (stored) {
            const TRun save = dnc.Cli.Run({ "index", ip, "--pin", "4321", "--save-pin" });
            QVERIFY2(save.ExitCode == 0, qPrintable(save.Err));
        }
        QDir().mkpath(dnc.Folder("Torna 5"));
        QVERIFY(WriteFile(dnc.Folder("Torna 5") + "/O5001.nc", ProgramNumbered(5001)));
        const TRun run = dnc.Once();
        QCOMPARE(run.ExitCode, stored ? 0 : 1);
        QCOMPARE(Names(dnc.Folder("Torna 5", "gönderildi")).size(), stored ? 1 : 0);
        const QStringList failed = Names(dnc.Folder("Torna 5", "hata"));
        if (stored) {
            QCOMPARE(failed, QStringList());
            QCOMPARE(dnc.Stored(ip), Prepared(ProgramNumbered(5001)));
            return;
        }
        QCOMPARE(failed.size(), 2); // the file and its reason
        QVERIFY(failed[1] == failed[0] + ".txt");
        QFile reason(dnc.Folder("Torna 5", "hata") + "/" + failed[1]);
        QVERIFY(reason.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(reason.readAll());
        QVERIFY2(text.contains(QString::fromUtf8("Torna 5 şifre istiyor")), qPrintable(text));
        QVERIFY2(text.contains("Dosya: O5001.nc"), qPrintable(text));
        QFile copy(dnc.Folder("Torna 5", "hata") + "/" + failed[0]);
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), ProgramNumbered(5001)); // set aside unchanged
        const QList<TTransferRecord> records = dnc.History();
        QCOMPARE(records.size(), 1);
        QVERIFY(!records.first().Success);
    }

    // A stop in the middle: a file left in işleniyor/ is sent again only when
    // the device does not hold it, and its history record is written once.
    void restartAfterStop_data()
    {
        QTest::addColumn<bool>("onDevice");
        QTest::newRow("stored before the stop") << true;
        QTest::newRow("not stored before the stop") << false;
    }
    void restartAfterStop()
    {
        QFETCH(bool, onDevice);
        const quint16 port = FreeUdpPort();
        const QString ip = RunIp(onDevice ? "35.1" : "35.2");
        QTemporaryDir dir;
        const QString save = dir.filePath("saved"), program = dir.filePath("program");
        const QByteArray bytes = ProgramNumbered(6001);
        QVERIFY(WriteFile(program, onDevice ? Prepared(bytes) : Prepared(ProgramNumbered(6000))));
        TSimulation sim(port, { "ip=" + ip + ",name=Torna 6,program=" + program + ",save=" + save });
        QVERIFY(sim.Ready());
        TDncRun dnc(port);
        const QString uid = QUuid::createUuid().toString(QUuid::WithoutBraces);
        QDir().mkpath(dnc.Folder("Torna 6", "işleniyor"));
        QVERIFY(WriteFile(dnc.Folder("Torna 6", "işleniyor") + "/" + uid + "_O6001.nc", bytes));
        if (onDevice) { // the record was written before the stop
            THistoryStore store;
            QString error;
            QVERIFY2(store.Open(dnc.Cli.HistoryFile(), error), qPrintable(error));
            TTransferRecord record = NewTransferRecord(TTransferKind::Upload, "Torna 6", ip, {});
            record.Uid = uid;
            record.Time = QDateTime::currentDateTimeUtc();
            record.Success = true;
            QVERIFY2(store.Add(record, error), qPrintable(error));
        }
        const TRun run = dnc.Once();
        QVERIFY2(run.ExitCode == 0, run.Out.constData());
        QCOMPARE(QFile::exists(save), !onDevice); // an upload only when the device lacked it
        QCOMPARE(dnc.Stored(ip), Prepared(bytes));
        QCOMPARE(Names(dnc.Folder("Torna 6", "gönderildi")).size(), 1);
        QCOMPARE(Names(dnc.Folder("Torna 6", "işleniyor")), QStringList());
        const QList<TTransferRecord> records = dnc.History();
        QCOMPARE(records.size(), 1);
        QCOMPARE(records.first().Uid, uid);
    }

    void sigtermFinishesTheSendInProgress()
    {
        const quint16 port = FreeUdpPort();
        const QString ip = RunIp("36.1");
        // Erasing 64 KiB a second: the upload of this program takes about two seconds.
        TSimulation sim(port, { "ip=" + ip + ",name=Torna 8,erase=65536" });
        QVERIFY(sim.Ready());
        QByteArray big = "%\nO8001\n";
        while (big.size() < 150000)
            big += "G1 X" + QByteArray::number(big.size() % 1000) + " Y1.5 F200\n";
        big += "M30\n%\n";
        TDncRun dnc(port);
        QDir().mkpath(dnc.Folder("Torna 8"));
        QProcess service;
        TOutput output(service);
        dnc.Start(service);
        QVERIFY(WriteFile(dnc.Folder("Torna 8") + "/O8001.nc", big));
        QTRY_VERIFY_WITH_TIMEOUT(output.Text.contains(QString::fromUtf8("gönderiliyor")), 15000);
        service.terminate();
        QVERIFY(service.waitForFinished(60000));
        QCOMPARE(service.exitStatus(), QProcess::NormalExit);
        QCOMPARE(service.exitCode(), 0);
        QCOMPARE(Names(dnc.Folder("Torna 8", "gönderildi")).size(), 1);
        QCOMPARE(dnc.Stored(ip), Prepared(big));
        QCOMPARE(dnc.History().size(), 1);
    }

    // Two workstations and the folder service write one shared history.
    void sharedHistoryWithTwoWorkstations()
    {
        qputenv("QUILLEX_HISTORY_PASSWORD", TPostgresServer::Password);
        FServer = std::make_unique<TPostgresServer>();
        QUILLEX_REQUIRE_POSTGRES(*FServer);
        const quint16 port = FreeUdpPort();
        const QString ip = RunIp("37.1");
        TSimulation sim(port, { "ip=" + ip + ",name=Torna 9" });
        QVERIFY(sim.Ready());
        TCli first(port), second(port);
        TDncRun dnc(port);
        for (const TCli* cli : { &first, &second, &dnc.Cli }) {
            QSettings settings(cli->File("quillex_settings.ini"), QSettings::IniFormat);
            settings.setValue("History/Database", FServer->Location());
        }
        for (const TCli* cli : { &first, &second }) {
            QVERIFY(WriteFile(cli->File("O9001.nc"), ProgramNumbered(9001)));
            const TRun run = cli->Run({ "upload", ip, cli->File("O9001.nc"), "--verify" });
            QVERIFY2(run.ExitCode == 0, qPrintable(run.Err));
        }
        QDir().mkpath(dnc.Folder("Torna 9"));
        QVERIFY(WriteFile(dnc.Folder("Torna 9") + "/O9002.nc", ProgramNumbered(9002)));
        const TRun run = dnc.Once();
        QVERIFY2(run.ExitCode == 0, run.Out.constData());
        QCOMPARE(dnc.Once().ExitCode, 0); // nothing more

        THistoryStore server;
        QString error;
        QVERIFY2(server.Open(FServer->Location(), error), qPrintable(error));
        QList<TTransferRecord> records;
        QVERIFY2(server.List({}, records, error), qPrintable(error));
        QStringList files;
        for (const TTransferRecord& r : records)
            files << QFileInfo(r.FileName).fileName() + (r.Verification == "verified" ? "" : " unverified");
        files.sort();
        QCOMPARE(files, QStringList({ "O9001.nc", "O9001.nc", "O9002.nc" }));
        const TRun machines = first.Run({ "machines" });
        QVERIFY2(machines.Out.contains("O9002.nc"), machines.Out.constData()); // the service's send is the last
    }
};

QTEST_GUILESS_MAIN(TestDnc)
#include "tst_dnc.moc"
