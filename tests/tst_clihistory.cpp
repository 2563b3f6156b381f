// quillex-cli's transfer history against quillex-devsim: every operation kind
// ends as one row whose fingerprints are those of the bytes the device stored,
// gave back or received as command lines; the history verb's filters and
// formats; and a history that cannot be written leaving the exit code alone.
#include "Loopback.h"
#include "content/TextDocument.h"
#include "document/ProgramDocument.h"
#include "history/HistoryFormat.h"
#include "history/HistoryStore.h"
#include "history/TransferRecord.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSysInfo>
#include <QTest>

#include "CliProcess.h"
#include "TestUtil.h"
#include "Unprivileged.h"

namespace {

// The simulator with its command log, for the lines the devices received.
class TLoggedSimulation {
public:
    TLoggedSimulation(quint16 statusPort, const QStringList& devices)
    {
        QStringList args { "--command-log", "--target", QString("127.0.0.1:%1").arg(statusPort) };
        for (const QString& d : devices)
            args << "--device" << d + ",interval=200";
        FProcess.start(QUILLEX_DEVSIM, args);
        FReady = FProcess.waitForReadyRead(5000);
        while (FReady && !FLog.contains("ready") && FProcess.waitForReadyRead(2000))
            FLog += FProcess.readAllStandardOutput();
        FLog += FProcess.readAllStandardOutput();
        FReady = FReady && FLog.contains("ready");
    }
    ~TLoggedSimulation()
    {
        FProcess.terminate();
        if (!FProcess.waitForFinished(2000))
            FProcess.kill();
    }
    bool Ready() const { return FReady; }
    // The command lines the device at ip received, login and PIN lines left out.
    QStringList Commands(const QString& ip)
    {
        FProcess.waitForReadyRead(200);
        FLog += FProcess.readAllStandardOutput();
        QStringList lines;
        const QString prefix = ip + ": ";
        for (const QString& line : QString::fromLatin1(FLog).split('\n'))
            if (line.startsWith(prefix) && !line.mid(prefix.size()).startsWith("PIN&")
                && !line.mid(prefix.size()).startsWith("LOGIN"))
                lines << line.mid(prefix.size());
        return lines;
    }

private:
    QProcess FProcess;
    QByteArray FLog;
    bool FReady = false;
};

TTransferRecord Fingerprint(const QByteArray& bytes)
{
    TTransferRecord r;
    SetRecordBytes(r, bytes);
    return r;
}

QJsonArray History(const TCli& cli, const QStringList& extra = {})
{
    const TRun run = cli.Run(QStringList { "history", "--json" } + extra);
    if (run.ExitCode != 0)
        qWarning("history failed: %s", qPrintable(run.Err));
    return QJsonDocument::fromJson(run.Out).array();
}

} // namespace

class TestCliHistory : public QObject {
    Q_OBJECT
private slots:
    void everyOperationKindWithItsFingerprints()
    {
        QUILLEX_REQUIRE_CORPUS();
        const quint16 statusPort = FreeUdpPort();
        const QString ip = RunIp("40.1");
        TLoggedSimulation sim(statusPort, { QString("ip=%1,name=Torna 4,hw=HW4,pin=4321").arg(ip) });
        QVERIFY(sim.Ready());
        TCli cli(statusPort);
        const QHash<QString, QString> pin { { "QUILLEX_PIN", "4321" } };
        const QString program = QStringLiteral(QUILLEX_GCODE_DATA "/gsender/examples/gcode/toolchange.nc");
        const QByteArray stored = PrepareFileForUpload(FileBytes(program), false).Content;

        QCOMPARE(cli.Run({ "upload", ip, program, "--verify" }, {}, pin).ExitCode, 0);
        QCOMPARE(cli.Run({ "download", ip, "-o", cli.File("back.nc") }, {}, pin).ExitCode, 0);
        QCOMPARE(cli.Run({ "send", ip, "NAME&Torna 9", "BR19200" }, {}, pin).ExitCode, 0);
        QCOMPARE(cli.Run({ "startfrom", ip, "1" }, {}, pin).ExitCode, 0);
        const QByteArray back = FileBytes(cli.File("back.nc"));
        QCOMPARE(back, stored); // the device gave back what it stored
        const QStringList received = sim.Commands(ip);
        QCOMPARE(received.mid(received.size() - 3), QStringList({ "NAME&Torna 9", "BR19200", "STARTFROM1" }));

        const QJsonArray rows = History(cli);
        QCOMPARE(rows.size(), 4);
        struct TExpected {
            const char* Kind;
            QByteArray Bytes;
            QString File;
            QString Commands;
            QString Message;
        };
        const TExpected expected[] = {
            { "upload", stored, QFileInfo(program).absoluteFilePath(), "", "OK" },
            { "download", back, cli.File("back.nc"), "", "" },
            { "settings", received.mid(received.size() - 3, 2).join('\n').toLatin1() + '\n', "",
                "NAME&Torna 9\nBR19200", "" },
            { "startfrom", received.last().toLatin1() + '\n', "", "STARTFROM1",
                QString::fromUtf8("Devam ettirme başlatıldı (CNC'den XON bekleniyor): ") },
        };
        QDateTime previous;
        for (int i = 0; i < 4; ++i) {
            const QJsonObject row = rows[i].toObject();
            const TTransferRecord wire = Fingerprint(expected[i].Bytes);
            QCOMPARE(row["kind"].toString(), expected[i].Kind);
            QCOMPARE(row["outcome"].toString(), "ok");
            QCOMPARE(row["ip"].toString(), ip);
            QVERIFY(!row["macid"].toString().isEmpty());
            QCOMPARE(row["macid"], rows[0]["macid"]);
            QCOMPARE(row["device"].toString(), i < 3 ? "Torna 4" : "Torna 9"); // the batch renamed it
            QCOMPARE(row["bytes"].toInteger(), expected[i].Bytes.size());
            QCOMPARE(row["crc32"].toString(), wire.Crc32);
            QCOMPARE(row["sha256"].toString(), wire.Sha256);
            QCOMPARE(row["file"].toString(), expected[i].File);
            QCOMPARE(row["commands"].toString(), expected[i].Commands);
            QVERIFY2(row["message"].toString().startsWith(expected[i].Message), qPrintable(row["message"].toString()));
            QCOMPARE(row["verification"].toString(), i == 0 ? QString("verified") : QString());
            QCOMPARE(row["user"].toString(), CurrentUserName());
            QCOMPARE(row["host"].toString(), QSysInfo::machineHostName());
            QVERIFY(row["duration_ms"].toInteger() >= 0);
            const QDateTime time = QDateTime::fromString(row["time"].toString(), Qt::ISODateWithMs);
            QVERIFY(time.isValid() && time.timeSpec() == Qt::UTC);
            QVERIFY(qAbs(time.secsTo(QDateTime::currentDateTimeUtc())) < 120);
            QVERIFY(!previous.isValid() || previous <= time); // oldest first
            previous = time;
        }
    }

    void failuresAreRecordedAndKeepTheirExitCode()
    {
        const quint16 statusPort = FreeUdpPort();
        const QString ip = RunIp("40.2");
        TLoggedSimulation sim(statusPort, { QString("ip=%1,refuse=busy").arg(ip) });
        QVERIFY(sim.Ready());
        TCli cli(statusPort);
        const TRun send = cli.Run({ "send", ip, "BR9600" });
        QCOMPARE(send.ExitCode, 1);
        const QJsonArray rows = History(cli);
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0]["kind"].toString(), "settings");
        QCOMPARE(rows[0]["outcome"].toString(), "failed");
        QVERIFY2(rows[0]["message"].toString().startsWith("Hata: ") && rows[0]["message"].toString().contains("busy"),
            qPrintable(rows[0]["message"].toString()));
        QVERIFY2(send.Err.contains(rows[0]["message"].toString()), qPrintable(send.Err));
    }

    // A stored copy that differs from what was sent: the upload row keeps the
    // mismatch, and the message printed names the first differing byte.
    void readBackMismatchIsRecorded()
    {
        const quint16 statusPort = FreeUdpPort();
        const QString ip = RunIp("40.6");
        TLoggedSimulation sim(statusPort, { QString("ip=%1,alter=3").arg(ip) });
        QVERIFY(sim.Ready());
        TCli cli(statusPort);
        QString error;
        QVERIFY(WriteWholeFile(cli.File("O2.nc"), "G1 X5\nM30\n", error));
        const TRun run = cli.Run({ "upload", ip, cli.File("O2.nc"), "--verify" });
        QCOMPARE(run.ExitCode, 1);
        QVERIFY2(run.Err.contains(QString::fromUtf8("ilk fark 4. baytta")), qPrintable(run.Err));
        const QJsonArray rows = History(cli);
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0]["kind"].toString(), "upload");
        QCOMPARE(rows[0]["verification"].toString(), "mismatch");
    }

    // A history folder that cannot be made: the operations run, one line says so.
    void unusableHistoryCostsOneLine()
    {
        const quint16 statusPort = FreeUdpPort();
        const QString ip = RunIp("40.3");
        TLoggedSimulation sim(statusPort, { QString("ip=%1,index=5:0").arg(ip) });
        QVERIFY(sim.Ready());
        TCli cli(statusPort);
        QFile blocker(cli.File("blocked"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        const QHash<QString, QString> env { { "XDG_DATA_HOME", cli.File("blocked") } };
        const TRun ok = cli.Run({ "startfrom", ip, "0" }, {}, env);
        QCOMPARE(ok.ExitCode, 0);
        QCOMPARE(ok.Err.count(QString::fromUtf8("aktarım geçmişi kaydedilemedi")), 1);
        const TRun json = cli.Run({ "send", ip, "NAME&Bad!", "--json" }, {}, env);
        QCOMPARE(json.ExitCode, 1);
        QCOMPARE(json.Err.count(QString::fromUtf8("aktarım geçmişi kaydedilemedi")), 1);
        QCOMPARE(QJsonDocument::fromJson(json.Out).object()["ok"].toBool(), false);
    }

    void historyVerbFiltersAndFormats()
    {
        const quint16 statusPort = FreeUdpPort();
        const QString a = RunIp("40.4"), b = RunIp("40.5");
        TLoggedSimulation sim(
            statusPort, { QString("ip=%1,name=A,index=5:0").arg(a), QString("ip=%1,name=B,index=5:0").arg(b) });
        QVERIFY(sim.Ready());
        TCli cli(statusPort);
        QCOMPARE(cli.Run({ "history" }).Out, QByteArray()); // nothing yet, and no file made for asking
        QVERIFY(!QFile::exists(cli.HistoryFile()));
        for (const QString& ip : { a, b, a })
            QCOMPARE(cli.Run({ "startfrom", ip, "0" }).ExitCode, 0);
        const QJsonArray all = History(cli);
        QCOMPARE(all.size(), 3);
        const QString macA = all[0]["macid"].toString();

        QCOMPARE(History(cli, { "--device", a }).size(), 2);
        QCOMPARE(History(cli, { "--device", macA.toLower() }).size(), 2);
        QCOMPARE(History(cli, { "--device", b }).at(0)["device"].toString(), "B");
        QCOMPARE(History(cli, { "--since", "2099-01-01" }).size(), 0);
        QCOMPARE(History(cli, { "--since", "2000-01-01T00:00:00Z" }).size(), 3);
        const QJsonArray last = History(cli, { "--limit", "1" });
        QCOMPARE(last.size(), 1);
        QCOMPARE(last[0]["id"], all[2]["id"]);

        const TRun text = cli.Run({ "history", "--device", b });
        QCOMPARE(text.ExitCode, 0);
        const QStringList fields = QString::fromUtf8(text.Out).trimmed().split('\t');
        QCOMPARE(
            fields.mid(1, 6), QStringList({ "startfrom", "ok", "B", b, all[1]["macid"].toString(), "STARTFROM0" }));
        QCOMPARE(fields.value(7), "11");

        const TRun csv = cli.Run({ "history", "--csv", "--device", a });
        QCOMPARE(csv.ExitCode, 0);
        const QList<QByteArray> lines = csv.Out.split('\n');
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines[0], CsvLine(HistoryFieldNames()).chopped(1));
        QVERIFY(lines[1].startsWith(QByteArray::number(all[0]["id"].toInteger()) + ","));
        QVERIFY(lines[2].startsWith(QByteArray::number(all[2]["id"].toInteger()) + ","));

        for (const QStringList& bad : { QStringList { "--json", "--csv" }, QStringList { "--since", "dün" },
                 QStringList { "--limit", "-1" }, QStringList { "extra" } }) {
            const TRun run = cli.Run(QStringList { "history" } + bad);
            QVERIFY2(run.ExitCode == 2, qPrintable(bad.join(' ') + ": " + run.Err));
        }
    }

    // Names and MacIds come from the network: a forged one never makes two
    // rows or a formula, an unverified upload never lists as ok, and a history
    // the user can only read is listed as it is.
    void hostileRecordsListedSafelyFromReadOnlyFile()
    {
        TCli cli(FreeUdpPort());
        QList<TTransferRecord> records;
        {
            THistoryStore store;
            QString error;
            QVERIFY2(store.Open(cli.HistoryFile(), error), qPrintable(error));
            const QString forged = "A\n2026-01-01T00:00:00.000Z\tupload\tok\tB";
            for (const auto& [name, verification] : { std::pair<QString, QString> { forged, "" },
                     { "=HYPERLINK(\"http://x\")", "mismatch" }, { "Torna\t7", "failed: zaman asimi" } }) {
                TTransferRecord r = NewTransferRecord(TTransferKind::Upload, name, "10.1.2.3", "@SUM(1)");
                r.FileName = "/tmp/O1.nc";
                r.Success = true;
                r.Verification = verification;
                QVERIFY(store.Add(r, error));
                records << r;
            }
        }
        const QByteArray before = [&] {
            QFile file(cli.HistoryFile());
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        }();
        QVERIFY(QFile::setPermissions(cli.HistoryFile(), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        QVERIFY(OpenFolderToOthers(cli.Path()));
        QVERIFY(QFile::setPermissions(QFileInfo(cli.HistoryFile()).absolutePath(),
            QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther
                | QFile::ExeOther));

        const auto run = [&](const QStringList& extra) {
            QString program = QUILLEX_CLI;
            QStringList args = QStringList { "history" } + extra;
            Unprivileged(program, args);
            QProcess process;
            process.setProcessEnvironment(cli.Environment());
            process.setStandardInputFile(QProcess::nullDevice());
            process.start(program, args);
            return TCli::Finish(process);
        };
        const TRun text = run({});
        QVERIFY2(text.ExitCode == 0, qPrintable(text.Err));
        const QList<QByteArray> lines = text.Out.trimmed().split('\n');
        QCOMPARE(lines.size(), 3);
        const QStringList outcomes { "ok", "mismatch", "verify_failed" };
        const QStringList verifications { "-", "mismatch", "failed: zaman asimi" };
        for (int i = 0; i < 3; ++i) {
            const QStringList fields = QString::fromUtf8(lines[i]).split('\t');
            QCOMPARE(fields.size(), 11);
            QCOMPARE(fields[2], outcomes[i]);
            QCOMPARE(fields[3], PlainListingField(records[i].DeviceName));
            QCOMPARE(fields[9], verifications[i]);
        }

        const TRun csv = run({ "--csv" });
        QVERIFY2(csv.ExitCode == 0, qPrintable(csv.Err));
        QVERIFY2(
            csv.Out.contains(",\"'=HYPERLINK(\"\"http://x\"\")\",10.1.2.3,\"'@SUM(1)\",upload,"), csv.Out.constData());
        QVERIFY(!csv.Out.contains(",=") && !csv.Out.contains(",@"));

        const TRun json = run({ "--json" });
        QVERIFY2(json.ExitCode == 0, qPrintable(json.Err));
        QCOMPARE(QJsonDocument::fromJson(json.Out).array().size(), 3);
        QFile file(cli.HistoryFile());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), before); // read without a write, nothing migrated
        QVERIFY(!QFileInfo::exists(cli.HistoryFile() + "-wal"));
    }

    // What is on each machine: the newest upload that reached it, not a failed
    // one after it, nor a download; one row per device.
    void machinesListsLastSentPerDevice()
    {
        TCli cli(FreeUdpPort());
        QCOMPARE(cli.Run({ "machines" }).Out, QByteArray()); // no history yet
        {
            THistoryStore store;
            QString error;
            QVERIFY2(store.Open(cli.HistoryFile(), error), qPrintable(error));
            struct {
                const char* Name;
                const char* Ip;
                const char* Mac;
                TTransferKind Kind;
                bool Success;
                const char* Verification;
                const char* File;
                const char* Time;
            } const rows[] = {
                { "Torna 1", "10.0.0.1", "02:51:58:00:01:01", TTransferKind::Upload, true, "verified", "/p/O1.nc",
                    "2026-05-01T09:00:00Z" },
                { "Torna 1", "10.0.0.9", "02:51:58:00:01:01", TTransferKind::Upload, false, "", "/p/O2.nc",
                    "2026-05-02T09:00:00Z" },
                { "Torna 1", "10.0.0.9", "02:51:58:00:01:01", TTransferKind::Download, true, "", "/p/O3.nc",
                    "2026-05-03T09:00:00Z" },
                { "Freze", "10.0.0.2", "", TTransferKind::Upload, true, "", "/p/O4.nc", "2026-05-01T10:00:00Z" },
                { "Freze", "10.0.0.2", "", TTransferKind::Upload, true, "mismatch", "/p/O5.nc",
                    "2026-05-01T11:00:00Z" },
                { "Dik", "10.0.0.3", "", TTransferKind::Upload, true, "", "/p/O6.nc", "2026-05-01T12:00:00Z" },
                { "Yatay", "10.0.0.4", "", TTransferKind::Download, true, "", "/p/O7.nc", "2026-05-01T12:00:00Z" },
            };
            for (const auto& row : rows) {
                TTransferRecord r = NewTransferRecord(row.Kind, row.Name, row.Ip, row.Mac);
                r.Success = row.Success;
                r.Verification = row.Verification;
                r.FileName = row.File;
                r.Time = QDateTime::fromString(row.Time, Qt::ISODate);
                QVERIFY(store.Add(r, error));
            }
        }
        const QJsonArray machines = QJsonDocument::fromJson(cli.Run({ "machines", "--json" }).Out).array();
        QCOMPARE(machines.size(), 3);
        const QStringList expected[] = { { "Dik", "/p/O6.nc", "not_verified" },
            { "Freze", "/p/O5.nc", "verify_failed" }, { "Torna 1", "/p/O1.nc", "verified" } };
        for (int i = 0; i < 3; ++i) {
            const QJsonObject m = machines[i].toObject();
            QCOMPARE(
                QStringList({ m["device"].toString(), m["file"].toString(), m["verified"].toString() }), expected[i]);
        }
        const TRun plain = cli.Run({ "machines" }, {}, { { "TZ", "UTC" } });
        QCOMPARE(plain.ExitCode, 0);
        const QList<QByteArray> lines = plain.Out.trimmed().split('\n');
        QCOMPARE(lines.size(), 3);
        const QStringList torna = QString::fromUtf8(lines[2]).split('\t');
        QCOMPARE(torna.size(), 9);
        QCOMPARE(torna[0], "Torna 1");
        QCOMPARE(torna.last(),
            QString::fromUtf8("Son gönderilen: O1.nc (01.05.2026 09:00, %1, %2), doğrulandı")
                .arg(CurrentUserName(), CurrentHostName()));
        QVERIFY(QString::fromUtf8(lines[1]).endsWith(QString::fromUtf8("doğrulama başarısız")));
        QVERIFY(QString::fromUtf8(lines[0]).endsWith(QString::fromUtf8("doğrulanmadı")));
    }
};

QTEST_GUILESS_MAIN(TestCliHistory)
#include "tst_clihistory.moc"
