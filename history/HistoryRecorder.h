#pragma once
// Writes the window's history records on a thread of their own, so that a slow
// or locked disk never holds up the window. The file is opened, migrated and
// pruned there at start; each record is one insert, in the order given. A
// history that cannot be opened or written is reported once per run through
// Failed and the operations go on without it.
#include "TransferRecord.h"

#include <QObject>
#include <QThread>

class THistoryRecorder : public QObject {
    Q_OBJECT
public:
    // Records older than maxAgeDays (0: none) are removed after opening.
    THistoryRecorder(const QString& path, int maxAgeDays, QObject* parent = nullptr);
    // Writes what is still queued, then ends the thread.
    ~THistoryRecorder() override;

    QString Path() const { return FPath; }
    void Record(const TTransferRecord& record);
    // Returns once every record given so far is written or failed.
    void Flush();

signals:
    // The first failure of the run, on the recorder's thread; later ones are dropped.
    void Failed(const QString& message);

private:
    void ReportFailure(const QString& message);

    QString FPath;
    QThread FThread;
    QObject* FWriter = nullptr; // lives on FThread and owns the store there
    bool FFailureReported = false;
};
