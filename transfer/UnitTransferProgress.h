#pragma once
// Drives the transfer panel for one transfer: the socket progress the job
// reports, the flash erase the device reports on the connection, and, for
// large uploads, the device's own counters polled from its status document;
// after an upload, the read-back of the stored program as a stage of its own.
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

// The three widgets of the transfer panel (title, status line, bar).
class TTransferProgressView {
public:
    virtual ~TTransferProgressView() = default;
    virtual void SetTitle(const QString& title) = 0;
    virtual void SetStatus(const QString& text) = 0;
    virtual void SetBar(int position) = 0; // normal style, 0 to 100
    virtual void SetBarMarquee() = 0; // endless style
    virtual void SetPanelVisible(bool visible) = 0;
};

class TTransferProgress : public QObject {
    Q_OBJECT
public:
    TTransferProgress(TTransferProgressView& view, const QString& title, std::function<quint32()> tickSource = {});
    ~TTransferProgress() override; // hides the panel; bar and status keep their contents

    void UpdateProgress(int percent);
    void UseDeviceProgress(std::function<QString()> statusProvider);
    void UpdateEraseProgress(qint64 done, qint64 total);
    void PollDeviceStatus();
    bool UsesDeviceProgress() const { return bool(FStatusProvider); }
    // The read-back stage: the device's counters are left behind, and from now
    // on UpdateProgress shows the download of the stored program.
    void BeginVerification();
    bool Verifying() const { return FVerifying; }

    static constexpr int PollIntervalMs = 500;
    static constexpr quint32 SocketErasePriorityMs = 3000;

private:
    void ShowStageProgress(const QString& caption, qint64 done, qint64 total);
    quint32 Now() const;

    TTransferProgressView& FView;
    std::function<QString()> FStatusProvider;
    QTimer* FPollTimer = nullptr;
    quint32 FLastSocketEraseTicks = 0;
    bool FVerifying = false;
    std::function<quint32()> FTickSource;
};
