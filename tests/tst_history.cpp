// The transfer history without a window: the fingerprints of a record, the
// store's filters, its schema steps from an empty file and from the first
// layout, pruning, a writer killed in the middle, the table and its CSV
// export, and a history that cannot be opened.
#include "history/HistoryFormat.h"
#include "history/HistoryRecorder.h"
#include "history/HistoryStore.h"
#include "history/HistoryTableModel.h"

#include <QAbstractItemModelTester>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {

const QString FixtureV1 = QStringLiteral(QUILLEX_FIXTURES "/history/history-v1.sql");

TTransferRecord Sample(const QString& ip, const QString& mac, const QDateTime& time, bool success,
    TTransferKind kind = TTransferKind::Upload)
{
    TTransferRecord r = NewTransferRecord(kind, "Torna " + ip.section('.', -1), ip, mac);
    r.Time = time;
    r.FileName = "/tmp/O" + ip.section('.', -1) + ".nc";
    SetRecordBytes(r, ("%\nO1\n" + ip + "\n%\n").toLatin1());
    r.DurationMs = 1500;
    r.Success = success;
    r.Message = success ? "OK" : "Hata: zaman asimi";
    return r;
}

QDateTime At(const char* iso)
{
    return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate);
}

// Runs a file of SQL statements (one per line, comments skipped) on a new database.
bool LoadSqlFixture(const QString& fixture, const QString& path)
{
    QFile file(fixture);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "fixture");
        db.setDatabaseName(path);
        ok = db.open();
        for (const QByteArray& line : file.readAll().split('\n')) {
            if (!ok || line.trimmed().isEmpty() || line.startsWith("--"))
                continue;
            QSqlQuery q(db);
            ok = q.exec(QString::fromUtf8(line));
        }
        db.close();
    }
    QSqlDatabase::removeDatabase("fixture");
    return ok;
}

QStringList Ids(const QList<TTransferRecord>& records)
{
    QStringList ids;
    for (const TTransferRecord& r : records)
        ids << r.DeviceName + "@" + HistoryTimeText(r.Time);
    return ids;
}

} // namespace

class TestHistory : public QObject {
    Q_OBJECT
private slots:
    void fingerprints_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("crc");
        QTest::addColumn<QString>("sha");
        QTest::newRow("check value") << QByteArray("123456789") << "CBF43926"
                                     << "15e2b0d3c33891ebb0f1ef609ec419420c20e320ce94c65fbc8c3312448eb225";
        QTest::newRow("nothing") << QByteArray() << "00000000"
                                 << "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
    }
    void fingerprints()
    {
        QFETCH(QByteArray, bytes);
        TTransferRecord r;
        SetRecordBytes(r, bytes);
        QCOMPARE(r.ByteCount, bytes.size());
        QTEST(r.Crc32, "crc");
        QTEST(r.Sha256, "sha");
    }

    void commandBatches_data()
    {
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<QString>("detail");
        QTest::addColumn<QByteArray>("hashed"); // empty: no fingerprint kept
        QTest::newRow("settings") << QStringList { "NAME&Torna 3", "BR19200" } << "NAME&Torna 3\nBR19200"
                                  << QByteArray("NAME&Torna 3\nBR19200\n");
        QTest::newRow("start from") << QStringList { "STARTFROM4" } << "STARTFROM4" << QByteArray("STARTFROM4\n");
        QTest::newRow("new pin") << QStringList { "SETPIN&12345678" } << "SETPIN&********" << QByteArray();
        QTest::newRow("pin line") << QStringList { "pin&1234", "CLEARPIN" } << "pin&****\nCLEARPIN" << QByteArray();
    }
    void commandBatches()
    {
        QFETCH(QStringList, commands);
        QFETCH(QString, detail);
        QFETCH(QByteArray, hashed);
        TTransferRecord r = NewTransferRecord(TTransferKind::Settings, "Torna", "127.0.0.1", {});
        SetRecordCommands(r, commands);
        QCOMPARE(r.Detail, detail);
        QCOMPARE(r.ByteCount, commands.join('\n').size() + 1); // a line feed after each line
        if (hashed.isEmpty()) {
            QVERIFY(r.Crc32.isEmpty());
            QVERIFY(r.Sha256.isEmpty());
        } else {
            TTransferRecord expected;
            SetRecordBytes(expected, hashed);
            QCOMPARE(r.Crc32, expected.Crc32);
            QCOMPARE(r.Sha256, expected.Sha256);
        }
    }

    void storeKeepsEveryFieldAndFilters_data()
    {
        QTest::addColumn<QString>("device");
        QTest::addColumn<QDate>("since");
        QTest::addColumn<QDate>("until");
        QTest::addColumn<int>("outcome"); // -1 all, 0 failed, 1 ok
        QTest::addColumn<int>("limit");
        QTest::addColumn<QStringList>("expected"); // newest first
        const QStringList all { "Torna 21@2026-05-03T10:00:00.000Z", "Torna 20@2026-05-02T23:59:59.000Z",
            "Torna 21@2026-05-02T00:00:00.000Z", "Torna 20@2026-05-01T09:00:00.000Z" };
        QTest::newRow("all") << "" << QDate() << QDate() << -1 << -1 << all;
        QTest::newRow("by address") << "10.0.0.20" << QDate() << QDate() << -1 << -1 << QStringList { all[1], all[3] };
        QTest::newRow("by MacId, other case")
            << "02:51:58:00:00:15" << QDate() << QDate() << -1 << -1 << QStringList { all[0], all[2] };
        QTest::newRow("one day") << "" << QDate(2026, 5, 2) << QDate(2026, 5, 2) << -1 << -1
                                 << QStringList { all[1], all[2] };
        QTest::newRow("since") << "" << QDate(2026, 5, 3) << QDate() << -1 << -1 << QStringList { all[0] };
        QTest::newRow("failed") << "" << QDate() << QDate() << 0 << -1 << QStringList { all[1] };
        QTest::newRow("succeeded, newest two") << "" << QDate() << QDate() << 1 << 2 << QStringList { all[0], all[2] };
    }
    void storeKeepsEveryFieldAndFilters()
    {
        QFETCH(QString, device);
        QFETCH(QDate, since);
        QFETCH(QDate, until);
        QFETCH(int, outcome);
        QFETCH(int, limit);
        QFETCH(QStringList, expected);
        qputenv("TZ", "UTC"); // the date range is in local days
        QTemporaryDir dir;
        THistoryStore store;
        QString error;
        QVERIFY2(store.Open(dir.filePath("sub/history.sqlite"), error), qPrintable(error));
        TTransferRecord records[] = {
            Sample("10.0.0.20", "02:51:58:00:00:14", At("2026-05-01T09:00:00Z"), true),
            Sample("10.0.0.21", "02:51:58:00:00:15", At("2026-05-02T00:00:00Z"), true, TTransferKind::Download),
            Sample("10.0.0.20", "02:51:58:00:00:14", At("2026-05-02T23:59:59Z"), false),
            Sample("10.0.0.21", "02:51:58:00:00:15", At("2026-05-03T10:00:00Z"), true, TTransferKind::StartFrom),
        };
        records[3].Verification = "failed: zaman asimi";
        for (TTransferRecord& r : records)
            QVERIFY2(store.Add(r, error), qPrintable(error));
        QList<TTransferRecord> listed;
        const std::optional<bool> success = outcome < 0 ? std::nullopt : std::optional<bool>(outcome == 1);
        THistoryFilter filter = HistoryFilterFor(device.toLower(), since, until, success);
        filter.Limit = limit;
        QVERIFY2(store.List(filter, listed, error), qPrintable(error));
        QCOMPARE(Ids(listed), expected);
        // Every field comes back as written.
        for (const TTransferRecord& back : listed) {
            const auto* written = std::find_if(
                std::begin(records), std::end(records), [&](const TTransferRecord& r) { return r.Id == back.Id; });
            QVERIFY(written != std::end(records));
            QCOMPARE(HistoryFieldValues(back), HistoryFieldValues(*written));
        }
    }

    // The dialog's device list: one entry per MacId (any case, any address it had), else per address.
    void devicesListedOncePerIdentity()
    {
        QTemporaryDir dir;
        THistoryStore store;
        QString error;
        QVERIFY(store.Open(dir.filePath("history.sqlite"), error));
        TTransferRecord records[] = {
            Sample("10.0.0.20", "02:51:58:00:00:aa", At("2026-05-01T09:00:00Z"), true),
            Sample("10.0.0.31", "02:51:58:00:00:AA", At("2026-05-02T09:00:00Z"), false),
            Sample("10.0.0.30", "", At("2026-05-01T10:00:00Z"), true),
        };
        records[0].DeviceName = "Torna eski";
        records[1].DeviceName = "Torna";
        records[2].DeviceName = "Freze";
        for (TTransferRecord& r : records)
            QVERIFY(store.Add(r, error));
        QList<THistoryDevice> devices;
        QVERIFY2(store.Devices(devices, error), qPrintable(error));
        QCOMPARE(devices.size(), 2);
        QCOMPARE(devices[0].Name, "Freze");
        QCOMPARE(devices[0].Key, "10.0.0.30");
        QCOMPARE(devices[1].Name, "Torna");
        QCOMPARE(devices[1].Key, "02:51:58:00:00:AA");
        QCOMPARE(devices[1].IPAddress, "10.0.0.31");
        THistoryFilter filter;
        filter.Device = devices[1].Key;
        QList<TTransferRecord> listed;
        QVERIFY(store.List(filter, listed, error));
        QCOMPARE(listed.size(), 2); // both addresses of the device
    }

    void schemaFromEmptyFile()
    {
        QTemporaryDir dir;
        THistoryStore store;
        QString error;
        QVERIFY2(store.Open(dir.filePath("history.sqlite"), error), qPrintable(error));
        QCOMPARE(HistorySchemaVersionOf(store.Database()), HistorySchemaVersion);
        QSqlQuery mode(store.Database());
        QVERIFY(mode.exec("PRAGMA journal_mode") && mode.next());
        QCOMPARE(mode.value(0).toString(), "wal");
        mode.finish();
        TTransferRecord r = Sample("10.0.0.5", {}, QDateTime::currentDateTimeUtc(), true);
        QVERIFY2(store.Add(r, error), qPrintable(error));
        QVERIFY(r.Id > 0);
        // Opening again leaves the schema and the rows as they are.
        THistoryStore again;
        QVERIFY2(again.Open(dir.filePath("history.sqlite"), error), qPrintable(error));
        QList<TTransferRecord> listed;
        QVERIFY(again.List({}, listed, error));
        QCOMPARE(listed.size(), 1);
    }

    void schemaFromFirstLayout()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("history.sqlite");
        QVERIFY2(LoadSqlFixture(FixtureV1, path), "the first layout's fixture did not load");
        THistoryStore store;
        QString error;
        QVERIFY2(store.Open(path, error), qPrintable(error));
        QCOMPARE(HistorySchemaVersionOf(store.Database()), HistorySchemaVersion);
        QList<TTransferRecord> listed;
        QVERIFY(store.List({}, listed, error));
        QCOMPARE(listed.size(), 2);
        const TTransferRecord& failed = listed[0];
        QCOMPARE(failed.Time, At("2026-03-02T17:00:00Z"));
        QCOMPARE(failed.Kind, TTransferKind::Download);
        QCOMPARE(failed.Success, false);
        QCOMPARE(failed.MacId, QString());
        QCOMPARE(failed.FileName, QString());
        QCOMPARE(failed.Message, QString::fromUtf8("Cihazda kayıtlı dosya yok"));
        const TTransferRecord& upload = listed[1];
        QCOMPARE(upload.Time, At("2026-03-01T08:15:30.250Z"));
        QCOMPARE(upload.Time.time().msec(), 250);
        QCOMPARE(upload.Success, true);
        QCOMPARE(upload.UserName, "ayse");
        QCOMPARE(upload.HostName, "atolye-pc");
        QCOMPARE(upload.DeviceName, "Torna 1");
        QCOMPARE(upload.IPAddress, "192.168.1.20");
        QCOMPARE(upload.FileName, "/home/ayse/O1000.nc");
        QCOMPARE(upload.ByteCount, 1234);
        QCOMPARE(upload.Crc32, "CBF43926");
        QCOMPARE(upload.DurationMs, 2500);
        QCOMPARE(upload.Verification, QString());
        // The device filter works on the migrated rows (by MacId too).
        THistoryFilter filter;
        filter.Device = "02:51:58:00:01:14";
        QVERIFY(store.List(filter, listed, error));
        QCOMPARE(listed.size(), 1);
        TTransferRecord next = Sample("192.168.1.20", "02:51:58:00:01:14", QDateTime::currentDateTimeUtc(), true);
        next.Verification = "verified";
        QVERIFY2(store.Add(next, error), qPrintable(error));
    }

    void newerSchemaIsRefused()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("history.sqlite");
        {
            THistoryStore store;
            QString error;
            QVERIFY(store.Open(path, error));
            QSqlQuery q(store.Database());
            QVERIFY(q.exec(QString("PRAGMA user_version = %1").arg(HistorySchemaVersion + 1)));
        }
        THistoryStore store;
        QString error;
        QVERIFY(!store.Open(path, error));
        QVERIFY2(error.contains(QString::number(HistorySchemaVersion + 1)), qPrintable(error));
        TTransferRecord r = Sample("10.0.0.5", {}, QDateTime::currentDateTimeUtc(), true);
        QVERIFY(!store.Add(r, error));
    }

    void oldRecordsRemovedAtStart()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("history.sqlite");
        const QDateTime now = QDateTime::currentDateTimeUtc();
        {
            THistoryStore store;
            QString error;
            QVERIFY(store.Open(path, error));
            for (int days : { 800, 731, 729, 1 }) {
                TTransferRecord r = Sample("10.0.0.5", {}, now.addDays(-days), true);
                r.DeviceName = QString::number(days);
                QVERIFY(store.Add(r, error));
            }
        }
        {
            THistoryRecorder recorder(path, DefaultHistoryMaxAgeDays);
            recorder.Flush();
        }
        THistoryStore store;
        QString error;
        QVERIFY(store.Open(path, error));
        QList<TTransferRecord> listed;
        QVERIFY(store.List({}, listed, error));
        QStringList kept;
        for (const TTransferRecord& r : listed)
            kept << r.DeviceName;
        QCOMPARE(kept, QStringList({ "1", "729" }));
        {
            THistoryRecorder keepAll(path, 0);
            keepAll.Flush();
        }
        QVERIFY(store.List({}, listed, error));
        QCOMPARE(listed.size(), 2);

        // More expired records than one batch: all go, in batches, and a record
        // given meanwhile is kept.
        const int expired = 2 * HistoryPruneBatch + 7;
        QVERIFY(store.Database().transaction());
        for (int i = 0; i < expired; ++i) {
            TTransferRecord r = Sample("10.0.0.6", {}, now.addDays(-900).addSecs(i), true);
            QVERIFY(store.Add(r, error));
        }
        QVERIFY(store.Database().commit());
        THistoryRecorder recorder(path, DefaultHistoryMaxAgeDays);
        recorder.Record(Sample("10.0.0.7", {}, now, true));
        QTRY_COMPARE_WITH_TIMEOUT(
            [&] {
                store.List({}, listed, error);
                return listed.size();
            }(),
            3, 20000);
        QCOMPARE(listed.first().IPAddress, "10.0.0.7");
    }

    void maxAgeFromSettingsFile_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<int>("days");
        QTest::newRow("missing") << QByteArray("[MainForm]\n") << DefaultHistoryMaxAgeDays;
        QTest::newRow("set") << QByteArray("[History]\nMaxAgeDays=90\n") << 90;
        QTest::newRow("keep all") << QByteArray("[History]\nMaxAgeDays=0\n") << 0;
        QTest::newRow("not a number") << QByteArray("[History]\nMaxAgeDays=iki\n") << DefaultHistoryMaxAgeDays;
        QTest::newRow("negative") << QByteArray("[History]\nMaxAgeDays=-5\n") << DefaultHistoryMaxAgeDays;
    }
    void maxAgeFromSettingsFile()
    {
        QFETCH(QByteArray, ini);
        QTemporaryDir dir;
        QFile file(dir.filePath("quillex_settings.ini"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(ini);
        file.close();
        QTEST(HistoryMaxAgeDays(file.fileName()), "days");
    }

    void recorderWritesInOrderOffItsThread()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("history.sqlite");
        {
            THistoryRecorder recorder(path, DefaultHistoryMaxAgeDays);
            QSignalSpy failed(&recorder, &THistoryRecorder::Failed);
            for (int i = 0; i < 50; ++i) {
                TTransferRecord r = Sample("10.0.0.9", {}, QDateTime::currentDateTimeUtc(), true);
                r.DeviceName = QString::number(i);
                recorder.Record(r);
            }
        } // the destructor writes what is queued
        THistoryStore store;
        QString error;
        QVERIFY(store.Open(path, error));
        QSqlQuery q(store.Database());
        QVERIFY(q.exec("SELECT device_name FROM transfer ORDER BY id"));
        QStringList names;
        while (q.next())
            names << q.value(0).toString();
        QCOMPARE(names.size(), 50);
        QCOMPARE(names.first(), "0");
        QCOMPARE(names.last(), "49");
    }

    void historyThatCannotBeUsed_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("folder is a file") << "blocked";
        QTest::newRow("not a database") << "garbage";
    }
    void historyThatCannotBeUsed()
    {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        QString path;
        if (kind == "blocked") {
            QFile blocker(dir.filePath("blocker"));
            QVERIFY(blocker.open(QIODevice::WriteOnly));
            path = dir.filePath("blocker/history.sqlite");
        } else {
            QFile garbage(dir.filePath("history.sqlite"));
            QVERIFY(garbage.open(QIODevice::WriteOnly));
            garbage.write(QByteArray(8192, '\x5a'));
            path = garbage.fileName();
        }
        THistoryStore store;
        QString error;
        QVERIFY(!store.Open(path, error));
        QVERIFY(!error.isEmpty());

        // The recorder reports it once, however many records fail.
        THistoryRecorder recorder(path, DefaultHistoryMaxAgeDays);
        QSignalSpy failed(&recorder, &THistoryRecorder::Failed);
        for (int i = 0; i < 3; ++i)
            recorder.Record(Sample("10.0.0.5", {}, QDateTime::currentDateTimeUtc(), true));
        recorder.Flush();
        QTRY_COMPARE(failed.size(), 1);
        QTest::qWait(100);
        QCOMPARE(failed.size(), 1);
        QVERIFY(!failed.first().first().toString().isEmpty());
        if (kind == "garbage") {
            QFile garbage(path);
            QVERIFY(garbage.open(QIODevice::ReadOnly));
            QCOMPARE(garbage.readAll(), QByteArray(8192, '\x5a')); // the operator's file is left alone
        }
    }

    // A writer killed between and during its inserts leaves a file that opens,
    // passes the integrity check, holds whole records only, and takes new ones.
    void killedWriterLeavesReadableFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("history.sqlite");
        QProcess writer;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QUILLEX_HISTORY_WRITER", path);
        writer.setProcessEnvironment(env);
        writer.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(writer.waitForStarted());
        QVERIFY(writer.waitForReadyRead(10000)); // the first records are in
        QTest::qWait(300);
        ::kill(pid_t(writer.processId()), SIGKILL);
        QVERIFY(writer.waitForFinished(5000));
        QCOMPARE(writer.exitStatus(), QProcess::CrashExit);

        THistoryStore store;
        QString error;
        QVERIFY2(store.Open(path, error), qPrintable(error));
        QSqlQuery check(store.Database());
        QVERIFY(check.exec("PRAGMA integrity_check") && check.next());
        QCOMPARE(check.value(0).toString(), "ok");
        QList<TTransferRecord> listed;
        QVERIFY(store.List({}, listed, error));
        QVERIFY2(listed.size() > 1, qPrintable(QString::number(listed.size())));
        for (const TTransferRecord& r : listed) {
            TTransferRecord expected = r;
            SetRecordBytes(expected, r.FileName.toLatin1());
            QCOMPARE(r.Sha256, expected.Sha256); // no half-written row
        }
        TTransferRecord after = Sample("10.0.0.5", {}, QDateTime::currentDateTimeUtc(), true);
        QVERIFY2(store.Add(after, error), qPrintable(error));
    }

    void tableSortsAndExportsFilteredView()
    {
        qputenv("TZ", "UTC");
        QTemporaryDir dir;
        THistoryStore store;
        QString error;
        QVERIFY(store.Open(dir.filePath("history.sqlite"), error));
        TTransferRecord records[] = {
            Sample("10.0.0.20", "M20", At("2026-05-01T09:00:00Z"), true),
            Sample("10.0.0.20", "M20", At("2026-05-02T09:00:00Z"), false),
            Sample("10.0.0.21", "M21", At("2026-05-02T10:00:00Z"), true),
            Sample("10.0.0.20", "M20", At("2026-05-03T09:00:00Z"), true, TTransferKind::Settings),
        };
        records[0].ByteCount = 900;
        records[3].FileName.clear();
        SetRecordCommands(records[3], { "NAME&Torna, \"yeni\"" });
        for (TTransferRecord& r : records)
            QVERIFY(store.Add(r, error));

        THistoryTableModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSortFilterProxyModel proxy;
        proxy.setSourceModel(&model);
        proxy.setSortRole(THistoryTableModel::SortRole);
        // One device, its successes, sorted by size, smallest first.
        QVERIFY(model.Load(store, HistoryFilterFor("10.0.0.20", {}, {}, true), error));
        QCOMPARE(model.rowCount(), 2);
        proxy.sort(THistoryTableModel::ColumnBytes, Qt::AscendingOrder);
        QCOMPARE(proxy.index(0, THistoryTableModel::ColumnFile).data().toString(), "NAME&Torna, \"yeni\"");
        QCOMPARE(proxy.index(0, THistoryTableModel::ColumnKind).data().toString(), "Ayarlar");
        QCOMPARE(proxy.index(1, THistoryTableModel::ColumnTime).data().toString(), "01.05.2026 09:00:00");
        QCOMPARE(proxy.index(1, THistoryTableModel::ColumnOutcome).data().toString(), QString::fromUtf8("Başarılı"));
        QCOMPARE(model.headerData(THistoryTableModel::ColumnDuration, Qt::Horizontal).toString(), "Süre (sn)");

        const QString csvPath = dir.filePath("export.csv");
        QVERIFY2(WriteHistoryCsv(csvPath, RecordsInViewOrder(proxy), error), qPrintable(error));
        QFile csv(csvPath);
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = csv.readAll().split('\n');
        QCOMPARE(lines.size(), 4); // header, two rows, the empty rest after the last CR LF
        QCOMPARE(lines[0],
            "id,time,user,host,device,ip,macid,kind,file,commands,bytes,crc32,sha256,duration_ms,"
            "outcome,message,verification\r");
        const QByteArray first = lines[1];
        QVERIFY2(first.startsWith(QByteArray::number(records[3].Id) + ",2026-05-03T09:00:00.000Z,"), first.constData());
        QVERIFY2(first.contains(",settings,,\"NAME&Torna, \"\"yeni\"\"\",19,"), first.constData());
        QVERIFY2(first.endsWith(",1500,ok,OK,\r"), first.constData());
        QVERIFY2(lines[2].contains(",upload,/tmp/O20.nc,,900," + records[0].Crc32.toLatin1() + ","
                     + records[0].Sha256.toLatin1() + ",1500,ok,OK,\r"),
            lines[2].constData());
    }

    // The table pages through a large history as the view scrolls, each page
    // read off this thread; records sharing a time are neither lost nor
    // repeated at a page's edge, and a new filter makes an older answer stale.
    void pagedTableReadsAsTheViewScrolls()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("history.sqlite");
        const int total = 2 * THistoryTableModel::PageSize + 234;
        {
            THistoryStore store;
            QString error;
            QVERIFY(store.Open(path, error));
            QVERIFY(store.Database().transaction());
            for (int i = 0; i < total; ++i) {
                // Three records a second: many share their time with a page's last one.
                TTransferRecord r = Sample(
                    i % 2 ? "10.0.0.1" : "10.0.0.2", {}, At("2026-05-01T09:00:00Z").addSecs(i / 3), i % 5 != 0);
                QVERIFY(store.Add(r, error));
            }
            QVERIFY(store.Database().commit());
        }
        THistoryTableModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.StartPaged(path, HistoryFilterFor("10.0.0.2", {}, {}, false)); // stale before it is answered
        model.StartPaged(path, {});
        QVERIFY(model.IsLoading());
        QVERIFY(!model.canFetchMore({}));
        for (const int expected : { THistoryTableModel::PageSize, 2 * THistoryTableModel::PageSize, total }) {
            QTRY_VERIFY(!model.IsLoading());
            QCOMPARE(model.rowCount(), expected);
            if (expected < total) {
                QVERIFY(model.canFetchMore({}));
                model.fetchMore({});
            }
        }
        QVERIFY(model.AllRead());
        QVERIFY(!model.canFetchMore({}));
        QSet<qint64> ids;
        for (int i = 0; i < total; ++i) {
            const TTransferRecord& r = model.Records()[i];
            ids.insert(r.Id);
            if (i > 0) {
                const TTransferRecord& newer = model.Records()[i - 1];
                QVERIFY(newer.Time > r.Time || (newer.Time == r.Time && newer.Id > r.Id));
            }
        }
        QCOMPARE(ids.size(), total);
    }

    void csvFieldsNeverRunAsFormulas_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("equals") << "=HYPERLINK(\"http://x\",\"a\")"
                                << QByteArray("\"'=HYPERLINK(\"\"http://x\"\",\"\"a\"\")\"");
        QTest::newRow("plus dde") << "+cmd|' /C calc'!A0" << QByteArray("\"'+cmd|' /C calc'!A0\"");
        QTest::newRow("minus") << "-2+3+cmd|' /C calc'!A0" << QByteArray("\"'-2+3+cmd|' /C calc'!A0\"");
        QTest::newRow("at") << "@SUM(1+1)*cmd|' /C calc'!A0" << QByteArray("\"'@SUM(1+1)*cmd|' /C calc'!A0\"");
        QTest::newRow("tab") << "\t=1+1" << QByteArray("\"'\t=1+1\"");
        QTest::newRow("carriage return") << "\r=1+1" << QByteArray("\"'\r=1+1\"");
        QTest::newRow("negative number") << "-5" << QByteArray("-5");
        QTest::newRow("inner equals") << "Torna=1" << QByteArray("Torna=1");
        QTest::newRow("plain") << "Torna 1" << QByteArray("Torna 1");
    }

    void csvFieldsNeverRunAsFormulas()
    {
        QFETCH(QString, field);
        QFETCH(QByteArray, written);
        QCOMPARE(CsvLine({ "a", field }), "a," + written + "\r\n");
    }

    void plainListingFieldIsOneCell_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("shown");
        QTest::newRow("empty") << ""
                               << "-";
        QTest::newRow("tab") << "Torna\t1"
                             << "Torna\\t1";
        QTest::newRow("line feed") << "A\n2026-01-01T00:00:00.000Z\tupload\tok"
                                   << "A\\n2026-01-01T00:00:00.000Z\\tupload\\tok";
        QTest::newRow("carriage return") << "A\rB"
                                         << "A\\rB";
        QTest::newRow("escape sequence") << "A\x1b[2JB"
                                         << "A\\u001b[2JB";
        QTest::newRow("next line") << QString("A") + QChar(0x85) + "B"
                                   << "A\\u0085B";
        QTest::newRow("line separator") << QString("A") + QChar(0x2028) + "B"
                                        << "A\\u2028B";
        QTest::newRow("backslash") << "A\\tB"
                                   << "A\\\\tB";
        QTest::newRow("turkish") << QString::fromUtf8("Işık Torna") << QString::fromUtf8("Işık Torna");
    }

    void plainListingFieldIsOneCell()
    {
        QFETCH(QString, field);
        QFETCH(QString, shown);
        QCOMPARE(PlainListingField(field), shown);
    }

    void unverifiedUploadIsNoSuccess_data()
    {
        QTest::addColumn<bool>("success");
        QTest::addColumn<QString>("verification");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("not read back") << true << ""
                                       << "ok";
        QTest::newRow("verified") << true << "verified"
                                  << "ok";
        QTest::newRow("mismatch") << true << "mismatch"
                                  << "mismatch";
        QTest::newRow("read-back failed") << true << "failed: zaman asimi"
                                          << "verify_failed";
        QTest::newRow("upload failed") << false << ""
                                       << "failed";
    }

    void unverifiedUploadIsNoSuccess()
    {
        QFETCH(bool, success);
        QFETCH(QString, verification);
        QFETCH(QString, outcome);
        QTemporaryDir dir;
        THistoryStore store;
        QString error;
        QVERIFY(store.Open(dir.filePath("history.sqlite"), error));
        TTransferRecord r = Sample("10.0.0.30", "M30", At("2026-05-01T09:00:00Z"), success);
        r.Verification = verification;
        QVERIFY(store.Add(r, error));
        QCOMPARE(HistoryOutcomeName(r), outcome);
        QCOMPARE(HistoryRecordJson(r)["outcome"].toString(), outcome);
        const bool succeeded = outcome == "ok";
        // The dialog's outcome filter and its column agree with the word.
        for (const bool wanted : { true, false }) {
            THistoryTableModel model;
            QVERIFY(model.Load(store, HistoryFilterFor({}, {}, {}, wanted), error));
            QCOMPARE(model.rowCount(), wanted == succeeded ? 1 : 0);
        }
        THistoryTableModel model;
        model.SetRecords({ r });
        QCOMPARE(model.index(0, THistoryTableModel::ColumnOutcome).data().toString(), HistoryOutcomeCaption(succeeded));
    }

    void historyFileIsTheUsersAlone()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("quillex/history.sqlite");
        const QFile::Permissions mine = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser;
        QString error;
        {
            THistoryStore store;
            QVERIFY2(store.Open(path, error), qPrintable(error));
            TTransferRecord r = Sample("10.0.0.31", {}, At("2026-05-01T09:00:00Z"), true);
            QVERIFY(store.Add(r, error));
            for (const QString& file : { path, path + "-wal", path + "-shm" })
                QVERIFY2(QFile::permissions(file) == mine, qPrintable(file));
        }
        // A file an earlier version left readable by others is closed on opening.
        QVERIFY(QFile::setPermissions(path, mine | QFile::ReadGroup | QFile::ReadOther));
        THistoryStore store;
        QVERIFY2(store.Open(path, error), qPrintable(error));
        QCOMPARE(QFile::permissions(path), mine);
    }
};

// The child of killedWriterLeavesReadableFile: records as fast as it can until killed.
static int RunHistoryWriter(const QString& path)
{
    THistoryStore store;
    QString error;
    if (!store.Open(path, error))
        return 2;
    for (qint64 i = 0;; ++i) {
        TTransferRecord r = NewTransferRecord(TTransferKind::Upload, "Yazici", "10.9.9.9", {});
        r.FileName = QString("/tmp/program-%1.nc").arg(i);
        r.Message = QString(2000, QChar('x')); // rows over several pages: a torn one would show
        SetRecordBytes(r, r.FileName.toLatin1());
        if (!store.Add(r, error))
            return 3;
        if (i == 20) {
            std::fputs("writing\n", stdout);
            std::fflush(stdout);
        }
    }
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (const QString path = qEnvironmentVariable("QUILLEX_HISTORY_WRITER"); !path.isEmpty())
        return RunHistoryWriter(path);
    TestHistory test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_history.moc"
