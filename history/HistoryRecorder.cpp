#include "HistoryRecorder.h"

#include "HistoryStore.h"

#include <QMutex>
#include <QPointer>
#include <QTimer>

#include <memory>

namespace {

// The store lives and dies on the writer thread: a database connection
// belongs to the thread that opened it.
class THistoryWriter : public QObject {
public:
    std::unique_ptr<THistoryStore> Store;
    QString OpenError;
    QString SharedLocation;
    std::unique_ptr<THistoryStore> Shared; // open while the server answers
    QTimer* Retry = nullptr; // runs while records wait
    bool Reachable = false;
    bool LastSentRead = false;
    bool ForwardQueued = false; // a send to the server waits behind the records queued
    QString SharedError; // why the server could not be used the last time

    // Records given and not yet written: the callers add to it, the writer
    // takes it whole, so records that arrive together share one transaction.
    QMutex QueueLock;
    QList<TTransferRecord> Queue;
    bool DrainQueued = false; // a drain waits in the writer's event queue
};

} // namespace

THistoryRecorder::THistoryRecorder(const QString& path, int maxAgeDays, const QString& sharedLocation, QObject* parent)
    : QObject(parent)
    , FPath(path)
    , FSharedLocation(sharedLocation)
{
    auto* writer = new THistoryWriter;
    writer->SharedLocation = sharedLocation;
    writer->moveToThread(&FThread);
    FWriter = writer;
    FThread.setObjectName("history");
    FThread.start();
    const QPointer<THistoryRecorder> self(this);
    QMetaObject::invokeMethod(writer, [writer, path, maxAgeDays, self] {
        writer->Store = std::make_unique<THistoryStore>();
        QString error;
        if (!writer->Store->Open(path, error)) {
            writer->OpenError = error;
            return; // reported with the first record, when the operator is at the window
        }
        if (!writer->SharedLocation.isEmpty()) {
            writer->Retry = new QTimer(writer);
            writer->Retry->setInterval(SharedRetryMs);
            QObject::connect(writer->Retry, &QTimer::timeout, writer, [writer, self] { Forward(writer, self); });
            Forward(writer, self); // what an earlier run left waiting
        }
        if (!writer->LastSentRead)
            ReadLastSent(writer, self);
        if (maxAgeDays > 0)
            PruneStep(writer, QDateTime::currentDateTimeUtc().addDays(-maxAgeDays), self);
    });
}

void THistoryRecorder::Forward(QObject* writerObject, const QPointer<THistoryRecorder>& self)
{
    auto* writer = static_cast<THistoryWriter*>(writerObject);
    if (!writer->Store || !writer->Store->IsOpen())
        return;
    QString error;
    if (!writer->Shared) {
        auto shared = std::make_unique<THistoryStore>();
        if (shared->Open(writer->SharedLocation, error))
            writer->Shared = std::move(shared);
    }
    writer->Reachable = writer->Shared && ForwardPendingRecords(*writer->Store, *writer->Shared, error) >= 0;
    writer->SharedError = error;
    if (!writer->Reachable)
        writer->Shared.reset(); // a fresh connection next time
    else if (!writer->LastSentRead)
        ReadLastSent(writer, self);
    ReportWaiting(writer, self);
}

void THistoryRecorder::ReadLastSent(QObject* writerObject, const QPointer<THistoryRecorder>& self)
{
    auto* writer = static_cast<THistoryWriter*>(writerObject);
    THistoryStore* store = writer->Shared ? writer->Shared.get() : writer->Store.get();
    QList<TTransferRecord> records;
    QString error;
    if (!store || !store->IsOpen() || !store->LastSent(records, error))
        return;
    writer->LastSentRead = writer->Shared != nullptr || writer->SharedLocation.isEmpty();
    QMetaObject::invokeMethod(self, [self, records] {
        if (self)
            emit self->LastSentRead(records);
    });
}

void THistoryRecorder::ReportWaiting(QObject* writerObject, const QPointer<THistoryRecorder>& self)
{
    auto* writer = static_cast<THistoryWriter*>(writerObject);
    QString countError;
    const qint64 waiting = writer->Store->PendingCount(countError);
    if (waiting > 0 && !writer->Retry->isActive())
        writer->Retry->start();
    else if (waiting == 0)
        writer->Retry->stop();
    const bool reachable = writer->Reachable;
    const QString error = writer->SharedError;
    QMetaObject::invokeMethod(self, [self, reachable, waiting, error] {
        if (self)
            emit self->SharedState(reachable, waiting, error);
    });
}

void THistoryRecorder::PruneStep(QObject* writerObject, const QDateTime& before, const QPointer<THistoryRecorder>& self)
{
    auto* writer = static_cast<THistoryWriter*>(writerObject);
    QString error;
    const qint64 removed = writer->Store->RemoveOlderThan(before, error, HistoryPruneBatch);
    if (removed < 0) {
        QMetaObject::invokeMethod(self, [self, error] {
            if (self)
                self->ReportFailure(error);
        });
        return;
    }
    // The next batch queues behind the records given meanwhile, so that a
    // million expired records never hold them up.
    if (removed == HistoryPruneBatch)
        QMetaObject::invokeMethod(
            writer, [writer, before, self] { PruneStep(writer, before, self); }, Qt::QueuedConnection);
}

THistoryRecorder::~THistoryRecorder()
{
    auto* writer = static_cast<THistoryWriter*>(FWriter);
    QMetaObject::invokeMethod(
        writer, [writer] { delete writer; }, Qt::BlockingQueuedConnection);
    FThread.quit();
    FThread.wait();
}

void THistoryRecorder::Record(const TTransferRecord& record)
{
    auto* writer = static_cast<THistoryWriter*>(FWriter);
    {
        const QMutexLocker lock(&writer->QueueLock);
        writer->Queue.append(record);
        if (writer->DrainQueued)
            return; // the drain waiting takes this record too
        writer->DrainQueued = true;
    }
    const QPointer<THistoryRecorder> self(this);
    QMetaObject::invokeMethod(writer, [writer, self] { Drain(writer, self); });
}

void THistoryRecorder::Drain(QObject* writerObject, const QPointer<THistoryRecorder>& self)
{
    auto* writer = static_cast<THistoryWriter*>(writerObject);
    QList<TTransferRecord> records;
    {
        const QMutexLocker lock(&writer->QueueLock);
        records.swap(writer->Queue);
        writer->DrainQueued = false;
    }
    if (records.isEmpty())
        return;
    const bool shared = !writer->SharedLocation.isEmpty();
    QString error = writer->OpenError;
    bool written = error.isEmpty() && writer->Store->AddAll(records, error, shared);
    if (!written && writer->OpenError.isEmpty()) {
        // All or none failed: each record alone, so that one the file refuses
        // costs only itself.
        written = true;
        for (TTransferRecord& record : records) {
            QString recordError;
            if (!writer->Store->Add(record, recordError, shared)) {
                written = false;
                error = recordError;
            }
        }
    }
    if (!written)
        QMetaObject::invokeMethod(self, [self, error] {
            if (self)
                self->ReportFailure(error);
        });
    if (!shared || writer->OpenError.size() > 0)
        return;
    {
        // More records came while these were written: the drain they asked
        // for sends them all, instead of a send per drain.
        const QMutexLocker lock(&writer->QueueLock);
        if (writer->DrainQueued)
            return;
    }
    // One send for the records queued meanwhile, in batches, instead of a
    // server transaction per record. While the server is known to be away,
    // the retry timer sends what waits.
    if (!writer->Retry->isActive() && !writer->ForwardQueued) {
        writer->ForwardQueued = true;
        QMetaObject::invokeMethod(
            writer, [writer, self] { ForwardQueued(writer, self); }, Qt::QueuedConnection);
    } else if (writer->Retry->isActive()) {
        ReportWaiting(writer, self);
    }
}

void THistoryRecorder::RetryShared()
{
    auto* writer = static_cast<THistoryWriter*>(FWriter);
    const QPointer<THistoryRecorder> self(this);
    QMetaObject::invokeMethod(writer, [writer, self] {
        if (!writer->SharedLocation.isEmpty())
            Forward(writer, self);
    });
}

void THistoryRecorder::Flush()
{
    auto* writer = static_cast<THistoryWriter*>(FWriter);
    const QPointer<THistoryRecorder> self(this);
    QMetaObject::invokeMethod(
        writer,
        [writer, self] {
            Drain(writer, self);
            ForwardQueued(writer, self);
        },
        Qt::BlockingQueuedConnection);
}

void THistoryRecorder::ForwardQueued(QObject* writerObject, const QPointer<THistoryRecorder>& self)
{
    auto* writer = static_cast<THistoryWriter*>(writerObject);
    if (!writer->ForwardQueued)
        return; // sent already, by a flush
    writer->ForwardQueued = false;
    Forward(writer, self);
}

void THistoryRecorder::ReportFailure(const QString& message)
{
    if (FFailureReported)
        return;
    FFailureReported = true;
    emit Failed(message);
}
