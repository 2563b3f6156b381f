#pragma once
// Receives the devices' encrypted status datagrams, keeps each sender's latest
// status document and publishes the list of devices heard lately.
#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QMutex>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QThread>

#include "device/WireFormat.h"

#include <atomic>
#include <functional>
#include <list>

struct TQuillexDevice {
    QString DisplayName;
    QString MacId;
    QString IPAddress;
    quint16 Port = 5000;
    bool PinRequired = false;
    QString Controller;
    bool operator==(const TQuillexDevice&) const = default;
};

constexpr quint32 DeviceAgeLimitMs = 20000;
// Forged senders could fill the status cache without end: an address silent
// this long is forgotten, and no more than this many are kept (oldest first out).
constexpr quint32 StatusForgetMs = 10 * 60 * 1000;
constexpr qsizetype MaxStatusSenders = 10000;
constexpr int MaxDatagramSize = 2048;

// AES-256-CBC without padding removal; empty on any failure.
QByteArray DecryptAes256Cbc(const QByteArray& key, const QByteArray& iv, const QByteArray& cipherText);

// The shared 32-byte key of the status datagrams. QUILLEX_STATUS_KEY (64 hex
// digits) replaces the built-in key; LoadStatusKeyFromEnvironment reports a
// malformed value instead of falling back silently.
QByteArray StatusKey();
bool LoadStatusKeyFromEnvironment(QString& errorMsg);

// Status text of a datagram's decrypted bytes: ASCII, cut at the first zero.
QString StatusTextFromPlain(const QByteArray& plain);

// The device record of a status document, or false when it is not a JSON object.
bool DeviceFromStatus(const QString& ipAddress, const QString& statusText, TQuillexDevice& device);

// What the device list widget offers the listener.
class TDeviceListView {
public:
    virtual ~TDeviceListView() = default;
    virtual int SelectedRow() const = 0; // -1 for none
    virtual void SetItems(const QStringList& captions) = 0; // updates suspended meanwhile
    virtual void SelectRow(int row) = 0; // -1 clears the selection
};

// Where accepted datagrams are logged, called on the context's thread and
// waited for; the context may go away at any time.
struct TStatusLogTarget {
    QPointer<QObject> Context;
    std::function<void(const QString& line)> Append;
};

class TStatusListenerThread : public QThread {
    Q_OBJECT
public:
    explicit TStatusListenerThread(
        TStatusLogTarget logTarget = {}, quint16 port = StatusPort, std::function<quint32()> tickSource = {});
    ~TStatusListenerThread() override; // asks to stop and waits, running pending hand-overs

    QString GetStatusFor(const QString& ipAddress) const;
    QList<TQuillexDevice> GetLastDeviceList() const;
    QList<TQuillexDevice> BuildDeviceList() const;
    void RefreshDeviceList(TDeviceListView& listView);
    qsizetype CachedSenders() const;

    // For tests and the benchmark: store a datagram as if it had arrived.
    void AcceptDatagram(const QString& senderAddress, const QByteArray& datagram);
    bool IsListening() const { return FListening.load(); }
    qint64 AcceptedDatagrams() const { return FAccepted.load(); }
    qint64 ThreadCpuNanoseconds() const { return FCpuNanoseconds.load(); }

protected:
    void run() override;

private:
    quint32 Now() const { return FTickSource(); }
    void PruneLocked(quint32 now); // FLock held

    TStatusLogTarget FLogTarget;
    quint16 FPort;
    std::function<quint32()> FTickSource;
    mutable QMutex FLock;
    QHash<QString, QString> FStatusCache;
    QHash<QString, quint32> FLastSeenTicks;
    // The senders from the least to the most recently heard, to prune in order.
    std::list<QString> FHeardOrder;
    QHash<QString, std::list<QString>::iterator> FHeardPosition;
    QList<TQuillexDevice> FLastDeviceList;
    std::atomic<bool> FListening { false };
    std::atomic<qint64> FAccepted { 0 };
    std::atomic<qint64> FCpuNanoseconds { 0 };
};
