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

#include <optional>

// The schema this build writes.
constexpr int HistorySchemaVersion = 2;
// Records older than this are removed at start unless the settings file says otherwise.
constexpr int DefaultHistoryMaxAgeDays = 730;

// Where the window and quillex-cli keep the history: the window's
// QStandardPaths::AppDataLocation (~/.local/share/quillex), history.sqlite.
QString DefaultHistoryPath();

// The settings file's [History] MaxAgeDays; 0 keeps every record.
int HistoryMaxAgeDays(const QString& settingsFile = {});

// Which records to list; an empty or invalid field does not filter.
struct THistoryFilter {
    QString Device; // an IP address or a MacId (letter case ignored)
    QDateTime Since; // inclusive
    QDateTime Until; // exclusive
    std::optional<bool> Success;
    int Limit = -1; // the newest ones; -1 for all
};

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

    // Opens or creates the file (and its folder) and migrates its schema;
    // false with the reason when it cannot be used.
    bool Open(const QString& path, QString& errorMsg);
    bool IsOpen() const { return FOpen; }
    QString Path() const { return FPath; }

    // Writes one record (its own transaction); sets record.Id.
    bool Add(TTransferRecord& record, QString& errorMsg);
    // Removes the records that ended before the time; the count, or -1.
    qint64 RemoveOlderThan(const QDateTime& time, QString& errorMsg);
    // Newest first.
    bool List(const THistoryFilter& filter, QList<TTransferRecord>& records, QString& errorMsg) const;
    // The devices named in the history (one per MacId, or per address without
    // one), with their latest name and address, ordered by name.
    bool Devices(QList<THistoryDevice>& devices, QString& errorMsg) const;

    QSqlDatabase Database() const;

private:
    QString FConnection;
    QString FPath;
    bool FOpen = false;
};

// The schema version of an open database, or -1.
int HistorySchemaVersionOf(const QSqlDatabase& db);
// Brings the database from its version to HistorySchemaVersion, each step in
// one transaction; refuses a newer one.
bool MigrateHistorySchema(QSqlDatabase& db, QString& errorMsg);
