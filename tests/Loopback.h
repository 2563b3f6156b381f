#pragma once
// Loopback addresses and ports of one test run. The block is chosen at random
// when the process starts (127.A.*.* with the third octet of every address
// mixed with a random byte), and status ports are free ports found at run
// time, so that two runs on one machine never answer each other's sockets.
#include <QHostAddress>
#include <QRandomGenerator>
#include <QString>
#include <QUdpSocket>

struct TLoopbackBlock {
    int Second;
    int ThirdMask;
};

inline const TLoopbackBlock& RunLoopbackBlock()
{
    static const TLoopbackBlock block { 1 + int(QRandomGenerator::system()->bounded(254)),
        int(QRandomGenerator::system()->bounded(256)) };
    return block;
}

// "10.1" gives 127.A.(10 xor B).1: the addresses a test names stay distinct
// within the run and differ from another run's.
inline QString RunIp(const char* lastTwo)
{
    const QStringList parts = QString::fromLatin1(lastTwo).split(u'.');
    const TLoopbackBlock& block = RunLoopbackBlock();
    return QString("127.%1.%2.%3")
        .arg(block.Second)
        .arg(parts.value(0).toInt() ^ block.ThirdMask)
        .arg(parts.value(1).toInt());
}

// A UDP port free on every address right now, for a status listener.
inline quint16 FreeUdpPort()
{
    QUdpSocket socket;
    socket.bind(QHostAddress::AnyIPv4, 0);
    return socket.localPort();
}
