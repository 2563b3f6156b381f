#include "DeviceSocket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

TDeviceSocket& TDeviceSocket::operator=(TDeviceSocket&& other) noexcept
{
    if (this != &other) {
        Close();
        FHandle = other.FHandle;
        other.FHandle = -1;
    }
    return *this;
}

bool TDeviceSocket::Create()
{
    Close();
    FHandle = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    FLastError = FHandle < 0 ? errno : 0;
    return FHandle >= 0;
}

void TDeviceSocket::SetReceiveTimeout(int ms)
{
    FReceiveTimeoutMs = ms;
    timeval tv { ms / 1000, (ms % 1000) * 1000 };
    ::setsockopt(FHandle, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
}

void TDeviceSocket::SetTimeouts(int receiveMs, int sendMs)
{
    SetReceiveTimeout(receiveMs);
    timeval tv { sendMs / 1000, (sendMs % 1000) * 1000 };
    ::setsockopt(FHandle, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

bool TDeviceSocket::Connect(const QString& ipAddress, quint16 port)
{
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    // Text that is not a dotted address gives the all-ones address, and the
    // connect below fails with the usual message.
    address.sin_addr.s_addr = ::inet_addr(ipAddress.toLatin1().constData());
    if (::connect(FHandle, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        FLastError = errno;
        return false;
    }
    int one = 1;
    ::setsockopt(FHandle, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return true;
}

bool TDeviceSocket::SetNonBlocking(bool on)
{
    const int flags = ::fcntl(FHandle, F_GETFL, 0);
    return flags >= 0 && ::fcntl(FHandle, F_SETFL, on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK)) == 0;
}

void TDeviceSocket::Close()
{
    if (FHandle >= 0) {
        ::close(FHandle);
        FHandle = -1;
    }
}

qint64 TDeviceSocket::Send(const char* data, qint64 size)
{
    const ssize_t sent = ::send(FHandle, data, size_t(size), MSG_NOSIGNAL);
    FLastError = sent < 0 ? errno : 0;
    return sent;
}

qint64 TDeviceSocket::Receive(char* buffer, qint64 size)
{
    const ssize_t received = ::recv(FHandle, buffer, size_t(size), 0);
    FLastError = received < 0 ? errno : 0;
    return received;
}

qint64 TDeviceSocket::Receive(char* buffer, qint64 size, const QDeadlineTimer& deadline)
{
    const qint64 remaining = deadline.remainingTime();
    if (remaining == 0) {
        FLastError = EAGAIN;
        return -1;
    }
    // The socket's own receive time-out still bounds each single wait.
    qint64 waitMs = remaining < 0 ? INT_MAX : qMin<qint64>(remaining, INT_MAX);
    if (FReceiveTimeoutMs > 0)
        waitMs = qMin<qint64>(waitMs, FReceiveTimeoutMs);
    pollfd fd { FHandle, POLLIN, 0 };
    const int rc = ::poll(&fd, 1, int(waitMs));
    if (rc < 0) {
        FLastError = errno;
        return -1;
    }
    if (rc == 0) {
        FLastError = EAGAIN;
        return -1;
    }
    // Readable: the receive returns at once (data, the peer's close or an error).
    return Receive(buffer, size);
}

int TDeviceSocket::Wait(bool forWrite, int timeoutMs)
{
    pollfd fd { FHandle, short(POLLIN | (forWrite ? POLLOUT : 0)), 0 };
    const int rc = ::poll(&fd, 1, timeoutMs);
    if (rc < 0) {
        FLastError = errno;
        return -1;
    }
    int ready = ReadyNone;
    // A closed or failed connection reads as readable, so the receive reports it.
    if (fd.revents & (POLLIN | POLLHUP | POLLERR))
        ready |= ReadyRead;
    if (fd.revents & POLLOUT)
        ready |= ReadyWrite;
    return ready;
}
