#pragma once
// The folder service: one folder per device under the root; a program file
// closed in a device's folder and left unchanged for the stable time is sent
// to that device (SendDroppedFile), then moved to gönderildi/ with a time
// stamp, or to hata/ with a text file beside it saying why. While it is sent
// it waits in işleniyor/ under its history record's id, so that a service
// stopped half-way asks the device before sending it again. Each device has
// its own queue in arrival order and its own back-off; sends to different
// devices run side by side.
#include "DncSettings.h"
#include "DroppedFileSend.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include <memory>

class QThread;
class QTimer;
class TCloseWriteWatcher;
class THistoryRecorder;
class TStatusListenerThread;

class TDncService : public QObject {
    Q_OBJECT
public:
    // Back-off after the first failed attempt at a device; doubled up to the settings' maximum.
    static constexpr int FirstRetryMs = 2000;

    // once: process what waits, then Finished. listenMs: how long the devices
    // are listened for before the first look at the folders (in a run with once).
    TDncService(const TDncSettings& settings, quint16 statusPort, THistoryRecorder* recorder, bool once, int listenMs,
        QObject* parent = nullptr);
    // Waits for the sends in progress.
    ~TDncService() override;

    // Opens the status port, the root and the watcher; false with the reason.
    bool Start(QString& errorMsg);
    // Starts nothing new; Finished once the sends in progress have ended.
    void Stop();
    // With once: 0 when every file taken was sent, 1 when one was set aside or
    // still waits. A service stopped by a signal: 0.
    int ExitCode() const { return FOnce && (FFailed > 0 || FLeft > 0) ? 1 : 0; }

signals:
    void Finished();

private:
    struct TSettling {
        QString Name;
        qint64 Size = -1;
        QDateTime Modified;
        qint64 SinceMs = 0;
    };
    struct TQueue {
        QString Folder;
        QString Key; // the MacId (or address) of the device served from it; empty until one is heard
        TQuillexDevice Device;
        bool Heard = false;
        QList<TSettling> Settling;
        QList<TDroppedFile> Waiting; // arrival order; the first one may be in işleniyor/
        QThread* Worker = nullptr;
        qint64 NextAttemptMs = 0;
        int BackoffMs = 0;
        bool SilenceNoted = false;
    };

    void Tick();
    void RefreshDevices();
    TQueue& EnsureQueue(const QString& folderName);
    void Scan(TQueue& queue, bool withSending);
    void Settle(TQueue& queue, const QString& name);
    void PromoteStable(TQueue& queue);
    void StartSend(TQueue& queue);
    void SendEnded(const QString& folder, const TDropResult& result);
    void SetAside(TQueue& queue, const TDroppedFile& file, const TDropResult& result);
    void CheckFinished();
    bool Idle() const;

    TDncSettings FSettings;
    quint16 FStatusPort;
    THistoryRecorder* FRecorder;
    bool FOnce;
    int FListenMs;
    std::unique_ptr<TStatusListenerThread> FListener;
    TCloseWriteWatcher* FWatcher = nullptr;
    QTimer* FTimer = nullptr;
    QElapsedTimer FClock;
    qint64 FLastRefreshMs = -1;
    bool FLooked = false; // the folders have been read once
    bool FStopping = false;
    bool FFinished = false;
    QHash<QString, TQueue> FQueues; // by folder name
    QHash<QString, QString> FFolderOfKey;
    int FFailed = 0;
    int FLeft = 0;
};

// One line on standard output (for the journal), with the local time.
void DncLog(const QString& text);
