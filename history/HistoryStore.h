#pragma once
// The transfer history database: one SQLite file in write-ahead-log mode,
// its schema versioned in PRAGMA user_version and brought up to date step by
// step on opening, one row per finished operation. A store is one connection,
// used on the thread that opened it.
#include "TransferRecord.h"

#include <QDateTime>
#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class QSqlQuery;

// The schema this build writes.
constexpr int HistorySchemaVersion = 3;
// Seconds to wait for the shared history's server before the records wait locally.
constexpr int SharedHistoryConnectSeconds = 3;
// Records sent to the shared history per transaction.
constexpr int SharedHistoryBatch = 500;
// Records older than this are removed at start unless the settings file says otherwise.
constexpr int DefaultHistoryMaxAgeDays = 730;

// Where the window and quillex-cli keep the history: the window's
// QStandardPaths::AppDataLocation (~/.local/share/quillex), history.sqlite.
QString DefaultHistoryPath();

// A "postgresql://host:port/database" URL (user name optional) of a shared
// history on a PostgreSQL server, as opposed to a file's path.
bool IsSharedHistoryLocation(const QString& location);
// The settings file's [History] Database: empty for the file of this
// workstation alone, or a shared history's URL.
QString HistoryDatabaseSetting(const QString& settingsFile = {});

// The settings file's [History] MaxAgeDays; 0 keeps every record.
int HistoryMaxAgeDays(const QString& settingsFile = {});

// Which records to list; an empty or invalid field does not filter.
struct THistoryFilter {
    QString Device; // an IP address or a MacId (letter case ignored)
    QString Workstation; // a host name
    QDateTime Since; // inclusive
    QDateTime Until; // exclusive
    std::optional<bool> Success; // as HistoryRecordSucceeded judges
    int Limit = -1; // the newest ones; -1 for all
    // Keyset paging: only records older than this one in newest-first order
    // (its time and id); BeforeId -1 for none.
    qint64 BeforeTimeMs = 0;
    qint64 BeforeId = -1;
};

enum class THistoryOrder { NewestFirst, OldestFirst };

// Records pruned per statement, so that a million expired ones never hold the
// file for long.
constexpr int HistoryPruneBatch = 2000;

struct THistoryDevice {
    QString Name;
    QString Key; // the MacId, or the address of a device without one: what THistoryFilter::Device takes
    QString IPAddress;
};

class THistoryStore {
public:
    THistoryStore();
    ~THistoryStore();
    THistoryStore(const THistoryStore&) = delete;
    THistoryStore& operator=(const THistoryStore&) = delete;

    // Opens or creates the file (and its folder, the file with mode 0600) and
    // migrates its schema; false with the reason when it cannot be used. A
    // file or folder the user cannot write is opened read-only, unmigrated.
    // A shared history's URL opens it on its server (the password from
    // QUILLEX_HISTORY_PASSWORD or ~/.pgpass) and migrates it likewise.
    bool Open(const QString& path, QString& errorMsg);
    bool IsShared() const { return FShared; }
    bool IsOpen() const { return FOpen; }
    bool IsReadOnly() const { return FReadOnly; }
    QString Path() const { return FPath; }

    // Writes one record (its own transaction, unless one is open); sets
    // record.Id, and record.Uid when it has none. A record whose Uid is
    // already there is not written again (Id 0). pending marks a record
    // still to be sent to the shared history.
    bool Add(TTransferRecord& record, QString& errorMsg, bool pending = false);
    // Several records in one transaction, all or none; a record already there
    // is not written again. On a server, one insert per SharedHistoryBatch records.
    bool AddAll(QList<TTransferRecord> records, QString& errorMsg, bool pending = false);
    // The oldest records still to be sent, at most maxRecords.
    bool Pending(int maxRecords, QList<TTransferRecord>& records, QString& errorMsg) const;
    qint64 PendingCount(QString& errorMsg) const;
    // The records Pending handed out are sent.
    bool MarkSent(const QList<TTransferRecord>& records, QString& errorMsg);
    // Removes the records that ended before the time, at most maxRows of them
    // when it is above 0; the count, or -1.
    qint64 RemoveOlderThan(const QDateTime& time, QString& errorMsg, int maxRows = 0);
    // Newest first.
    bool List(const THistoryFilter& filter, QList<TTransferRecord>& records, QString& errorMsg) const;
    // Hands each record of the filter to visit as it is read, none kept, until
    // visit returns false; the filter's limit keeps the newest ones in either order.
    bool Each(const THistoryFilter& filter, THistoryOrder order,
        const std::function<bool(const TTransferRecord&)>& visit, QString& errorMsg) const;
    // The devices named in the history (one per MacId, or per address without
    // one), with their latest name and address, ordered by name.
    bool Devices(QList<THistoryDevice>& devices, QString& errorMsg) const;

    // The workstations (host names) named in the history, ordered.
    bool Workstations(QStringList& hosts, QString& errorMsg) const;

    // The newest upload that reached each device named in the history (one
    // per MacId, or per address without one), ordered by device name.
    bool LastSent(QList<TTransferRecord>& records, QString& errorMsg) const;

    QSqlDatabase Database() const;

private:
    bool OpenServer(const QString& location, QString& errorMsg);

    QString FConnection;
    // The insert of a whole batch, prepared once per connection.
    std::unique_ptr<QSqlQuery> FBatchInsert;
    QString FPath;
    bool FOpen = false;
    bool FReadOnly = false;
    bool FShared = false;
};

// The schema version of an open database, or -1.
int HistorySchemaVersionOf(const QSqlDatabase& db);
// Brings the database from its version to target (on a server the version is
// kept in the table schema_version), each step in one transaction; refuses a
// newer one.
bool MigrateHistorySchema(QSqlDatabase& db, QString& errorMsg, int target = HistorySchemaVersion);

// Sends the local store's pending records to the shared one, oldest first,
// each exactly once; the count sent, or -1 (what is left waits for the next time).
qint64 ForwardPendingRecords(THistoryStore& local, THistoryStore& shared, QString& errorMsg);
