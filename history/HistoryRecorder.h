#pragma once
// Writes the window's history records on a thread of their own, so that a slow
// or locked disk never holds up the window. The file is opened and migrated
// there at start, then pruned in small batches between the records. The
// records given while the writer is busy are written together, in the order
// given, in one transaction; Flush returns once they are in the file. A
// history that cannot be opened or written is reported once per run through
// Failed and the operations go on without it.
//
// With a shared history on a server, each record is first written to the file
// as waiting, then sent to the server in order, each exactly once; while the
// server cannot be reached the records wait in the file and are sent again
// every SharedRetryMs.
#include "TransferRecord.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QThread>

class THistoryRecorder : public QObject {
    Q_OBJECT
public:
    static constexpr int SharedRetryMs = 30000;

    // Records older than maxAgeDays (0: none) are removed after opening.
    // sharedLocation: a shared history's URL, or empty for the file alone.
    THistoryRecorder(
        const QString& path, int maxAgeDays, const QString& sharedLocation = {}, QObject* parent = nullptr);
    // Writes what is still queued, then ends the thread.
    ~THistoryRecorder() override;

    QString Path() const { return FPath; }
    QString SharedLocation() const { return FSharedLocation; }
    void Record(const TTransferRecord& record);
    // Returns once every record given so far is written or failed (and, with
    // a shared history, sent or left waiting).
    void Flush();
    // Tries the server now with what waits.
    void RetryShared();

signals:
    // The first failure of the run, on the recorder's thread; later ones are dropped.
    void Failed(const QString& message);
    // The shared history after each attempt to send: reachable or not (with
    // the reason), and how many records wait in the file.
    void SharedState(bool reachable, qint64 waiting, const QString& message);
    // The last upload that reached each device, read once at start (from the
    // shared history when it answers); later uploads the window adds itself.
    void LastSentRead(const QList<TTransferRecord>& records);

private:
    void ReportFailure(const QString& message);
    // One batch of expired records off the file, on the writer's thread.
    // Writes the records given so far, then asks for their send.
    static void Drain(QObject* writer, const QPointer<THistoryRecorder>& self);
    static void PruneStep(QObject* writer, const QDateTime& before, const QPointer<THistoryRecorder>& self);
    static void Forward(QObject* writer, const QPointer<THistoryRecorder>& self);
    // The send the records asked for, unless a flush made it already.
    static void ForwardQueued(QObject* writer, const QPointer<THistoryRecorder>& self);
    static void ReportWaiting(QObject* writer, const QPointer<THistoryRecorder>& self);
    static void ReadLastSent(QObject* writer, const QPointer<THistoryRecorder>& self);

    QString FPath;
    QString FSharedLocation;
    QThread FThread;
    QObject* FWriter = nullptr; // lives on FThread and owns the store there
    bool FFailureReported = false;
};
