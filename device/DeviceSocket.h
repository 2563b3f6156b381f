#pragma once
// A TCP client socket that closes itself: no path of a device-link operation
// can leave one open.
#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>

class TDeviceSocket {
public:
    TDeviceSocket() = default;
    ~TDeviceSocket() { Close(); }
    TDeviceSocket(TDeviceSocket&& other) noexcept
        : FHandle(other.FHandle)
    {
        other.FHandle = -1;
    }
    TDeviceSocket& operator=(TDeviceSocket&& other) noexcept;
    TDeviceSocket(const TDeviceSocket&) = delete;
    TDeviceSocket& operator=(const TDeviceSocket&) = delete;

    bool Create(); // IPv4 stream socket
    void SetTimeouts(int receiveMs, int sendMs);
    void SetReceiveTimeout(int ms);
    bool Connect(const QString& ipAddress, quint16 port);
    bool SetNonBlocking(bool on);
    void Close();
    bool IsOpen() const { return FHandle >= 0; }

    // One send call; the count sent or -1.
    qint64 Send(const char* data, qint64 size);
    qint64 Send(const QByteArray& data) { return Send(data.constData(), data.size()); }
    // True when one send call took the whole buffer.
    bool SendAll(const QByteArray& data) { return Send(data) == data.size(); }
    // One receive call; the count received, 0 when the peer closed, -1 on error.
    qint64 Receive(char* buffer, qint64 size);
    // The same, but gives up once the deadline has passed, whatever the peer
    // sends: -1 with the error of a receive time-out (EAGAIN).
    qint64 Receive(char* buffer, qint64 size, const QDeadlineTimer& deadline);

    enum TReadiness { ReadyNone = 0, ReadyRead = 1, ReadyWrite = 2 };
    // Waits for readability and, when asked, writability; -1 when the wait fails.
    int Wait(bool forWrite, int timeoutMs);

    // The platform error number of the last failed call (0 when the peer closed).
    int LastError() const { return FLastError; }

private:
    int FHandle = -1;
    int FLastError = 0;
    int FReceiveTimeoutMs = 0; // 0: none
};
