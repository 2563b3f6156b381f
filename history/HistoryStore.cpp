// The history file: opening in WAL mode, the schema's steps, writing one
// record and reading them back filtered.
#include "HistoryStore.h"

#include "config/Settings.h"

#include <QAtomicInteger>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QUrl>
#include <QUuid>
#include <QVariant>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

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
    // 3: the id a workstation gives each record, so that a record sent to the
    // shared history twice is kept once, and the records waiting to be sent.
    "ALTER TABLE transfer ADD COLUMN uid TEXT NOT NULL DEFAULT '';"
    "ALTER TABLE transfer ADD COLUMN pending INTEGER NOT NULL DEFAULT 0;"
    "CREATE UNIQUE INDEX transfer_uid ON transfer(uid) WHERE uid <> '';"
    "CREATE INDEX transfer_pending ON transfer(id) WHERE pending = 1;",
};
static_assert(std::size(SchemaSteps) == HistorySchemaVersion);

// The same schema on a PostgreSQL server, step by step to the same versions.
// The first layout never lived on a server; MacIds compare in upper case, as
// NOCASE does in the file.
const char* const ServerSchemaSteps[] = {
    "",
    "CREATE TABLE transfer (id BIGSERIAL PRIMARY KEY, time_ms BIGINT NOT NULL,"
    " user_name TEXT NOT NULL DEFAULT '', host_name TEXT NOT NULL DEFAULT '',"
    " device_name TEXT NOT NULL DEFAULT '', ip_address TEXT NOT NULL DEFAULT '',"
    " mac_id TEXT NOT NULL DEFAULT '', kind TEXT NOT NULL,"
    " file_name TEXT NOT NULL DEFAULT '', detail TEXT NOT NULL DEFAULT '',"
    " byte_count BIGINT NOT NULL DEFAULT 0, crc32 TEXT NOT NULL DEFAULT '',"
    " sha256 TEXT NOT NULL DEFAULT '', duration_ms BIGINT NOT NULL DEFAULT 0,"
    " success INTEGER NOT NULL, message TEXT NOT NULL DEFAULT '', verification TEXT NOT NULL DEFAULT '');"
    "CREATE INDEX transfer_time ON transfer(time_ms);"
    "CREATE INDEX transfer_ip_time ON transfer(ip_address, time_ms);"
    "CREATE INDEX transfer_mac_time ON transfer(UPPER(mac_id), time_ms);",
    "ALTER TABLE transfer ADD COLUMN uid TEXT NOT NULL DEFAULT '';"
    "ALTER TABLE transfer ADD COLUMN pending INTEGER NOT NULL DEFAULT 0;"
    "CREATE UNIQUE INDEX transfer_uid ON transfer(uid) WHERE uid <> '';",
};
static_assert(std::size(ServerSchemaSteps) == HistorySchemaVersion);

// Any number: the advisory lock that lets one workstation at a time bring the
// server's schema up to date.
constexpr qint64 SchemaLockKey = 0x51584C48;

const char* const Columns = "id, time_ms, user_name, host_name, device_name, ip_address, mac_id, kind, file_name,"
                            " detail, byte_count, crc32, sha256, duration_ms, success, message, verification, uid";

bool IsServer(const QSqlDatabase& db)
{
    return db.driverName() == "QPSQL";
}

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
    r.Uid = q.value(17).toString();
    return r;
}

// The file and its folder, made for the user alone: the history holds file
// paths and command lines. SQLite gives its -wal and -shm files the mode of
// the database file.
bool CreatePrivateFile(const QString& path, QString& errorMsg)
{
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath())) {
        errorMsg = QString::fromUtf8("%1 klasörü oluşturulamadı").arg(info.absolutePath());
        return false;
    }
    const QFile::Permissions mine = QFile::ReadOwner | QFile::WriteOwner;
    if (!info.exists()) {
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST) {
            errorMsg = QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
        if (fd >= 0)
            ::close(fd);
        return true;
    }
    // A file an earlier version made readable by others is closed to them now.
    const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther
        | QFile::WriteOther | QFile::ExeOther;
    if (info.ownerId() == ::getuid() && (info.permissions() & others))
        for (const char* suffix : { "", "-wal", "-shm" })
            if (QFileInfo::exists(path + suffix))
                QFile::setPermissions(path + suffix, mine);
    return true;
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
    if (IsServer(db)) {
        if (!query.exec("SELECT to_regclass('schema_version') IS NOT NULL") || !query.next())
            return -1;
        if (!query.value(0).toBool())
            return 0;
        if (!query.exec("SELECT MAX(version) FROM schema_version") || !query.next())
            return -1;
    } else if (!query.exec("PRAGMA user_version") || !query.next()) {
        return -1;
    }
    const int version = query.value(0).toInt();
    query.finish();
    return version;
}

bool MigrateHistorySchema(QSqlDatabase& db, QString& errorMsg, int target)
{
    const bool server = IsServer(db);
    // On a server every workstation may start at once: the version is read
    // and raised under one lock, all in one transaction.
    if (server
        && (!db.transaction() || !Exec(db, QString("SELECT pg_advisory_xact_lock(%1)").arg(SchemaLockKey), errorMsg)
            || !Exec(db, "CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)", errorMsg))) {
        if (errorMsg.isEmpty())
            errorMsg = SqlError(db.lastError());
        db.rollback();
        return false;
    }
    const int version = HistorySchemaVersionOf(db);
    QString failure;
    if (version < 0)
        failure = SqlError(db.lastError());
    else if (version > HistorySchemaVersion)
        failure = QString::fromUtf8("geçmiş veritabanı bu sürümden yeni bir sürümle yazılmış (şema %1)").arg(version);
    if (!failure.isEmpty()) {
        errorMsg = failure;
        if (server)
            db.rollback();
        return false;
    }
    for (int step = version; step < target; ++step) {
        if (!server && !db.transaction()) {
            errorMsg = SqlError(db.lastError());
            return false;
        }
        const QString script = QString::fromLatin1(server ? ServerSchemaSteps[step] : SchemaSteps[step]);
        const QString mark = server ? QString("DELETE FROM schema_version; INSERT INTO schema_version VALUES (%1)")
                                    : QString("PRAGMA user_version = %1");
        if (!ExecScript(db, script, errorMsg) || !ExecScript(db, mark.arg(step + 1), errorMsg)
            || (!server && !db.commit())) {
            if (errorMsg.isEmpty())
                errorMsg = SqlError(db.lastError());
            db.rollback();
            return false;
        }
    }
    if (server && !db.commit()) {
        errorMsg = SqlError(db.lastError());
        db.rollback();
        return false;
    }
    return true;
}

bool IsSharedHistoryLocation(const QString& location)
{
    return location.startsWith("postgresql://") || location.startsWith("postgres://");
}

QString HistoryDatabaseSetting(const QString& settingsFile)
{
    return OpenSettingsFile(settingsFile).value("History/Database").toString().trimmed();
}

THistoryStore::THistoryStore()
{
    static QAtomicInteger<quint64> counter;
    FConnection = QString("quillex-history-%1").arg(++counter);
}

THistoryStore::~THistoryStore()
{
    FBatchInsert.reset(); // before its connection goes
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
    FReadOnly = false;
    FShared = false;
    FBatchInsert.reset();
    if (IsSharedHistoryLocation(path))
        return OpenServer(path, errorMsg);
    if (!QSqlDatabase::isDriverAvailable("QSQLITE")) {
        errorMsg = QString::fromUtf8("SQLite sürücüsü (QSQLITE) bulunamadı");
        return false;
    }
    const QFileInfo info(path);
    // Reading needs no write: a file or folder the user cannot write is read as it is.
    FReadOnly = info.exists() && (!info.isWritable() || !QFileInfo(info.absolutePath()).isWritable());
    if (!FReadOnly && !CreatePrivateFile(path, errorMsg))
        return false;
    if (QSqlDatabase::contains(FConnection)) { // opened before: a connection of its own again
        QSqlDatabase::database(FConnection, false).close();
        QSqlDatabase::removeDatabase(FConnection);
    }
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", FConnection);
    // A writer busy in another process (the window and quillex-cli at once) is waited for.
    QString options = "QSQLITE_BUSY_TIMEOUT=5000";
    db.setDatabaseName(path);
    if (FReadOnly) {
        options += ";QSQLITE_OPEN_READONLY";
        // A file in WAL mode is read through its -shm file, which a folder we
        // cannot write cannot get; without a -wal file nothing is pending and
        // no one can add one there, so the file is read as it stands.
        if (!QFileInfo(info.absolutePath()).isWritable() && !QFileInfo::exists(path + "-shm")) {
            options += ";QSQLITE_OPEN_URI";
            db.setDatabaseName(
                QUrl::fromLocalFile(info.absoluteFilePath()).toString(QUrl::FullyEncoded) + "?immutable=1");
        }
    }
    db.setConnectOptions(options);
    if (!db.open()) {
        errorMsg = SqlError(db.lastError());
        return false;
    }
    if (FReadOnly) {
        const int version = HistorySchemaVersionOf(db);
        if (version != HistorySchemaVersion) {
            errorMsg = version < 0
                ? SqlError(db.lastError())
                : QString::fromUtf8("geçmiş dosyası salt okunur ve şeması (%1) bu sürümünki değil (%2)")
                      .arg(version)
                      .arg(HistorySchemaVersion);
            db.close();
            return false;
        }
        FOpen = true;
        return true;
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

bool THistoryStore::OpenServer(const QString& location, QString& errorMsg)
{
    if (!QSqlDatabase::isDriverAvailable("QPSQL")) {
        errorMsg = QString::fromUtf8("PostgreSQL sürücüsü (QPSQL) bulunamadı");
        return false;
    }
    const QUrl url(location);
    const QString database = url.path().mid(1);
    if (!url.isValid() || url.host().isEmpty() || database.isEmpty() || database.contains('/')) {
        errorMsg = QString::fromUtf8("ortak geçmişin adresi geçersiz: %1 (örnek: postgresql://sunucu:5432/veritabani)")
                       .arg(url.toDisplayString(QUrl::RemovePassword));
        return false;
    }
    if (QSqlDatabase::contains(FConnection)) { // opened before: a connection of its own again
        QSqlDatabase::database(FConnection, false).close();
        QSqlDatabase::removeDatabase(FConnection);
    }
    QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", FConnection);
    db.setHostName(url.host());
    db.setPort(url.port(5432));
    db.setDatabaseName(database);
    db.setUserName(url.userName().isEmpty() ? CurrentUserName() : url.userName());
    // Never from the settings file: from the environment, or libpq reads ~/.pgpass.
    db.setPassword(qEnvironmentVariable("QUILLEX_HISTORY_PASSWORD"));
    // An unreachable server is given up on soon: the records wait in the local queue.
    db.setConnectOptions(QString("connect_timeout=%1").arg(SharedHistoryConnectSeconds));
    if (!db.open()) {
        errorMsg = SqlError(db.lastError());
        return false;
    }
    // The server's notices (a table already there) are not the operator's concern.
    if (!Exec(db, "SET client_min_messages TO WARNING", errorMsg) || !MigrateHistorySchema(db, errorMsg)) {
        db.close();
        return false;
    }
    FShared = true;
    FOpen = true;
    return true;
}

namespace {

const char* const InsertColumns = "INSERT INTO transfer (time_ms, user_name, host_name, device_name, ip_address,"
                                  " mac_id, kind, file_name, detail, byte_count, crc32, sha256, duration_ms,"
                                  " success, message, verification, uid, pending) VALUES ";
constexpr int InsertFields = 18;

QString InsertRows(int rows)
{
    const QString row = "(?" + QString(", ?").repeated(InsertFields - 1) + ")";
    QStringList all;
    all.reserve(rows);
    for (int i = 0; i < rows; ++i)
        all << row;
    // A record already there (sent again after a lost answer) is kept once.
    return InsertColumns + all.join(", ") + " ON CONFLICT DO NOTHING";
}

// The record's values in the insert's order; gives it a Uid when it has none.
void BindRecord(QSqlQuery& q, TTransferRecord& record, bool pending)
{
    if (record.Uid.isEmpty())
        record.Uid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    // A null text would bind as NULL: the columns take an empty text instead.
    const auto text = [](const QString& s) { return QVariant(s.isNull() ? QString("") : s); };
    const QVariant values[]
        = { record.Time.toMSecsSinceEpoch(), text(record.UserName), text(record.HostName), text(record.DeviceName),
              text(record.IPAddress), text(record.MacId), TransferKindName(record.Kind), text(record.FileName),
              text(record.Detail), record.ByteCount, text(record.Crc32), text(record.Sha256), record.DurationMs,
              record.Success ? 1 : 0, text(record.Message), text(record.Verification), record.Uid, pending ? 1 : 0 };
    static_assert(std::size(values) == InsertFields);
    for (const QVariant& v : values)
        q.addBindValue(v);
}

} // namespace

bool THistoryStore::Add(TTransferRecord& record, QString& errorMsg, bool pending)
{
    if (!FOpen || FReadOnly) {
        errorMsg = QString::fromUtf8(FOpen ? "geçmiş dosyası salt okunur" : "geçmiş dosyası açık değil");
        return false;
    }
    QSqlQuery q(Database());
    q.prepare(InsertRows(1) + (IsShared() ? " RETURNING id" : ""));
    BindRecord(q, record, pending);
    if (!q.exec()) {
        errorMsg = SqlError(q.lastError());
        return false;
    }
    if (IsShared())
        record.Id = q.next() ? q.value(0).toLongLong() : 0;
    else
        record.Id = q.numRowsAffected() > 0 ? q.lastInsertId().toLongLong() : 0;
    return true;
}

bool THistoryStore::Pending(int maxRecords, QList<TTransferRecord>& records, QString& errorMsg) const
{
    records.clear();
    QSqlQuery q(Database());
    q.setForwardOnly(true);
    q.prepare(QString("SELECT %1 FROM transfer WHERE pending = 1 ORDER BY id LIMIT ?").arg(Columns));
    q.addBindValue(maxRecords);
    if (!FOpen || !q.exec()) {
        errorMsg = FOpen ? SqlError(q.lastError()) : QString::fromUtf8("geçmiş dosyası açık değil");
        return false;
    }
    while (q.next())
        records.append(RecordFrom(q));
    return true;
}

qint64 THistoryStore::PendingCount(QString& errorMsg) const
{
    QSqlQuery q(Database());
    if (!FOpen || !q.exec("SELECT COUNT(*) FROM transfer WHERE pending = 1") || !q.next()) {
        errorMsg = FOpen ? SqlError(q.lastError()) : QString::fromUtf8("geçmiş dosyası açık değil");
        return -1;
    }
    return q.value(0).toLongLong();
}

bool THistoryStore::MarkSent(const QList<TTransferRecord>& records, QString& errorMsg)
{
    if (!FOpen) {
        errorMsg = QString::fromUtf8("geçmiş dosyası açık değil");
        return false;
    }
    if (records.isEmpty())
        return true;
    // The records are the oldest waiting ones (Pending): every waiting record
    // up to the last of them is one of them.
    QSqlQuery q(Database());
    q.prepare("UPDATE transfer SET pending = 0 WHERE pending = 1 AND id <= ?");
    q.addBindValue(records.last().Id);
    if (!q.exec()) {
        errorMsg = SqlError(q.lastError());
        return false;
    }
    return true;
}

bool THistoryStore::AddAll(QList<TTransferRecord> records, QString& errorMsg, bool pending)
{
    if (!FOpen || FReadOnly) {
        errorMsg = QString::fromUtf8(FOpen ? "geçmiş dosyası salt okunur" : "geçmiş dosyası açık değil");
        return false;
    }
    QSqlDatabase db = Database();
    if (!db.transaction()) {
        errorMsg = SqlError(db.lastError());
        return false;
    }
    // A server takes a batch in one statement (a round trip each); the file
    // takes one prepared row at a time, all in the one transaction.
    const qsizetype rowsPerStatement = IsShared() ? SharedHistoryBatch : 1;
    if (!FBatchInsert) {
        FBatchInsert = std::make_unique<QSqlQuery>(db);
        if (!FBatchInsert->prepare(InsertRows(int(rowsPerStatement)))) {
            errorMsg = SqlError(FBatchInsert->lastError());
            FBatchInsert.reset();
            db.rollback();
            return false;
        }
    }
    QSqlQuery partial(db); // the rest of the records, fewer than a batch
    for (qsizetype from = 0; from < records.size(); from += rowsPerStatement) {
        const qsizetype rows = std::min(rowsPerStatement, records.size() - from);
        QSqlQuery& q = rows == rowsPerStatement ? *FBatchInsert : partial;
        if (&q == &partial && !q.prepare(InsertRows(int(rows)))) {
            errorMsg = SqlError(q.lastError());
            db.rollback();
            return false;
        }
        for (qsizetype i = from; i < from + rows; ++i)
            BindRecord(q, records[i], pending);
        if (!q.exec()) {
            errorMsg = SqlError(q.lastError());
            FBatchInsert.reset(); // prepared afresh next time
            db.rollback();
            return false;
        }
    }
    if (!db.commit()) {
        errorMsg = SqlError(db.lastError());
        db.rollback();
        return false;
    }
    return true;
}

qint64 ForwardPendingRecords(THistoryStore& local, THistoryStore& shared, QString& errorMsg)
{
    qint64 forwarded = 0;
    QList<TTransferRecord> batch;
    do {
        if (!local.Pending(SharedHistoryBatch, batch, errorMsg))
            return -1;
        // In the order they were made; the server's copy first, then the mark:
        // a batch sent again after a failure between the two is kept once.
        QList<TTransferRecord> copies = batch;
        for (TTransferRecord& r : copies)
            r.Id = 0;
        if (!shared.AddAll(copies, errorMsg) || !local.MarkSent(batch, errorMsg))
            return -1;
        forwarded += batch.size();
    } while (batch.size() == SharedHistoryBatch);
    return forwarded;
}

qint64 THistoryStore::RemoveOlderThan(const QDateTime& time, QString& errorMsg, int maxRows)
{
    QSqlQuery q(Database());
    if (maxRows > 0) {
        // One short transaction per batch: a writer waiting on the file gets in between.
        q.prepare("DELETE FROM transfer WHERE id IN (SELECT id FROM transfer WHERE time_ms < ? LIMIT ?)");
        q.addBindValue(time.toMSecsSinceEpoch());
        q.addBindValue(maxRows);
    } else {
        q.prepare("DELETE FROM transfer WHERE time_ms < ?");
        q.addBindValue(time.toMSecsSinceEpoch());
    }
    if (!FOpen || FReadOnly || !q.exec()) {
        errorMsg = !FOpen ? QString::fromUtf8("geçmiş dosyası açık değil")
            : FReadOnly   ? QString::fromUtf8("geçmiş dosyası salt okunur")
                          : SqlError(q.lastError());
        return -1;
    }
    return q.numRowsAffected();
}

bool THistoryStore::List(const THistoryFilter& filter, QList<TTransferRecord>& records, QString& errorMsg) const
{
    records.clear();
    return Each(
        filter, THistoryOrder::NewestFirst,
        [&records](const TTransferRecord& r) {
            records.append(r);
            return true;
        },
        errorMsg);
}

bool THistoryStore::Each(const THistoryFilter& filter, THistoryOrder order,
    const std::function<bool(const TTransferRecord&)>& visit, QString& errorMsg) const
{
    QStringList where;
    QVariantList values;
    if (!filter.Device.isEmpty()) {
        where << (IsShared() ? "(ip_address = ? OR UPPER(mac_id) = UPPER(?))" : "(ip_address = ? OR mac_id = ?)");
        values << filter.Device << filter.Device;
    }
    if (!filter.Workstation.isEmpty()) {
        where << "host_name = ?";
        values << filter.Workstation;
    }
    if (filter.Since.isValid()) {
        where << "time_ms >= ?";
        values << filter.Since.toMSecsSinceEpoch();
    }
    if (filter.Until.isValid()) {
        where << "time_ms < ?";
        values << filter.Until.toMSecsSinceEpoch();
    }
    if (filter.BeforeId >= 0) {
        where << "(time_ms < ? OR (time_ms = ? AND id < ?))";
        values << filter.BeforeTimeMs << filter.BeforeTimeMs << filter.BeforeId;
    }
    if (filter.Success) {
        // An upload whose read-back differed or failed is no success (HistoryRecordSucceeded).
        const char* const succeeded
            = "(success = 1 AND NOT (kind = 'upload' AND (verification = 'mismatch' OR verification LIKE 'failed%')))";
        where << (*filter.Success ? QString(succeeded) : QString("NOT %1").arg(succeeded));
    }
    QString sql = QString("SELECT %1 FROM transfer").arg(Columns);
    if (!where.isEmpty())
        sql += " WHERE " + where.join(" AND ");
    sql += " ORDER BY time_ms DESC, id DESC";
    if (filter.Limit >= 0)
        sql += QString(" LIMIT %1").arg(filter.Limit);
    // The newest N in the order of time: the limit applies to the newest first.
    if (order == THistoryOrder::OldestFirst)
        sql = filter.Limit >= 0 ? QString("SELECT * FROM (%1) AS newest ORDER BY time_ms, id").arg(sql)
                                : QString(sql).replace(" ORDER BY time_ms DESC, id DESC", " ORDER BY time_ms, id");
    QSqlQuery q(Database());
    q.setForwardOnly(true); // rows are read as they come, never held whole
    q.prepare(sql);
    for (const QVariant& v : values)
        q.addBindValue(v);
    if (!FOpen || !q.exec()) {
        errorMsg = FOpen ? SqlError(q.lastError()) : QString::fromUtf8("geçmiş dosyası açık değil");
        return false;
    }
    while (q.next())
        if (!visit(RecordFrom(q)))
            return true;
    if (q.lastError().isValid()) {
        errorMsg = SqlError(q.lastError());
        return false;
    }
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
                   " ORDER BY time_ms DESC, id DESC) AS n FROM transfer) AS d WHERE n = 1")) {
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

bool THistoryStore::Workstations(QStringList& hosts, QString& errorMsg) const
{
    hosts.clear();
    QSqlQuery q(Database());
    q.setForwardOnly(true);
    if (!FOpen || !q.exec("SELECT DISTINCT host_name FROM transfer WHERE host_name <> '' ORDER BY host_name")) {
        errorMsg = FOpen ? SqlError(q.lastError()) : QString::fromUtf8("geçmiş dosyası açık değil");
        return false;
    }
    while (q.next())
        hosts.append(q.value(0).toString());
    return true;
}

bool THistoryStore::LastSent(QList<TTransferRecord>& records, QString& errorMsg) const
{
    records.clear();
    QSqlQuery q(Database());
    q.setForwardOnly(true);
    const QString key = "CASE WHEN mac_id <> '' THEN UPPER(mac_id) ELSE ip_address END";
    if (!FOpen
        || !q.exec(QString("SELECT %1 FROM (SELECT *, ROW_NUMBER() OVER (PARTITION BY %2"
                           " ORDER BY time_ms DESC, id DESC) AS n FROM transfer WHERE kind = 'upload' AND success = 1)"
                           " AS sent WHERE n = 1")
                       .arg(Columns, key))) {
        errorMsg = FOpen ? SqlError(q.lastError()) : QString::fromUtf8("geçmiş dosyası açık değil");
        return false;
    }
    while (q.next())
        records.append(RecordFrom(q));
    std::sort(records.begin(), records.end(), [](const TTransferRecord& a, const TTransferRecord& b) {
        const int byName = a.DeviceName.compare(b.DeviceName, Qt::CaseInsensitive);
        return byName != 0 ? byName < 0 : a.IPAddress < b.IPAddress;
    });
    return true;
}
