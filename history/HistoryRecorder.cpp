#include "HistoryRecorder.h"

#include "HistoryStore.h"

#include <QPointer>

#include <memory>

namespace {

// The store lives and dies on the writer thread: a database connection
// belongs to the thread that opened it.
class THistoryWriter : public QObject {
public:
    std::unique_ptr<THistoryStore> Store;
    QString OpenError;
};

} // namespace

THistoryRecorder::THistoryRecorder(const QString& path, int maxAgeDays, QObject* parent)
    : QObject(parent)
    , FPath(path)
{
    auto* writer = new THistoryWriter;
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
        if (maxAgeDays > 0
            && writer->Store->RemoveOlderThan(QDateTime::currentDateTimeUtc().addDays(-maxAgeDays), error) < 0)
            QMetaObject::invokeMethod(self, [self, error] {
                if (self)
                    self->ReportFailure(error);
            });
    });
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
    const QPointer<THistoryRecorder> self(this);
    QMetaObject::invokeMethod(writer, [writer, record, self] {
        TTransferRecord copy = record;
        QString error = writer->OpenError;
        if (error.isEmpty() && writer->Store->Add(copy, error))
            return;
        QMetaObject::invokeMethod(self, [self, error] {
            if (self)
                self->ReportFailure(error);
        });
    });
}

void THistoryRecorder::Flush()
{
    QMetaObject::invokeMethod(
        FWriter, [] {}, Qt::BlockingQueuedConnection);
}

void THistoryRecorder::ReportFailure(const QString& message)
{
    if (FFailureReported)
        return;
    FFailureReported = true;
    emit Failed(message);
}
