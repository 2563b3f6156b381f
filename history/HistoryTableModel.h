#pragma once
// The history dialog's table without its widgets: the records of one filter
// as rows, a column per field with Turkish headers, a sort role with the raw
// values, and the rows in a view's order for the CSV export.
#include "HistoryStore.h"

#include <QAbstractTableModel>

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

    explicit THistoryTableModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    void SetRecords(const QList<TTransferRecord>& records);
    // The store's records for the filter; false with the reason.
    bool Load(const THistoryStore& store, const THistoryFilter& filter, QString& errorMsg);
    const QList<TTransferRecord>& Records() const { return FRecords; }

private:
    QList<TTransferRecord> FRecords;
};

// The records behind the rows of view (this model or a proxy over it), in the view's order.
QList<TTransferRecord> RecordsInViewOrder(const QAbstractItemModel& view);

// The filter for a device key ("" for all), a date range in local days (an
// invalid date leaves that end open; Until is the last day included), and an
// outcome (std::nullopt for all).
THistoryFilter HistoryFilterFor(
    const QString& device, const QDate& since, const QDate& until, std::optional<bool> success);
