// The transfer history: recording 100,000 operations (one transaction each,
// as operations end one by one) and listing the last 1,000 of one device,
// against the sqlite3 shell running the same statements on the same schema.
#include "BenchUtil.h"

#include "history/HistoryRecorder.h"
#include "history/HistoryStore.h"

#include <QCoreApplication>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {

constexpr int Operations = 100000;
constexpr int Devices = 20;
constexpr int Listed = 1000;

QList<TTransferRecord> BuildRecords()
{
    QList<TTransferRecord> records;
    records.reserve(Operations);
    const QDateTime start = QDateTime::currentDateTimeUtc().addDays(-300);
    for (int i = 0; i < Operations; ++i) {
        const int device = i % Devices;
        TTransferRecord r = NewTransferRecord(TTransferKind(i % 4), QString("Torna %1").arg(device),
            QString("192.168.1.%1").arg(20 + device), QString("02:51:58:00:01:%1").arg(device, 2, 16, QChar('0')));
        r.Time = start.addSecs(i * 60);
        r.FileName = QString("/home/operator/programs/O%1.nc").arg(1000 + i % 500);
        SetRecordBytes(r, QByteArray::number(i) + " G1 X1 Y2");
        r.ByteCount = 20000 + i % 5000;
        r.DurationMs = 1200 + i % 900;
        r.Success = i % 17 != 0;
        r.Message = r.Success ? QString::fromUtf8("Başarı ile Tamamlandı.") : "Hata: zaman asimi (hata kodu: 11)";
        records.append(r);
    }
    return records;
}

QString SqlText(const QString& text)
{
    return "'" + QString(text).replace("'", "''") + "'";
}

QByteArray InsertScript(const QList<TTransferRecord>& records)
{
    QByteArray script = "PRAGMA synchronous=NORMAL;\n";
    for (const TTransferRecord& r : records)
        script += QString("INSERT INTO transfer (time_ms, user_name, host_name, device_name, ip_address, mac_id, kind,"
                          " file_name, detail, byte_count, crc32, sha256, duration_ms, success, message, verification)"
                          " VALUES (%1, %2, %3, %4, %5, %6, %7, %8, '', %9, %10, %11, %12, %13, %14, '');\n")
                      .arg(r.Time.toMSecsSinceEpoch())
                      .arg(SqlText(r.UserName), SqlText(r.HostName), SqlText(r.DeviceName), SqlText(r.IPAddress),
                          SqlText(r.MacId), SqlText(TransferKindName(r.Kind)), SqlText(r.FileName))
                      .arg(r.ByteCount)
                      .arg(SqlText(r.Crc32), SqlText(r.Sha256))
                      .arg(r.DurationMs)
                      .arg(r.Success ? 1 : 0)
                      .arg(SqlText(r.Message))
                      .toUtf8();
    return script;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QList<TTransferRecord> records = BuildRecords();
    const QString device = "192.168.1.27";
    QString error;

    // (a) 100,000 records, each its own transaction.
    const QString ours = dir.filePath("ours.sqlite");
    double recordSeconds = 0;
    {
        THistoryStore store;
        if (!store.Open(ours, error))
            qFatal("%s", qPrintable(error));
        recordSeconds = BestSeconds(1, [&] {
            for (TTransferRecord r : records)
                if (!store.Add(r, error))
                    qFatal("%s", qPrintable(error));
        });
    }
    PrintFigure("record 100,000 operations (one transaction each)", recordSeconds, "s", "");
    PrintFigure("  per operation", recordSeconds / Operations * 1e6, "us", "");

    // (b) the window's side of a record: handing it to the recorder's thread.
    {
        THistoryRecorder recorder(dir.filePath("recorder.sqlite"), 0);
        recorder.Flush();
        const int n = 10000;
        const double handOver = BestSeconds(1, [&] {
            for (int i = 0; i < n; ++i)
                recorder.Record(records[i]);
        });
        recorder.Flush();
        PrintFigure("window thread per record (hand-over to the recorder)", handOver / n * 1e6, "us", "");
    }

    // (c) the last 1,000 of one device among 20, newest first.
    THistoryStore store;
    if (!store.Open(ours, error))
        qFatal("%s", qPrintable(error));
    QList<TTransferRecord> listed;
    THistoryFilter filter;
    filter.Device = device;
    filter.Limit = Listed;
    const double listSeconds = BestSeconds(5, [&] {
        if (!store.List(filter, listed, error) || listed.size() != Listed)
            qFatal("listing failed: %s", qPrintable(error));
    });
    PrintFigure("list the last 1,000 operations of one device", listSeconds * 1e3, "ms", "");

    // The peer: the sqlite3 shell on the same schema, the same statements.
    const QString sqlite3 = QStandardPaths::findExecutable("sqlite3");
    if (sqlite3.isEmpty()) {
        std::printf("sqlite3 shell not found: no ratios\n");
        return 0;
    }
    const QString peer = dir.filePath("peer.sqlite");
    {
        THistoryStore schema;
        if (!schema.Open(peer, error))
            qFatal("%s", qPrintable(error));
    }
    WriteBenchFile(dir.filePath("insert.sql"), InsertScript(records));
    const double peerRecord = CommandSeconds(1, sqlite3, { peer }, dir.filePath("insert.sql"));
    PrintFigure("sqlite3 shell: the same 100,000 inserts", peerRecord, "s", "");
    PrintFigure("record: ours / sqlite3 shell", recordSeconds / peerRecord, "x", "");
    WriteBenchFile(dir.filePath("list.sql"),
        QString("SELECT * FROM transfer WHERE (ip_address = '%1' OR mac_id = '%1') ORDER BY time_ms DESC, id DESC"
                " LIMIT %2;\n")
            .arg(device)
            .arg(Listed)
            .toUtf8());
    // The shell's figure includes its start; so does a fair share of ours: opening the file.
    const double peerList = CommandSeconds(5, sqlite3, { peer }, dir.filePath("list.sql"));
    const double openAndList = BestSeconds(5, [&] {
        THistoryStore fresh;
        if (!fresh.Open(ours, error) || !fresh.List(filter, listed, error))
            qFatal("%s", qPrintable(error));
    });
    PrintFigure("sqlite3 shell: start, open, the same listing", peerList * 1e3, "ms", "");
    PrintFigure("ours: open and list", openAndList * 1e3, "ms", "");
    PrintFigure("list: ours (open and list) / sqlite3 shell", openAndList / peerList, "x", "");
    return 0;
}
