#include "HistoryTableModel.h"

#include "HistoryFormat.h"

#include <QAbstractProxyModel>
#include <QPointer>

#include <memory>

namespace {

// In the order of the columns: what the operator looks for first on the left.
const char* const Headers[] = { "Zaman", "Cihaz", "Adres", "İşlem", "Dosya / Komutlar", "Bayt", "CRC-32", "Süre (sn)",
    "Sonuç", "Mesaj", "Doğrulama", "MacId", "Kullanıcı", "Bilgisayar", "SHA-256" };
static_assert(std::size(Headers) == THistoryTableModel::ColumnCount);

// The store of the pages, on the model's thread: a connection belongs to
// the thread that opened it.
class THistoryPageReader : public QObject {
public:
    std::unique_ptr<THistoryStore> Store;
    QString Location;
};

} // namespace

THistoryTableModel::THistoryTableModel(QObject* parent)
    : QAbstractTableModel(parent)
{
}

THistoryTableModel::~THistoryTableModel()
{
    if (!FReader)
        return;
    QObject* reader = FReader;
    QMetaObject::invokeMethod(
        reader, [reader] { delete reader; }, Qt::BlockingQueuedConnection);
    FThread.quit();
    FThread.wait();
}

void THistoryTableModel::StartPaged(const QString& location, const THistoryFilter& filter)
{
    ++FJob;
    beginResetModel();
    FRecords.clear();
    endResetModel();
    FLocation = location;
    FFilter = filter;
    FFilter.Limit = PageSize;
    FAllRead = false;
    FLoading = false;
    RequestPage();
}

bool THistoryTableModel::canFetchMore(const QModelIndex& parent) const
{
    return !parent.isValid() && !FAllRead && !FLoading;
}

void THistoryTableModel::fetchMore(const QModelIndex& parent)
{
    if (canFetchMore(parent))
        RequestPage();
}

void THistoryTableModel::RequestPage()
{
    if (!FReader) {
        FReader = new THistoryPageReader;
        FReader->moveToThread(&FThread);
        FThread.setObjectName("history-pages");
        FThread.start();
    }
    THistoryFilter page = FFilter;
    if (!FRecords.isEmpty()) {
        page.BeforeTimeMs = FRecords.last().Time.toMSecsSinceEpoch();
        page.BeforeId = FRecords.last().Id;
    }
    FLoading = true;
    auto* reader = static_cast<THistoryPageReader*>(FReader);
    const QPointer<THistoryTableModel> self(this);
    const quint64 job = FJob;
    const QString location = FLocation;
    QMetaObject::invokeMethod(reader, [reader, self, job, location, page] {
        QString error;
        QList<TTransferRecord> records;
        if (!reader->Store || reader->Location != location) {
            reader->Store = std::make_unique<THistoryStore>();
            reader->Location = location;
            if (!reader->Store->Open(location, error))
                reader->Store.reset();
        }
        const bool ok = reader->Store && reader->Store->List(page, records, error);
        QMetaObject::invokeMethod(self, [self, job, ok, error, records] {
            if (!self || job != self->FJob)
                return; // the filter changed meanwhile
            // Still loading while the rows go in: a view asking for more from
            // within the insertion would ask for this page again.
            if (!records.isEmpty()) {
                self->beginInsertRows({}, int(self->FRecords.size()), int(self->FRecords.size() + records.size()) - 1);
                self->FRecords.append(records);
                self->endInsertRows();
            }
            self->FLoading = false;
            self->FAllRead = !ok || records.size() < PageSize;
            emit self->PageRead(ok, error);
        });
    });
}

int THistoryTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(FRecords.size());
}

int THistoryTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant THistoryTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= FRecords.size())
        return {};
    const TTransferRecord& r = FRecords[index.row()];
    if (role == SortRole) {
        switch (index.column()) {
        case ColumnTime:
            return r.Time.toMSecsSinceEpoch();
        case ColumnBytes:
            return r.ByteCount;
        case ColumnDuration:
            return r.DurationMs;
        default:
            return data(index, Qt::DisplayRole).toString().toLower();
        }
    }
    if (role == Qt::TextAlignmentRole)
        return index.column() == ColumnBytes || index.column() == ColumnDuration
            ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
            : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    if (role == Qt::ToolTipRole && (index.column() == ColumnMessage || index.column() == ColumnFile))
        return data(index, Qt::DisplayRole);
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case ColumnTime:
        return r.Time.toLocalTime().toString("dd.MM.yyyy HH:mm:ss");
    case ColumnDevice:
        return r.DeviceName;
    case ColumnAddress:
        return r.IPAddress;
    case ColumnMacId:
        return r.MacId;
    case ColumnKind:
        return TransferKindCaption(r.Kind);
    case ColumnFile:
        return r.FileName.isEmpty() ? QString(r.Detail).replace('\n', "; ") : r.FileName;
    case ColumnBytes:
        return QString::number(r.ByteCount);
    case ColumnCrc32:
        return r.Crc32;
    case ColumnDuration:
        return QString::number(double(r.DurationMs) / 1000.0, 'f', 1);
    case ColumnOutcome:
        return HistoryOutcomeCaption(HistoryRecordSucceeded(r));
    case ColumnMessage:
        return QString(r.Message).replace("\r\n", " ").replace('\n', ' ');
    case ColumnVerification:
        return HistoryVerificationCaption(r.Verification);
    case ColumnUser:
        return r.UserName;
    case ColumnHost:
        return r.HostName;
    case ColumnSha256:
        return r.Sha256;
    default:
        return {};
    }
}

QVariant THistoryTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < ColumnCount)
        return QString::fromUtf8(Headers[section]);
    return QAbstractTableModel::headerData(section, orientation, role);
}

void THistoryTableModel::SetRecords(const QList<TTransferRecord>& records)
{
    beginResetModel();
    FRecords = records;
    endResetModel();
}

bool THistoryTableModel::Load(const THistoryStore& store, const THistoryFilter& filter, QString& errorMsg)
{
    QList<TTransferRecord> records;
    if (!store.List(filter, records, errorMsg))
        return false;
    SetRecords(records);
    return true;
}

QList<TTransferRecord> RecordsInViewOrder(const QAbstractItemModel& view)
{
    // Down the chain of proxies to the table.
    const QAbstractItemModel* model = &view;
    QList<const QAbstractProxyModel*> proxies;
    while (const auto* proxy = qobject_cast<const QAbstractProxyModel*>(model)) {
        proxies.prepend(proxy);
        model = proxy->sourceModel();
    }
    const auto* table = qobject_cast<const THistoryTableModel*>(model);
    QList<TTransferRecord> records;
    if (!table)
        return records;
    for (int row = 0; row < view.rowCount(); ++row) {
        QModelIndex index = view.index(row, 0);
        for (auto it = proxies.crbegin(); it != proxies.crend(); ++it)
            index = (*it)->mapToSource(index);
        if (index.isValid())
            records.append(table->Records().at(index.row()));
    }
    return records;
}

THistoryFilter HistoryFilterFor(
    const QString& device, const QDate& since, const QDate& until, std::optional<bool> success)
{
    THistoryFilter filter;
    filter.Device = device;
    if (since.isValid())
        filter.Since = since.startOfDay();
    if (until.isValid())
        filter.Until = until.addDays(1).startOfDay();
    filter.Success = success;
    return filter;
}
