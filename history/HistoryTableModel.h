#pragma once
// The history dialog's table without its widgets: the records of one filter
// as rows, a column per field with Turkish headers, a sort role with the raw
// values, and the rows in a view's order for the CSV export.
#include "HistoryStore.h"

#include <QAbstractTableModel>
#include <QThread>

class THistoryTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum TColumn {
        ColumnTime,
        ColumnDevice,
        ColumnAddress,
        ColumnKind,
        ColumnFile,
        ColumnBytes,
        ColumnCrc32,
        ColumnDuration,
        ColumnOutcome,
        ColumnMessage,
        ColumnVerification,
        ColumnMacId,
        ColumnUser,
        ColumnHost,
        ColumnSha256,
        ColumnCount
    };
    static constexpr int SortRole = Qt::UserRole + 1; // numbers for times, sizes and durations

    // Records read per page when paged.
    static constexpr int PageSize = 500;

    explicit THistoryTableModel(QObject* parent = nullptr);
    ~THistoryTableModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    void SetRecords(const QList<TTransferRecord>& records);
    // The store's records for the filter; false with the reason.
    bool Load(const THistoryStore& store, const THistoryFilter& filter, QString& errorMsg);
    const QList<TTransferRecord>& Records() const { return FRecords; }

    // Paged: the records of the filter in the history at location (a file or
    // a shared history's URL), newest first, a page at a time as the view
    // scrolls, each read on a thread of the model's own so that the window
    // never waits for a query. Starting again drops the rows and any answer
    // still on its way.
    void StartPaged(const QString& location, const THistoryFilter& filter);
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;
    bool IsLoading() const { return FLoading; }
    bool AllRead() const { return FAllRead; }

signals:
    // A page arrived (its rows appended), or reading failed with the reason.
    void PageRead(bool ok, const QString& errorMsg);

private:
    void RequestPage();

    QList<TTransferRecord> FRecords;
    QThread FThread;
    QObject* FReader = nullptr; // lives on FThread and owns its store there
    QString FLocation;
    THistoryFilter FFilter;
    quint64 FJob = 0; // a newer start makes an older answer stale
    bool FLoading = false;
    bool FAllRead = true;
};

// The records behind the rows of view (this model or a proxy over it), in the view's order.
QList<TTransferRecord> RecordsInViewOrder(const QAbstractItemModel& view);

// The filter for a device key ("" for all), a date range in local days (an
// invalid date leaves that end open; Until is the last day included), and an
// outcome (std::nullopt for all).
THistoryFilter HistoryFilterFor(
    const QString& device, const QDate& since, const QDate& until, std::optional<bool> success);
