#pragma once
// Upload and download jobs: each runs one device-link transfer on a worker
// thread of its own and hands progress and completion to the thread of its
// context object (the window), waiting for each hand-over. A job deletes
// itself when done; once its context is gone it delivers nothing. An upload
// may read the stored program back and compare it, as a stage of its own.
#include "device/ProgramTransfer.h"
#include "transfer/UploadVerification.h"

#include <QByteArray>
#include <QPointer>
#include <QThread>

// verification: the read-back's outcome, NotRun when it was not asked for or the upload failed.
using TSendProgramCompleteProc
    = std::function<void(bool success, const QString& responseMsg, const TUploadVerification& verification)>;
using TReceiveProgramCompleteProc
    = std::function<void(bool success, const QByteArray& content, bool isRaw, const QString& responseMsg)>;

// Runs a transfer, turning an unexpected exception into its failure (a
// DeviceError with the exception's message), so that no caller is left
// without an outcome.
bool RunTransferGuarded(const std::function<bool()>& fn, QString& responseMsg);

class TTransferJob : public QThread {
    Q_OBJECT
protected:
    explicit TTransferJob(QObject* context);
    // Runs fn on the context's thread and waits; nothing once the context is gone.
    void HandOver(const std::function<void()>& fn);
    // The progress sink: repeats of the last percentage are dropped.
    void ReportProgress(qint32 percent, const TSendProgramProgressProc& onProgress);
    // A new stage starts its percentages afresh: its first one always passes.
    void RestartProgress() { FLastPercent = -1; }

private:
    QPointer<QObject> FContext;
    qint32 FLastPercent = -1;
};

class TSendProgramThread : public TTransferJob {
    Q_OBJECT
public:
    // Starts at once; the job owns itself. With verifyAfterUpload a successful
    // upload is followed by the read-back from the download port: onVerifyStart
    // marks the stage, whose download percentages go to onProgress.
    static void Create(QObject* context, const QString& ipAddress, quint16 port, const QByteArray& content,
        TSendProgramCompleteProc onComplete, TSendProgramProgressProc onProgress, qint64 maxRawSize,
        const QList<TStartFromCandidate>& toolChangeCandidates, TNotifyProc onLargeUpload, bool legacyDevice,
        TEraseProgressProc onEraseProgress, bool verifyAfterUpload = false, TNotifyProc onVerifyStart = {});

protected:
    void run() override;

private:
    using TTransferJob::TTransferJob;
    QString FIPAddress;
    quint16 FPort = 0;
    QByteArray FContent;
    qint64 FMaxRawSize = 0;
    QList<TStartFromCandidate> FToolChangeCandidates;
    bool FSuccess = false;
    QString FResponseMsg;
    TSendProgramCompleteProc FOnComplete;
    TSendProgramProgressProc FOnProgress;
    TNotifyProc FOnLargeUpload;
    bool FLegacyDevice = false;
    TEraseProgressProc FOnEraseProgress;
    bool FVerifyAfterUpload = false;
    TNotifyProc FOnVerifyStart;
    TUploadVerification FVerification;
};

class TReceiveProgramThread : public TTransferJob {
    Q_OBJECT
public:
    // maxFileSize: the device's "maxfilesize" (DefaultMaxFileSize when unknown).
    static void Create(QObject* context, const QString& ipAddress, quint16 port, TReceiveProgramCompleteProc onComplete,
        TSendProgramProgressProc onProgress, qint64 maxFileSize = DefaultMaxFileSize);

protected:
    void run() override;

private:
    using TTransferJob::TTransferJob;
    QString FIPAddress;
    quint16 FPort = 0;
    qint64 FMaxFileSize = DefaultMaxFileSize;
    bool FSuccess = false;
    QByteArray FContent;
    bool FIsRaw = false;
    QString FResponseMsg;
    TReceiveProgramCompleteProc FOnComplete;
    TSendProgramProgressProc FOnProgress;
};
