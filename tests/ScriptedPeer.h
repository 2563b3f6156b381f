#pragma once
// A tiny TCP peer for fault tests: it accepts connections on its own loopback
// address and plays a script per connection on a thread of its own, recording
// what it received.
#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QString>

#include <arpa/inet.h>
#include <atomic>
#include <functional>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

class TPeerConnection {
public:
    explicit TPeerConnection(int fd)
        : FFd(fd)
    {
        int one = 1;
        ::setsockopt(FFd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    ~TPeerConnection() { Close(); }

    // Reads up to and including the next line feed (without it); empty at the end.
    QByteArray ReadLine(int timeoutMs = 5000)
    {
        while (!FPending.contains('\n')) {
            if (!Fill(timeoutMs))
                break;
        }
        const qsizetype lf = FPending.indexOf('\n');
        if (lf < 0) {
            QByteArray rest = FPending;
            FPending.clear();
            return rest;
        }
        QByteArray line = FPending.left(lf);
        FPending.remove(0, lf + 1);
        return line;
    }
    QByteArray ReadBytes(qsizetype count, int timeoutMs = 5000)
    {
        while (FPending.size() < count && Fill(timeoutMs)) { }
        QByteArray bytes = FPending.left(count);
        FPending.remove(0, bytes.size());
        return bytes;
    }
    // Everything until the client closes or goes quiet for timeoutMs.
    QByteArray ReadAll(int timeoutMs = 500)
    {
        while (Fill(timeoutMs)) { }
        QByteArray all = FPending;
        FPending.clear();
        return all;
    }
    // False once the client has gone away.
    bool Send(const QByteArray& bytes)
    {
        return FFd >= 0 && ::send(FFd, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL) == bytes.size();
    }
    // The pattern's bytes one at a time, gapMs apart, round and round, until
    // the client goes away or maxMs have passed.
    void Trickle(const QByteArray& pattern, int gapMs, int maxMs)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(maxMs);
        for (qsizetype i = 0; std::chrono::steady_clock::now() < end; ++i) {
            if (!Send(pattern.mid(i % pattern.size(), 1)))
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(gapMs));
        }
    }
    // count bytes of the repeated pattern as fast as the client takes them,
    // until it goes away; the peer holds only one piece at a time.
    void Flood(const QByteArray& pattern, qint64 count)
    {
        timeval tv { 10, 0 };
        ::setsockopt(FFd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
        QByteArray piece;
        while (piece.size() < 65536)
            piece += pattern;
        piece.truncate(65536 - 65536 % pattern.size());
        for (qint64 sent = 0; sent < count;) {
            const QByteArray part = piece.left(qMin<qint64>(piece.size(), count - sent));
            if (!Send(part))
                return;
            sent += part.size();
        }
    }
    // One byte per send, a little apart, so the client sees them in pieces.
    bool SendSplit(const QByteArray& bytes, int gapMs = 5)
    {
        for (char c : bytes) {
            if (!Send(QByteArray(1, c)))
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(gapMs));
        }
        return true;
    }
    void Close()
    {
        if (FFd >= 0) {
            ::close(FFd);
            FFd = -1;
        }
    }
    const QByteArray& Received() const { return FReceived; }

private:
    bool Fill(int timeoutMs)
    {
        if (FFd < 0)
            return false;
        pollfd p { FFd, POLLIN, 0 };
        if (::poll(&p, 1, timeoutMs) <= 0)
            return false;
        char buffer[65536];
        const ssize_t n = ::recv(FFd, buffer, sizeof buffer, 0);
        if (n <= 0)
            return false;
        FPending.append(buffer, n);
        FReceived.append(buffer, n);
        return true;
    }
    int FFd;
    QByteArray FPending;
    QByteArray FReceived;
};

class TScriptedPeer {
public:
    using TScript = std::function<void(TPeerConnection&)>;

    // Scripts are played in order, one per accepted connection.
    TScriptedPeer(const QString& ip, quint16 port, QList<TScript> scripts)
        : FScripts(std::move(scripts))
    {
        FListen = ::socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        ::setsockopt(FListen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = ::inet_addr(ip.toLatin1().constData());
        FListening
            = ::bind(FListen, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && ::listen(FListen, 8) == 0;
        FThread = std::thread([this] { Serve(); });
    }
    ~TScriptedPeer()
    {
        FStop = true;
        FThread.join();
        ::close(FListen);
    }
    bool IsListening() const { return FListening; }
    int Connections() const { return FAccepted.load(); }
    // What each connection received, in order.
    QList<QByteArray> Received() const
    {
        QMutexLocker locker(&FLock);
        return FReceived;
    }
    // Waits until every script has run (or the time is up).
    bool WaitDone(int timeoutMs = 10000) const
    {
        for (int waited = 0; waited < timeoutMs; waited += 10) {
            if (FDone.load() >= FScripts.size())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

private:
    void Serve()
    {
        qsizetype next = 0;
        while (!FStop && FListening) {
            pollfd p { FListen, POLLIN, 0 };
            if (::poll(&p, 1, 50) <= 0)
                continue;
            const int fd = ::accept(FListen, nullptr, nullptr);
            if (fd < 0)
                continue;
            ++FAccepted;
            TPeerConnection connection(fd);
            if (next < FScripts.size())
                FScripts[next++](connection);
            {
                QMutexLocker locker(&FLock);
                FReceived.append(connection.Received());
            }
            connection.Close();
            ++FDone;
        }
    }

    QList<TScript> FScripts;
    int FListen = -1;
    bool FListening = false;
    std::atomic<bool> FStop { false };
    std::atomic<int> FAccepted { 0 };
    std::atomic<qsizetype> FDone { 0 };
    mutable QMutex FLock;
    QList<QByteArray> FReceived;
    std::thread FThread;
};
