// The transfer history on both of its stores, this workstation's file and a
// shared PostgreSQL server (a throw-away one of the test's own): the same
// records, filters and listings on each, the upgrade from the previous schema,
// eight processes writing at once, the server going away in the middle of a
// run, and a wrong password or an unreachable host costing nothing but a wait.
#include "history/HistoryFormat.h"
#include "history/HistoryRecorder.h"
#include "history/HistoryStore.h"

#include <QCoreApplication>
#include <QSet>
#include <QSignalSpy>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include "CliProcess.h"
#include "Loopback.h"
#include "PostgresServer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>

#include <cstdio>
#include <thread>

#include <unistd.h>

namespace {

constexpr int DyingWriterThreads = 4;

TTransferRecord Sample(const QString& ip, const QString& mac, const QDateTime& time, bool success,
    const QString& verification = {}, TTransferKind kind = TTransferKind::Upload)
{
    TTransferRecord r = NewTransferRecord(kind, "Torna " + ip.section('.', -1), ip, mac);
    r.Time = time;
    r.FileName = "/home/ayse/O" + ip.section('.', -1) + ".nc";
    SetRecordBytes(r, ("%\nO1\n" + ip + "\n%\n").toLatin1());
    r.Success = success;
    r.Verification = verification;
    r.Message = success ? "OK" : "Hata: zaman asimi";
    return r;
}

QDateTime At(const char* iso)
{
    return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate);
}

QStringList Files(const QList<TTransferRecord>& records)
{
    QStringList names;
    for (const TTransferRecord& r : records)
        names << r.FileName.section('/', -1) + (r.HostName == "pc-2" ? "@pc-2" : "");
    return names;
}

// The child of eightWritersNothingLostOrDoubled: records through the window's
// recorder, its own file as the queue, into the shared history.
int RunWriter(const QStringList& args)
{
    const QString queue = args.value(0), location = args.value(1);
    const int writer = args.value(2).toInt(), count = args.value(3).toInt();
    THistoryRecorder recorder(queue, 0, location);
    for (int i = 0; i < count; ++i) {
        TTransferRecord r = Sample(QString("10.8.%1.1").arg(writer), {}, QDateTime::currentDateTimeUtc(), true);
        r.Detail = QString("%1/%2").arg(writer).arg(i);
        recorder.Record(r);
    }
    recorder.Flush();
    THistoryStore local;
    QString error;
    if (!local.Open(queue, error))
        return 1;
    return local.PendingCount(error) == 0 ? 0 : 2;
}

// The child of flushedRecordsSurviveADeath: four threads give records to one
// recorder at once, Flush, and the process dies without closing anything.
int RunDyingWriter(const QStringList& args)
{
    const QString queue = args.value(0), location = args.value(1);
    const int count = args.value(2).toInt();
    THistoryRecorder recorder(queue, 0, location);
    std::vector<std::thread> threads;
    for (int t = 0; t < DyingWriterThreads; ++t)
        threads.emplace_back([&recorder, t, count] {
            for (int i = 0; i < count; ++i) {
                TTransferRecord r = Sample("10.9.0.1", {}, QDateTime::currentDateTimeUtc(), true);
                r.Detail = QString("%1/%2").arg(t).arg(i);
                recorder.Record(r);
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    recorder.Flush();
    std::fflush(stdout);
    ::_exit(0); // no destructor writes what Flush should have written
}

// Each thread's records in the order given, each once: the details "t/i" read
// in id order.
QString CheckEachOnceInOrder(QSqlQuery& rows, int threads, int count)
{
    QList<int> next(threads, 0);
    while (rows.next()) {
        const QStringList parts = rows.value(0).toString().split('/');
        const int t = parts.value(0).toInt();
        if (t < 0 || t >= threads || parts.value(1).toInt() != next[t])
            return QString("%1 after %2 of its thread").arg(rows.value(0).toString()).arg(next[t]);
        ++next[t];
    }
    for (int t = 0; t < threads; ++t)
        if (next[t] != count)
            return QString("thread %1: %2 of %3 records").arg(t).arg(next[t]).arg(count);
    return {};
}

} // namespace

class TestSharedHistory : public QObject {
    Q_OBJECT
    std::unique_ptr<TPostgresServer> FServer;
    QTemporaryDir FDir;

    // A store of the kind named, empty: a new file, or the server's tables dropped.
    bool OpenEmpty(const QString& kind, THistoryStore& store, QString& error)
    {
        if (kind == "file")
            return store.Open(FDir.filePath(QString("history-%1.sqlite").arg(++FFiles)), error);
        if (!store.Open(FServer->Location(), error))
            return false;
        {
            QSqlQuery drop(store.Database());
            if (!drop.exec("DROP TABLE IF EXISTS transfer, schema_version")) {
                error = drop.lastError().text();
                return false;
            }
        }
        return store.Open(FServer->Location(), error);
    }
    int FFiles = 0;

private slots:
    void initTestCase()
    {
        qputenv("QUILLEX_HISTORY_PASSWORD", TPostgresServer::Password);
        FServer = std::make_unique<TPostgresServer>();
    }

    void bothStores_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("file") << "file";
        QTest::newRow("server") << "server";
    }

    // Every record back as written; the device (address or MacId in any
    // case), time, outcome and workstation filters; the newest N oldest first;
    // the last upload that reached each device; a record sent twice kept once.
    void sameRecordsOnBothStores_data() { bothStores_data(); }
    void sameRecordsOnBothStores()
    {
        QFETCH(QString, kind);
        if (kind == "server")
            QUILLEX_REQUIRE_POSTGRES(*FServer);
        THistoryStore store;
        QString error;
        QVERIFY2(OpenEmpty(kind, store, error), qPrintable(error));
        QCOMPARE(store.IsShared(), kind == "server");
        QList<TTransferRecord> records {
            Sample("10.0.0.1", "02:51:58:00:01:0A", At("2026-05-01T08:00:00.125Z"), true, "verified"),
            Sample("10.0.0.2", {}, At("2026-05-01T09:00:00Z"), true, "mismatch"),
            Sample("10.0.0.1", "02:51:58:00:01:0A", At("2026-05-02T09:00:00Z"), false),
            Sample("10.0.0.3", {}, At("2026-05-03T09:00:00Z"), true, {}, TTransferKind::Download),
            Sample("10.0.0.1", "02:51:58:00:01:0A", At("2026-05-04T09:00:00Z"), true, "failed: zaman asimi"),
        };
        records[4].FileName = "/home/ayse/O1b.nc";
        records[3].HostName = "pc-2";
        SetRecordCommands(records[2], { "NAME&Torna 'bir'", "SETPIN&1234" });
        for (TTransferRecord& r : records) {
            QVERIFY2(store.Add(r, error), qPrintable(error));
            QVERIFY(r.Id > 0 && !r.Uid.isEmpty());
        }
        TTransferRecord again = records[0];
        QVERIFY2(store.Add(again, error), qPrintable(error));
        QCOMPARE(again.Id, 0); // the same record, sent again: kept once

        QList<TTransferRecord> listed;
        QVERIFY2(store.List({}, listed, error), qPrintable(error));
        QCOMPARE(listed.size(), records.size());
        const TTransferRecord& batch = listed[2];
        QCOMPARE(batch.Detail, records[2].Detail);
        QCOMPARE(batch.Sha256, records[2].Sha256);
        QCOMPARE(listed[4].Time, records[0].Time);
        QCOMPARE(listed[4].Uid, records[0].Uid);
        QCOMPARE(HistoryFieldValues(listed[4]), HistoryFieldValues(records[0]));

        const auto files = [&](THistoryFilter filter) {
            QList<TTransferRecord> found;
            if (!store.List(filter, found, error))
                qWarning("%s", qPrintable(error));
            return Files(found);
        };
        THistoryFilter filter;
        filter.Device = "02:51:58:00:01:0a";
        QCOMPARE(files(filter), QStringList({ "O1b.nc", "O1.nc", "O1.nc" }));
        filter.Device = "10.0.0.2";
        QCOMPARE(files(filter), QStringList({ "O2.nc" }));
        filter = {};
        filter.Since = At("2026-05-02T09:00:00Z");
        filter.Until = At("2026-05-04T00:00:00Z");
        QCOMPARE(files(filter), QStringList({ "O3.nc@pc-2", "O1.nc" }));
        filter = {};
        filter.Success = true;
        QCOMPARE(files(filter), QStringList({ "O3.nc@pc-2", "O1.nc" }));
        filter.Success = false;
        QCOMPARE(files(filter), QStringList({ "O1b.nc", "O1.nc", "O2.nc" }));
        filter = {};
        filter.Workstation = "pc-2";
        QCOMPARE(files(filter), QStringList({ "O3.nc@pc-2" }));

        filter = {};
        filter.Limit = 2;
        QStringList oldestFirst;
        QVERIFY(store.Each(
            filter, THistoryOrder::OldestFirst,
            [&](const TTransferRecord& r) {
                oldestFirst << r.FileName.section('/', -1);
                return true;
            },
            error));
        QCOMPARE(oldestFirst, QStringList({ "O3.nc", "O1b.nc" }));

        QVERIFY2(store.LastSent(listed, error), qPrintable(error));
        QCOMPARE(Files(listed), QStringList({ "O1b.nc", "O2.nc" }));
        QList<THistoryDevice> devices;
        QVERIFY2(store.Devices(devices, error), qPrintable(error));
        QCOMPARE(devices.size(), 3);

        QCOMPARE(store.RemoveOlderThan(At("2026-05-02T00:00:00Z"), error, 1), 1);
        QCOMPARE(store.RemoveOlderThan(At("2026-05-02T00:00:00Z"), error), 1);
        QVERIFY(store.List({}, listed, error));
        QCOMPARE(listed.size(), 3);
    }

    // A history of the previous schema (no workstation ids) is brought up to
    // date on opening, its records kept, on both stores.
    void upgradeFromPreviousSchema_data() { bothStores_data(); }
    void upgradeFromPreviousSchema()
    {
        QFETCH(QString, kind);
        if (kind == "server")
            QUILLEX_REQUIRE_POSTGRES(*FServer);
        QString location;
        {
            THistoryStore empty;
            QString error;
            QVERIFY2(OpenEmpty(kind, empty, error), qPrintable(error));
            location = empty.Path();
            QSqlDatabase db = empty.Database();
            QSqlQuery drop(db);
            QVERIFY(drop.exec("DROP TABLE transfer"));
            QVERIFY(drop.exec(kind == "file" ? "PRAGMA user_version = 0" : "DROP TABLE schema_version"));
            QVERIFY2(MigrateHistorySchema(db, error, HistorySchemaVersion - 1), qPrintable(error));
            QCOMPARE(HistorySchemaVersionOf(db), HistorySchemaVersion - 1);
            QSqlQuery old(db);
            QVERIFY2(old.exec("INSERT INTO transfer (time_ms, user_name, host_name, device_name, ip_address, mac_id,"
                              " kind, file_name, success, verification) VALUES (1777000000000, 'ayse', 'atolye-pc',"
                              " 'Torna 1', '10.0.0.1', 'AA:BB', 'upload', '/p/O1.nc', 1, 'verified')"),
                qPrintable(old.lastError().text()));
        }
        THistoryStore store;
        QString error;
        QVERIFY2(store.Open(location, error), qPrintable(error));
        QCOMPARE(HistorySchemaVersionOf(store.Database()), HistorySchemaVersion);
        QList<TTransferRecord> listed;
        QVERIFY2(store.List({}, listed, error), qPrintable(error));
        QCOMPARE(listed.size(), 1);
        QCOMPARE(listed[0].FileName, "/p/O1.nc");
        QCOMPARE(listed[0].Uid, QString());
        // A new record is kept once, however often it is sent.
        TTransferRecord r = Sample("10.0.0.1", "AA:BB", QDateTime::currentDateTimeUtc(), true);
        QVERIFY2(store.Add(r, error), qPrintable(error));
        QVERIFY(store.Add(r, error));
        QCOMPARE(r.Id, 0);
        QVERIFY(store.List({}, listed, error));
        QCOMPARE(listed.size(), 2);
    }

    void eightWritersNothingLostOrDoubled()
    {
        QUILLEX_REQUIRE_POSTGRES(*FServer);
        THistoryStore server;
        QString error;
        QVERIFY2(OpenEmpty("server", server, error), qPrintable(error));
        constexpr int Writers = 8, Each = 2000;
        std::vector<std::unique_ptr<QProcess>> children;
        for (int w = 0; w < Writers; ++w) {
            auto child = std::make_unique<QProcess>();
            child->setProcessChannelMode(QProcess::ForwardedErrorChannel);
            child->start(QCoreApplication::applicationFilePath(),
                { "--writer", FDir.filePath(QString("writer-%1.sqlite").arg(w)), FServer->Location(),
                    QString::number(w), QString::number(Each) });
            children.push_back(std::move(child));
        }
        for (auto& child : children) {
            QVERIFY(child->waitForFinished(540000));
            QCOMPARE(child->exitCode(), 0);
        }
        QSqlQuery count(server.Database());
        QVERIFY(
            count.exec("SELECT COUNT(*), COUNT(DISTINCT uid), COUNT(DISTINCT detail) FROM transfer") && count.next());
        QCOMPARE(count.value(0).toInt(), Writers * Each);
        QCOMPARE(count.value(1).toInt(), Writers * Each);
        QCOMPARE(count.value(2).toInt(), Writers * Each);
        // Each writer's records arrived in the order they were made.
        QSqlQuery order(server.Database());
        QVERIFY(order.exec("SELECT detail FROM transfer ORDER BY id"));
        QList<int> next(Writers, 0);
        while (order.next()) {
            const QStringList parts = order.value(0).toString().split('/');
            const int w = parts[0].toInt();
            QCOMPARE(parts[1].toInt(), next[w]);
            ++next[w];
        }
    }

    // Records given together are written together: those given from several
    // threads at once are in the file once Flush returns, even when the
    // process dies right after, and reach the server each once, in order.
    void flushedRecordsSurviveADeath_data()
    {
        QTest::addColumn<bool>("serverUp");
        QTest::newRow("server up") << true;
        QTest::newRow("server unreachable") << false;
    }
    void flushedRecordsSurviveADeath()
    {
        QFETCH(bool, serverUp);
        QUILLEX_REQUIRE_POSTGRES(*FServer);
        THistoryStore server;
        QString error;
        QVERIFY2(OpenEmpty("server", server, error), qPrintable(error));
        QString location = FServer->Location();
        if (!serverUp) {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
            location = QString("postgresql://quillex@127.0.0.1:%1/postgres").arg(probe.serverPort());
        } // closed again: nothing listens there
        constexpr int Each = 1500;
        const QString queue = FDir.filePath(QString("dying-%1.sqlite").arg(QTest::currentDataTag()));
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(
            QCoreApplication::applicationFilePath(), { "--dying-writer", queue, location, QString::number(Each) });
        QVERIFY(child.waitForFinished(240000));
        QCOMPARE(child.exitCode(), 0);

        THistoryStore local;
        QVERIFY2(local.Open(queue, error), qPrintable(error));
        QSqlQuery localRows(local.Database());
        QVERIFY(localRows.exec("SELECT detail FROM transfer ORDER BY id"));
        const QString localOrder = CheckEachOnceInOrder(localRows, DyingWriterThreads, Each);
        QVERIFY2(localOrder.isEmpty(), qPrintable(localOrder));
        QCOMPARE(local.PendingCount(error), serverUp ? 0 : DyingWriterThreads * Each);
        QSqlQuery serverRows(server.Database());
        QVERIFY(serverRows.exec("SELECT detail FROM transfer ORDER BY id"));
        if (serverUp) {
            const QString serverOrder = CheckEachOnceInOrder(serverRows, DyingWriterThreads, Each);
            QVERIFY2(serverOrder.isEmpty(), qPrintable(serverOrder));
        } else {
            QVERIFY(!serverRows.next());
        }
    }

    // A batch sent again after its answer was lost (the server has some of
    // its records, the file still has them waiting), across the batch size:
    // every record ends on the server once and none waits.
    void batchSentAgainKeptOnce()
    {
        QUILLEX_REQUIRE_POSTGRES(*FServer);
        THistoryStore server, local;
        QString error;
        QVERIFY2(OpenEmpty("server", server, error), qPrintable(error));
        QVERIFY2(OpenEmpty("file", local, error), qPrintable(error));
        const int count = 2 * SharedHistoryBatch + 234;
        QList<TTransferRecord> records;
        for (int i = 0; i < count; ++i) {
            TTransferRecord r = Sample("10.0.0.7", {}, QDateTime::currentDateTimeUtc(), true);
            r.Detail = QString::number(i);
            r.Uid = QString("uid-%1").arg(i);
            records << r;
        }
        QVERIFY2(local.AddAll(records, error, true), qPrintable(error));
        QCOMPARE(local.PendingCount(error), count);
        // Already there: the first and last record and a run over a batch's end.
        QList<TTransferRecord> arrived { records.first(), records.last() };
        arrived += records.mid(SharedHistoryBatch - 20, 60);
        QVERIFY2(server.AddAll(arrived, error), qPrintable(error));

        QCOMPARE(ForwardPendingRecords(local, server, error), count);
        QCOMPARE(local.PendingCount(error), 0);
        QCOMPARE(ForwardPendingRecords(local, server, error), 0);
        QSqlQuery rows(server.Database());
        QVERIFY(rows.exec("SELECT detail, uid FROM transfer"));
        QSet<int> seen;
        while (rows.next()) {
            const int i = rows.value(0).toInt();
            QVERIFY2(!seen.contains(i), qPrintable(rows.value(0).toString()));
            QCOMPARE(rows.value(1).toString(), QString("uid-%1").arg(i));
            seen.insert(i);
        }
        QCOMPARE(seen.size(), count);
    }

    // The server goes away in the middle of a run of uploads and comes back:
    // the window is told once how many records wait, and every record arrives
    // once, in order.
    void serverStoppedInTheMiddle()
    {
        QUILLEX_REQUIRE_POSTGRES(*FServer);
        THistoryStore server;
        QString error;
        QVERIFY2(OpenEmpty("server", server, error), qPrintable(error));
        server.Database().close();
        const QString queue = FDir.filePath("stopped.sqlite");
        THistoryRecorder recorder(queue, 0, FServer->Location());
        QSignalSpy states(&recorder, &THistoryRecorder::SharedState);
        const auto record = [&](int from, int to) {
            for (int i = from; i < to; ++i) {
                TTransferRecord r = Sample("10.0.0.9", {}, QDateTime::currentDateTimeUtc(), true);
                r.Detail = QString::number(i);
                recorder.Record(r);
            }
            recorder.Flush();
        };
        record(0, 20);
        QVERIFY(FServer->Stop());
        record(20, 40);
        QTRY_VERIFY(!states.isEmpty() && !states.last().at(0).toBool() && states.last().at(1).toLongLong() == 20);
        QVERIFY(!states.last().at(2).toString().isEmpty());
        QVERIFY2(FServer->Start(), qPrintable(FServer->Error()));
        record(40, 50);
        recorder.RetryShared();
        recorder.Flush();
        QTRY_VERIFY(states.last().at(0).toBool() && states.last().at(1).toLongLong() == 0);

        THistoryStore check;
        QVERIFY2(check.Open(FServer->Location(), error), qPrintable(error));
        QSqlQuery rows(check.Database());
        QVERIFY(rows.exec("SELECT detail FROM transfer ORDER BY id"));
        QStringList details;
        while (rows.next())
            details << rows.value(0).toString();
        QStringList expected;
        for (int i = 0; i < 50; ++i)
            expected << QString::number(i);
        QCOMPARE(details, expected);
    }

    // A wrong password and a host nobody answers on: a clear message, the
    // record kept in the file to be sent later.
    void unusableServerKeepsRecords_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("closedPort");
        QTest::addColumn<QString>("message");
        QTest::newRow("wrong password") << "yanlis" << false << "password authentication failed";
        QTest::newRow("unreachable host") << TPostgresServer::Password << true << "127.0.0.1";
    }
    void unusableServerKeepsRecords()
    {
        QFETCH(QString, password);
        QFETCH(bool, closedPort);
        QFETCH(QString, message);
        QUILLEX_REQUIRE_POSTGRES(*FServer);
        QString location = FServer->Location();
        if (closedPort) {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
            location = QString("postgresql://quillex@127.0.0.1:%1/postgres").arg(probe.serverPort());
        } // closed again: nothing listens there
        qputenv("QUILLEX_HISTORY_PASSWORD", password.toUtf8());
        THistoryStore server;
        QString error;
        QVERIFY(!server.Open(location, error));
        QVERIFY2(error.contains(message), qPrintable(error));
        {
            THistoryRecorder recorder(FDir.filePath(QTest::currentDataTag() + QString(".sqlite")), 0, location);
            QSignalSpy states(&recorder, &THistoryRecorder::SharedState);
            QSignalSpy failed(&recorder, &THistoryRecorder::Failed);
            recorder.Record(Sample("10.0.0.4", {}, QDateTime::currentDateTimeUtc(), true));
            recorder.Flush();
            QTRY_VERIFY(!states.isEmpty() && states.last().at(1).toLongLong() == 1);
            QCOMPARE(states.last().at(0).toBool(), false);
            QVERIFY(failed.isEmpty()); // the file took the record
        }
        qputenv("QUILLEX_HISTORY_PASSWORD", TPostgresServer::Password);
        THistoryStore local;
        QVERIFY(local.Open(FDir.filePath(QTest::currentDataTag() + QString(".sqlite")), error));
        QCOMPARE(local.PendingCount(error), 1);
    }

    // Two workstations (quillex-cli with settings and files of their own)
    // share one history; one of them works on while the server is away, and
    // its waiting record arrives once when the server is back.
    void twoWorkstationsShareOneHistory()
    {
        QUILLEX_REQUIRE_POSTGRES(*FServer);
        {
            THistoryStore server;
            QString error;
            QVERIFY2(OpenEmpty("server", server, error), qPrintable(error));
        }
        const quint16 statusPort = FreeUdpPort();
        const QString ip = RunIp("29.1");
        TSimulation sim(statusPort, { QString("ip=%1,name=Torna 9,index=5:0;9:10;12:20").arg(ip) });
        QVERIFY(sim.Ready());
        TCli first(statusPort), second(statusPort);
        for (const TCli* cli : { &first, &second }) {
            QSettings settings(cli->File("quillex_settings.ini"), QSettings::IniFormat);
            settings.setValue("History/Database", FServer->Location());
        }
        for (const TCli* cli : { &first, &second }) {
            const TRun run = cli->Run({ "startfrom", ip, "0" });
            QVERIFY2(run.ExitCode == 0, qPrintable(run.Err));
        }
        const auto shared = [&](const TCli& cli) {
            const TRun run = cli.Run({ "history", "--json" });
            return QJsonDocument::fromJson(run.Out).array();
        };
        QCOMPARE(shared(first).size(), 2);

        QVERIFY(FServer->Stop());
        const TRun away = second.Run({ "startfrom", ip, "1" });
        QCOMPARE(away.ExitCode, 0); // the operation's own outcome
        QVERIFY2(away.Err.contains(QString::fromUtf8("1 kayıt bekliyor")), qPrintable(away.Err));
        const TRun local = second.Run({ "history", "--json" });
        QCOMPARE(QJsonDocument::fromJson(local.Out).array().size(), 2); // this workstation's own file
        QVERIFY2(local.Err.contains(QString::fromUtf8("bu bilgisayarın kayıtları")), qPrintable(local.Err));

        QVERIFY2(FServer->Start(), qPrintable(FServer->Error()));
        QCOMPARE(second.Run({ "startfrom", ip, "2" }).ExitCode, 0);
        const QJsonArray all = shared(first);
        QStringList commands;
        for (const QJsonValue& r : all)
            commands << r["commands"].toString().trimmed();
        QCOMPARE(commands, QStringList({ "STARTFROM0", "STARTFROM0", "STARTFROM1", "STARTFROM2" }));
        const TRun machines = first.Run({ "machines", "--json" });
        QCOMPARE(QJsonDocument::fromJson(machines.Out).array().size(), 0); // start-from commands send no program
    }
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.value(1) == "--writer")
        return RunWriter(args.mid(2));
    if (args.value(1) == "--dying-writer")
        return RunDyingWriter(args.mid(2));
    TestSharedHistory test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_sharedhistory.moc"
