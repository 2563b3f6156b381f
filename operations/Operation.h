#pragma once
// What every operation on a device hands back to the face that asked for it
// (the window, quillex-cli, a folder service): the kind of its outcome, the
// operator's text, and the history record it wrote, finished once when it
// ended. Operations block like the device link they drive; a window runs them
// through a worker (OperationJob.h) and sees their progress through
// TOperationProgress.
#include "device/DeviceFailure.h"
#include "discovery/UnitStatusListener.h"
#include "history/TransferRecord.h"

#include <QElapsedTimer>
#include <QString>

#include <functional>
#include <optional>

enum class EOutcomeKind {
    Ok,
    Cancelled, // the operator cancelled the PIN prompt
    NoStatus, // the device's status, which gives its limits, was not heard
    PinRefused,
    Unreachable, // no connection, a time-out or a network failure
    DeviceError, // the device answered with an error or with data it cannot hold
    Mismatch, // the program read back differs from the one sent
    VerifyFailed, // the program could not be read back
    NoIndex, // the device holds no start-from index
    FileError, // the bytes came, but could not be kept
};

// Unreachable, PinRefused or DeviceError for a device-link failure.
EOutcomeKind OutcomeKindOf(EDeviceFailure failure);
// "ok", "cancelled", "no_status", ...: the kind's word for logs and tests.
QString OutcomeKindName(EOutcomeKind kind);

struct TOperationOutcome {
    EOutcomeKind Kind = EOutcomeKind::Ok;
    // The device link's own kind of failure (the command line's JSON code); DeviceError otherwise.
    EDeviceFailure Failure = EDeviceFailure::DeviceError;
    // The text of what happened, without a frame: the device's reply or the
    // link's failure message.
    QString Message;
    // What the operator is shown: "Hata: " and the message for a failure of
    // the device link, the operation's own wording otherwise.
    QString Shown;
    // The prompter showed the outcome already (a PIN check's failure).
    bool Presented = false;
    // The history record the operation finished; none when it never reached the device.
    std::optional<TTransferRecord> Record;

    bool Succeeded() const { return Kind == EOutcomeKind::Ok; }
};

// A failure of the device link: its kind, its message, "Hata: " and the message shown.
TOperationOutcome DeviceLinkFailure(const QString& message, EDeviceFailure failure);

// What a face shows when an operation succeeds: the window's wording, or the
// device's own reply line, which scripts of the command line read.
enum class ESuccessText { Summary, DeviceReply };

// Progress of a running operation, called on the operation's thread. A stage
// (the upload, its read-back, a download) reports its own percentages.
class TOperationProgress {
public:
    virtual ~TOperationProgress() = default;
    virtual void Percent(qint32 percent) { Q_UNUSED(percent); }
    // The device erases its store before a large upload.
    virtual void Erase(qint64 done, qint64 total)
    {
        Q_UNUSED(done);
        Q_UNUSED(total);
    }
    virtual void LargeUpload() { }
    // The upload is stored; the read-back begins.
    virtual void VerifyStarted() { }
};

// Progress to functions, each of which may be left empty.
class TProgressCallbacks : public TOperationProgress {
public:
    std::function<void(qint32 percent)> OnPercent;
    std::function<void(qint64 done, qint64 total)> OnErase;
    std::function<void()> OnLargeUpload;
    std::function<void()> OnVerifyStarted;

    void Percent(qint32 percent) override
    {
        if (OnPercent)
            OnPercent(percent);
    }
    void Erase(qint64 done, qint64 total) override
    {
        if (OnErase)
            OnErase(done, total);
    }
    void LargeUpload() override
    {
        if (OnLargeUpload)
            OnLargeUpload();
    }
    void VerifyStarted() override
    {
        if (OnVerifyStarted)
            OnVerifyStarted();
    }
};

// The history record of one operation: begun when the operation starts, with
// the device and the clock, and finished once when it ends.
class TOperationRecord {
public:
    TOperationRecord(TTransferKind kind, const TQuillexDevice& device);
    TTransferRecord& Record() { return FRecord; }
    // The end: when, how long, how it ended, and what the operator was shown.
    TTransferRecord Finish(bool success, const QString& shown);

private:
    TTransferRecord FRecord;
    QElapsedTimer FClock;
};

// The operator's texts that more than one face shows.
QString MsgDone(); // "Başarı ile Tamamlandı."
QString MsgNoStatusYet(); // the device's status, and so its capacity, not heard yet
QString MsgStartFromStarted(); // "Devam ettirme başlatıldı (CNC'den XON bekleniyor): "
QString MsgNoStartFromIndex(); // the device holds no start-from point
