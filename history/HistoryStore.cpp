// The history file: opening in WAL mode, the schema's steps, writing one
// record and reading them back filtered.
#include "HistoryStore.h"

#include "config/Settings.h"

#include <QAtomicInteger>
#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QVariant>

namespace {

// Each step takes the schema from its position in the list to the next version.
const char* const SchemaSteps[] = {
    // 1: the first layout, times as ISO 8601 text.
    "CREATE TABLE transfers (id INTEGER PRIMARY KEY, time TEXT NOT NULL, user TEXT, host TEXT,"
    " device_name TEXT, ip TEXT, mac_id TEXT, kind TEXT, file_name TEXT, bytes INTEGER, crc32 TEXT,"
    " sha256 TEXT, duration_ms INTEGER, outcome TEXT, message TEXT);"
    "CREATE INDEX transfers_time ON transfers(time);",
    // 2: times as milliseconds since 1970 (UTC) for cheap ranges and indexes per
    // device, the command lines of a batch and the read-back result.
    "CREATE TABLE transfer (id INTEGER PRIMARY KEY, time_ms INTEGER NOT NULL,"
    " user_name TEXT NOT NULL DEFAULT '', host_name TEXT NOT NULL DEFAULT '',"
    " device_name TEXT NOT NULL DEFAULT '', ip_address TEXT NOT NULL DEFAULT '',"
    " mac_id TEXT NOT NULL DEFAULT '' COLLATE NOCASE, kind TEXT NOT NULL,"
    " file_name TEXT NOT NULL DEFAULT '', detail TEXT NOT NULL DEFAULT '',"
    " byte_count INTEGER NOT NULL DEFAULT 0, crc32 TEXT NOT NULL DEFAULT '',"
    " sha256 TEXT NOT NULL DEFAULT '', duration_ms INTEGER NOT NULL DEFAULT 0,"
    " success INTEGER NOT NULL, message TEXT NOT NULL DEFAULT '', verification TEXT NOT NULL DEFAULT '');"
    "INSERT INTO transfer (id, time_ms, user_name, host_name, device_name, ip_address, mac_id, kind,"
    " file_name, byte_count, crc32, sha256, duration_ms, success, message)"
    " SELECT id, CAST(ROUND((julianday(time) - 2440587.5) * 86400000.0) AS INTEGER), IFNULL(user, ''),"
    " IFNULL(host, ''), IFNULL(device_name, ''), IFNULL(ip, ''), IFNULL(mac_id, ''), IFNULL(kind, 'upload'),"
    " IFNULL(file_name, ''), IFNULL(bytes, 0), IFNULL(crc32, ''), IFNULL(sha256, ''),"
    " IFNULL(duration_ms, 0), outcome = 'ok', IFNULL(message, '') FROM transfers WHERE julianday(time) IS NOT NULL;"
    "DROP TABLE transfers;"
    "CREATE INDEX transfer_time ON transfer(time_ms);"
    "CREATE INDEX transfer_ip_time ON transfer(ip_address, time_ms);"
    "CREATE INDEX transfer_mac_time ON transfer(mac_id, time_ms);",
};
static_assert(std::size(SchemaSteps) == HistorySchemaVersion);

const char* const Columns = "id, time_ms, user_name, host_name, device_name, ip_address, mac_id, kind, file_name,"
                            " detail, byte_count, crc32, sha256, duration_ms, success, message, verification";

QString SqlError(const QSqlError& error)
{
    return error.text().trimmed();
}

bool Exec(QSqlDatabase& db, const QString& sql, QString& errorMsg)
{
    QSqlQuery query(db);
    if (!query.exec(sql)) {
        errorMsg = SqlError(query.lastError());
        return false;
    }
    return true;
}

// The SQLite driver runs one statement per exec: a step is split at its semicolons
// (no statement of a step holds one in a literal).
bool ExecScript(QSqlDatabase& db, const QString& script, QString& errorMsg)
{
    for (const QString& statement : script.split(';', Qt::SkipEmptyParts))
        if (!statement.trimmed().isEmpty() && !Exec(db, statement, errorMsg))
            return false;
    return true;
}

TTransferRecord RecordFrom(const QSqlQuery& q)
{
    TTransferRecord r;
    r.Id = q.value(0).toLongLong();
    r.Time = QDateTime::fromMSecsSinceEpoch(q.value(1).toLongLong(), Qt::UTC);
    r.UserName = q.value(2).toString();
    r.HostName = q.value(3).toString();
    r.DeviceName = q.value(4).toString();
    r.IPAddress = q.value(5).toString();
    r.MacId = q.value(6).toString();
    TransferKindFromName(q.value(7).toString(), r.Kind);
    r.FileName = q.value(8).toString();
    r.Detail = q.value(9).toString();
    r.ByteCount = q.value(10).toLongLong();
    r.Crc32 = q.value(11).toString();
    r.Sha256 = q.value(12).toString();
    r.DurationMs = q.value(13).toLongLong();
    r.Success = q.value(14).toInt() != 0;
    r.Message = q.value(15).toString();
    r.Verification = q.value(16).toString();
    return r;
}

} // namespace

QString DefaultHistoryPath()
{
    // quillex-cli runs under its own application name: the folder is the window's.
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)).filePath("quillex")
        + "/history.sqlite";
}

int HistoryMaxAgeDays(const QString& settingsFile)
{
    QSettings settings = OpenSettingsFile(settingsFile);
    bool ok = false;
    const int days = SettingValue(settings, "History/MaxAgeDays").toInt(&ok);
    return ok && days >= 0 ? days : DefaultHistoryMaxAgeDays;
}

int HistorySchemaVersionOf(const QSqlDatabase& db)
{
    QSqlQuery query(db);
    if (!query.exec("PRAGMA user_version") || !query.next())
        return -1;
    const int version = query.value(0).toInt();
    query.finish();
    return version;
}

bool MigrateHistorySchema(QSqlDatabase& db, QString& errorMsg)
{
    const int version = HistorySchemaVersionOf(db);
    if (version < 0) {
        errorMsg = SqlError(db.lastError());
        return false;
    }
    if (version > HistorySchemaVersion) {
        errorMsg = QString::fromUtf8("geçmiş dosyası bu sürümden yeni bir sürümle yazılmış (şema %1)").arg(version);
        return false;
    }
    for (int step = version; step < HistorySchemaVersion; ++step) {
        if (!db.transaction()) {
            errorMsg = SqlError(db.lastError());
            return false;
        }
        if (!ExecScript(db, QString::fromLatin1(SchemaSteps[step]), errorMsg)
            || !Exec(db, QString("PRAGMA user_version = %1").arg(step + 1), errorMsg) || !db.commit()) {
            if (errorMsg.isEmpty())
                errorMsg = SqlError(db.lastError());
            db.rollback();
            return false;
        }
    }
    return true;
}

THistoryStore::THistoryStore()
{
    static QAtomicInteger<quint64> counter;
    FConnection = QString("quillex-history-%1").arg(++counter);
}

THistoryStore::~THistoryStore()
{
    {
        QSqlDatabase db = QSqlDatabase::database(FConnection, false);
        if (db.isValid())
            db.close();
    }
    if (QSqlDatabase::contains(FConnection))
        QSqlDatabase::removeDatabase(FConnection);
}

QSqlDatabase THistoryStore::Database() const
{
    return QSqlDatabase::database(FConnection, false);
}

bool THistoryStore::Open(const QString& path, QString& errorMsg)
{
    FPath = path;
    FOpen = false;
    if (!QSqlDatabase::isDriverAvailable("QSQLITE")) {
        errorMsg = QString::fromUtf8("SQLite sürücüsü (QSQLITE) bulunamadı");
        return false;
    }
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath())) {
        errorMsg = QString::fromUtf8("%1 klasörü oluşturulamadı").arg(info.absolutePath());
        return false;
    }
    QSqlDatabase db = QSqlDatabase::contains(FConnection) ? QSqlDatabase::database(FConnection, false)
                                                          : QSqlDatabase::addDatabase("QSQLITE", FConnection);
    db.setDatabaseName(path);
    // A writer busy in another process (the window and quillex-cli at once) is waited for.
    db.setConnectOptions("QSQLITE_BUSY_TIMEOUT=5000");
    if (!db.open()) {
        errorMsg = SqlError(db.lastError());
        return false;
    }
    QSqlQuery mode(db);
    if (!mode.exec("PRAGMA journal_mode=WAL") || !mode.next()) {
        errorMsg = SqlError(mode.lastError());
        db.close();
        return false;
    }
    mode.finish(); // a statement still open would keep the schema steps from committing
    // In WAL mode a commit survives a killed process; NORMAL spares a sync per
    // record, at the risk of the last records on a power cut.
    if (!Exec(db, "PRAGMA synchronous=NORMAL", errorMsg) || !MigrateHistorySchema(db, errorMsg)) {
        db.close();
        return false;
    }
    FOpen = true;
    return true;
}

bool THistoryStore::Add(TTransferRecord& record, QString& errorMsg)
{
    if (!FOpen) {
        errorMsg = QString::fromUtf8("geçmiş dosyası açık değil");
        return false;
    }
    QSqlQuery q(Database());
    q.prepare("INSERT INTO transfer (time_ms, user_name, host_name, device_name, ip_address, mac_id, kind,"
              " file_name, detail, byte_count, crc32, sha256, duration_ms, success, message, verification)"
              " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    // A null text would bind as NULL: the columns take an empty text instead.
    const auto text = [](const QString& s) { return QVariant(s.isNull() ? QString("") : s); };
    const QVariant values[] = { record.Time.toMSecsSinceEpoch(), text(record.UserName), text(record.HostName),
        text(record.DeviceName), text(record.IPAddress), text(record.MacId), TransferKindName(record.Kind),
        text(record.FileName), text(record.Detail), record.ByteCount, text(record.Crc32), text(record.Sha256),
        record.DurationMs, record.Success ? 1 : 0, text(record.Message), text(record.Verification) };
    for (const QVariant& v : values)
        q.addBindValue(v);
    if (!q.exec()) {
        errorMsg = SqlError(q.lastError());
        return false;
    }
    record.Id = q.lastInsertId().toLongLong();
    return true;
}

qint64 THistoryStore::RemoveOlderThan(const QDateTime& time, QString& errorMsg)
{
    QSqlQuery q(Database());
    q.prepare("DELETE FROM transfer WHERE time_ms < ?");
    q.addBindValue(time.toMSecsSinceEpoch());
    if (!FOpen || !q.exec()) {
        errorMsg = FOpen ? SqlError(q.lastError()) : QString::fromUtf8("geçmiş dosyası açık değil");
        return -1;
    }
    return q.numRowsAffected();
}

bool THistoryStore::List(const THistoryFilter& filter, QList<TTransferRecord>& records, QString& errorMsg) const
{
    records.clear();
    QStringList where;
    QVariantList values;
    if (!filter.Device.isEmpty()) {
        where << "(ip_address = ? OR mac_id = ?)";
        values << filter.Device << filter.Device;
    }
    if (filter.Since.isValid()) {
        where << "time_ms >= ?";
        values << filter.Since.toMSecsSinceEpoch();
    }
    if (filter.Until.isValid()) {
        where << "time_ms < ?";
        values << filter.Until.toMSecsSinceEpoch();
    }
    if (filter.Success) {
        where << "success = ?";
        values << (*filter.Success ? 1 : 0);
    }
    QString sql = QString("SELECT %1 FROM transfer").arg(Columns);
    if (!where.isEmpty())
        sql += " WHERE " + where.join(" AND ");
    sql += " ORDER BY time_ms DESC, id DESC";
    if (filter.Limit >= 0)
        sql += QString(" LIMIT %1").arg(filter.Limit);
    QSqlQuery q(Database());
    q.setForwardOnly(true);
    q.prepare(sql);
    for (const QVariant& v : values)
        q.addBindValue(v);
    if (!FOpen || !q.exec()) {
        errorMsg = FOpen ? SqlError(q.lastError()) : QString::fromUtf8("geçmiş dosyası açık değil");
        return false;
    }
    while (q.next())
        records.append(RecordFrom(q));
    return true;
}

bool THistoryStore::Devices(QList<THistoryDevice>& devices, QString& errorMsg) const
{
    devices.clear();
    QSqlQuery q(Database());
    q.setForwardOnly(true);
    // The newest row of each device gives its name and address.
    if (!FOpen
        || !q.exec("SELECT device_name, key, ip_address FROM (SELECT device_name, ip_address,"
                   " CASE WHEN mac_id <> '' THEN UPPER(mac_id) ELSE ip_address END AS key,"
                   " ROW_NUMBER() OVER (PARTITION BY CASE WHEN mac_id <> '' THEN UPPER(mac_id) ELSE ip_address END"
                   " ORDER BY time_ms DESC, id DESC) AS n FROM transfer) WHERE n = 1")) {
        errorMsg = FOpen ? SqlError(q.lastError()) : QString::fromUtf8("geçmiş dosyası açık değil");
        return false;
    }
    while (q.next())
        devices.append({ q.value(0).toString(), q.value(1).toString(), q.value(2).toString() });
    std::sort(devices.begin(), devices.end(), [](const THistoryDevice& a, const THistoryDevice& b) {
        const int byName = a.Name.compare(b.Name, Qt::CaseInsensitive);
        return byName != 0 ? byName < 0 : a.Key < b.Key;
    });
    return true;
}
