// The shared history on a PostgreSQL server of the benchmark's own (initdb and
// pg_ctl as the tests start it): 100,000 records written through the
// recorder (its local queue file, then the server) against psql running the
// same inserts in one session; and the first page of one device in a
// 1,000,000-row history against loading the whole table.
#include "BenchUtil.h"

#include "history/HistoryRecorder.h"
#include "history/HistoryStore.h"
#include "history/HistoryTableModel.h"
#include "tests/PostgresServer.h"

#include <QCoreApplication>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUuid>

namespace {

constexpr int Devices = 20;

TTransferRecord Record(int i, const QDateTime& start)
{
    const int device = i % Devices;
    TTransferRecord r = NewTransferRecord(TTransferKind::Upload, QString("Torna %1").arg(device),
        QString("192.168.1.%1").arg(20 + device), QString("02:51:58:00:01:%1").arg(device, 2, 16, QChar('0')));
    r.Time = start.addSecs(i * 60);
    r.FileName = QString("/home/operator/programs/O%1.nc").arg(1000 + i % 500);
    SetRecordBytes(r, QByteArray::number(i) + " G1 X1 Y2");
    r.DurationMs = 1200 + i % 900;
    r.Success = i % 17 != 0;
    r.Message = r.Success ? QString::fromUtf8("Başarı ile Tamamlandı.") : "Hata: zaman asimi (hata kodu: 11)";
    return r;
}

QString SqlText(const QString& text)
{
    return "'" + QString(text).replace("'", "''") + "'";
}

// The inserts the recorder makes on the server, one statement (and transaction) each.
QByteArray InsertScript(const QList<TTransferRecord>& records)
{
    QByteArray script = "\\set ON_ERROR_STOP on\n";
    for (const TTransferRecord& r : records)
        script += QString("INSERT INTO transfer (time_ms, user_name, host_name, device_name, ip_address, mac_id, kind,"
                          " file_name, detail, byte_count, crc32, sha256, duration_ms, success, message, verification,"
                          " uid) VALUES (%1, %2, %3, %4, %5, %6, 'upload', %7, '', %8, %9, %10, %11, %12, %13, '', %14)"
                          " ON CONFLICT DO NOTHING;\n")
                      .arg(r.Time.toMSecsSinceEpoch())
                      .arg(SqlText(r.UserName), SqlText(r.HostName), SqlText(r.DeviceName), SqlText(r.IPAddress),
                          SqlText(r.MacId), SqlText(r.FileName))
                      .arg(r.ByteCount)
                      .arg(SqlText(r.Crc32), SqlText(r.Sha256))
                      .arg(r.DurationMs)
                      .arg(r.Success ? 1 : 0)
                      .arg(SqlText(r.Message), SqlText(QUuid::createUuid().toString(QUuid::WithoutBraces)))
                      .toUtf8();
    return script;
}

void Exec(THistoryStore& store, const QString& sql)
{
    QSqlQuery query(store.Database());
    if (!query.exec(sql))
        qFatal("%s: %s", qPrintable(sql.left(60)), qPrintable(query.lastError().text()));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    qputenv("QUILLEX_HISTORY_PASSWORD", TPostgresServer::Password);
    qputenv("PGPASSWORD", TPostgresServer::Password);
    const QString psql = QStandardPaths::findExecutable("psql");
    TPostgresServer server;
    if (!server.Available() || !server.Running() || psql.isEmpty())
        qFatal("bench: the PostgreSQL server programs and psql are needed (scripts/install-deps.sh): %s",
            qPrintable(server.Error()));
    const QStringList psqlArgs { "-q", "-X", "-h", "127.0.0.1", "-p", QString::number(server.Port()), "-U",
        TPostgresServer::User, "-d", "postgres" };
    QTemporaryDir dir;
    QString error;
    THistoryStore store;
    if (!store.Open(server.Location(), error))
        qFatal("%s", qPrintable(error));

    // (a) 100,000 records: the recorder (a local queue file of its own each
    // run, then the server) against psql with the same inserts in one session.
    const int count = qEnvironmentVariableIsSet("QUILLEX_BENCH_RECORDS")
        ? qEnvironmentVariableIntValue("QUILLEX_BENCH_RECORDS")
        : 100000;
    QList<TTransferRecord> records;
    const QDateTime start = QDateTime::currentDateTimeUtc().addDays(-300);
    for (int i = 0; i < count; ++i)
        records.append(Record(i, start));
    WriteBenchFile(dir.filePath("insert.sql"), InsertScript(records));
    int run = 0;
    const auto ours = [&] {
        THistoryRecorder recorder(dir.filePath(QString("queue-%1.sqlite").arg(++run)), 0, server.Location());
        for (const TTransferRecord& r : records)
            recorder.Record(r);
        recorder.Flush();
    };
    const auto peer = Command(psql, psqlArgs + QStringList { "-f", dir.filePath("insert.sql") });
    // Each side starts from an empty table; 100,000 records a side take long
    // enough that no warm-up run is needed, and three pairs by default.
    const int pairs = qEnvironmentVariableIsSet("QUILLEX_BENCH_PAIRS") ? BenchPairs() : 3;
    std::vector<TTimes> ourTimes, peerTimes;
    for (int i = 0; i < pairs; ++i) {
        Exec(store, "TRUNCATE transfer");
        ourTimes.push_back(Measure(ours));
        Exec(store, "TRUNCATE transfer");
        peerTimes.push_back(Measure(peer));
    }
    {
        QSqlQuery rows(store.Database());
        if (!rows.exec("SELECT count(*) FROM transfer") || !rows.next() || rows.value(0).toInt() != count)
            qFatal("psql did not write every record");
    }
    PrintPairs(qPrintable(QString("record %1 operations: recorder / psql").arg(count)), ourTimes, peerTimes, 1.5);

    // (b) 1,000,000 rows of 20 devices, made on the server itself.
    Exec(store, "TRUNCATE transfer");
    Exec(store,
        "INSERT INTO transfer (time_ms, user_name, host_name, device_name, ip_address, mac_id, kind, file_name,"
        " byte_count, crc32, sha256, duration_ms, success, message, uid)"
        " SELECT 1700000000000 + g * 60000, 'operator', 'atolye-pc', 'Torna ' || (g % 20),"
        " '192.168.1.' || (20 + g % 20), '02:51:58:00:01:' || lpad(to_hex(g % 20), 2, '0'), 'upload',"
        " '/home/operator/programs/O' || (1000 + g % 500) || '.nc', 20000 + g % 5000, 'DEADBEEF',"
        " md5(g::text) || md5(g::text), 1200 + g % 900, CASE WHEN g % 17 = 0 THEN 0 ELSE 1 END,"
        " 'Başarı ile Tamamlandı.', 'bench-' || g FROM generate_series(1::bigint, 1000000) AS g");
    Exec(store, "ANALYZE transfer");
    THistoryFilter filter;
    filter.Device = "192.168.1.27";
    filter.Limit = THistoryTableModel::PageSize;
    QList<TTransferRecord> page;
    const TPairs listing = TakePairs(
        [&] {
            if (!store.List(filter, page, error) || page.size() != THistoryTableModel::PageSize)
                qFatal("first page: %s", qPrintable(error));
        },
        // Unaligned: psql's column layout of a million rows is not what is measured.
        Command(psql, psqlArgs + QStringList { "-A", "-t", "-c", "SELECT * FROM transfer" }));
    PrintPairs("first page of one device / whole table (1,000,000 rows)", listing, 0.1);
    return 0;
}
