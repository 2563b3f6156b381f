#pragma once
// Byte layouts shared by the transfer ports: flag bits and big-endian integers.
#include <QByteArray>
#include <QtGlobal>

constexpr quint16 CommandPort = 5000;
constexpr quint16 UploadPort = 5001;
constexpr quint16 DownloadPort = 5002;
constexpr quint16 StatusPort = 5003;

// First byte of an upload connection.
constexpr quint8 TransferFlagCompressed = 0x01;
constexpr quint8 TransferFlagIndex = 0x02;
constexpr quint8 TransferFlagExtended = 0x04;
constexpr quint8 TransferFlagPin = 0x08;

// First byte of a download answer.
constexpr quint8 DownloadStatusCompressed = 0x01;
constexpr quint8 DownloadStatusRaw = 0x02;
constexpr quint8 DownloadStatusPinRefused = 0x80;

constexpr int PinBlockSize = 8;
constexpr int StartFromEntrySize = 12;

inline void WriteUInt32BE(QByteArray& out, quint32 value)
{
    out.append(char(value >> 24));
    out.append(char(value >> 16));
    out.append(char(value >> 8));
    out.append(char(value));
}

inline QByteArray UInt32BE(quint32 value)
{
    QByteArray out;
    WriteUInt32BE(out, value);
    return out;
}

inline quint32 ReadUInt32BE(const char* p)
{
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return (quint32(u[0]) << 24) | (quint32(u[1]) << 16) | (quint32(u[2]) << 8) | quint32(u[3]);
}
