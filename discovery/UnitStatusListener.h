#pragma once
// Receives the devices' encrypted status datagrams, keeps each sender's latest
// status document and publishes the list of devices heard lately.
#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QMutex>
#include <QString>
#include <QStringList>
#include <QThread>

#include "StatusLog.h"
#include "device/WireFormat.h"

#include <atomic>
#include <functional>
#include <list>

struct TQuillexDevice {
    QString DisplayName;
    QString MacId;
    QString IPAddress;
    quint16 Port = CommandPort;
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

// The port the status datagrams are received on: QUILLEX_STATUS_PORT (1 to
// 65535) when set, else 5003. A malformed value is reported, not replaced.
bool LoadStatusPortFromEnvironment(quint16& port, QString& errorMsg);

// Status text of a datagram's decrypted bytes: ASCII, cut at the first zero.
QString StatusTextFromPlain(const QByteArray& plain);

// The device record of a status document, or false when it is not a JSON object.
bool DeviceFromStatus(const QString& ipAddress, const QString& statusText, TQuillexDevice& device);

// Another address announces the same MacId among the devices heard. A status
// datagram can be forged: no remembered PIN goes to either sender on its own then.
bool IdentityShared(const TQuillexDevice& device, const QList<TQuillexDevice>& heard);

// The order of the device list: by DisplayName (letter case aside, then
// exactly), then by address (numerically for IPv4), so that it does not
// change from run to run or when a device joins.
bool DeviceListOrder(const TQuillexDevice& a, const TQuillexDevice& b);

class TStatusListenerThread : public QThread {
    Q_OBJECT
public:
    // Each accepted datagram adds the line "[address] text" to logTarget (not
    // owned, may be null) on the listener's own thread.
    explicit TStatusListenerThread(
        TStatusLog* logTarget = nullptr, quint16 port = StatusPort, std::function<quint32()> tickSource = {});
    ~TStatusListenerThread() override; // asks to stop and waits

    QString GetStatusFor(const QString& ipAddress) const;
    QList<TQuillexDevice> GetLastDeviceList() const;
    // The devices heard within the age limit, in DeviceListOrder.
    QList<TQuillexDevice> BuildDeviceList() const;
    // Builds the list, publishes it as the last device list and returns it
    // (the device list model takes it as its rows).
    QList<TQuillexDevice> RefreshDeviceList();
    qsizetype CachedSenders() const;

    // For tests and the benchmark: store a datagram as if it had arrived.
    void AcceptDatagram(const QString& senderAddress, const QByteArray& datagram);
    bool IsListening() const { return FListening.load(); }
    // How long the socket has been open, by the listener's clock; 0 while it is not.
    quint32 ListeningMs() const;
    // Why the socket could not be opened ("Durum portu 5003 dinlenemiyor: ..."); empty otherwise.
    QString ListenError() const;
    qint64 AcceptedDatagrams() const { return FAccepted.load(); }

signals:
    // Emitted on the listener's thread once, when the socket cannot be opened.
    void ListenFailed(const QString& message);

protected:
    void run() override;

private:
    quint32 Now() const { return FTickSource(); }
    void PruneLocked(quint32 now); // FLock held
    void FailToListen(int error);

    TStatusLog* FLogTarget;
    quint16 FPort;
    std::function<quint32()> FTickSource;
    mutable QMutex FLock;
    QHash<QString, QString> FStatusCache;
    QHash<QString, quint32> FLastSeenTicks;
    // The senders from the least to the most recently heard, to prune in order.
    std::list<QString> FHeardOrder;
    QHash<QString, std::list<QString>::iterator> FHeardPosition;
    QList<TQuillexDevice> FLastDeviceList;
    QString FListenError;
    std::atomic<bool> FListening { false };
    std::atomic<quint32> FListeningSince { 0 }; // the tick the socket opened at
    std::atomic<qint64> FAccepted { 0 };
};
