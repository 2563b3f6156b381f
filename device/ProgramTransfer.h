#pragma once
// Program upload (with flush points and the start-from index) and download.
#include "content/QuillexError.h"
#include "content/ToolChangeScanner.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

using TSendProgramProgressProc = std::function<void(qint32 percent)>;
using TEraseProgressProc = std::function<void(qint64 done, qint64 total)>;
using TNotifyProc = std::function<void()>;

struct TStartFromEntry {
    quint32 LineNumber = 0;
    quint32 UncompressedOffset = 0;
    quint32 CompressedOffset = 0;
    bool operator==(const TStartFromEntry&) const = default;
};

// The time-outs of the transfer ports. Tests shorten them to see the limits
// work without waiting half a minute per case.
struct TTransferTimeouts {
    int BaseMs = 30000;
    int EraseStallMs = 30000; // the erase progress must move within this
    // The idle time-out of a transfer of this many bytes: the base and one
    // second per 30000 bytes.
    int ForBytes(qint64 bytes) const { return int(BaseMs + bytes * 1000 / 30000); }
};
TTransferTimeouts& TransferTimeouts();

constexpr int MaxStartFromEntries = 20;
// No reply line of the upload port is anywhere near this long.
constexpr qsizetype MaxUploadReplyLineBytes = 4096;
// What a device stores at most when its status does not say.
constexpr qint64 DefaultMaxFileSize = 33554432;
// Compressed data inflates to at most this many times the device's limit.
constexpr qint64 MaxInflateRatio = 16;
constexpr qint64 LargeUploadBytes = 1048576;
constexpr int UploadChunkBytes = 65536;
// A longer announced length, or more inflated bytes, cannot be a stored program.
constexpr qint64 MaxDownloadBytes = qint64(1) << 30;

// zlib with window bits 14, memory level 8, a full flush at each offset;
// false when zlib cannot start (the output is then empty). The stretches
// between full flushes are compressed side by side, in up to `runs` streams
// (0: one per core, up to four), with the bytes of a single stream.
bool CompressWithFlushPoints(const QByteArray& data, const QList<qint64>& flushOffsets, QByteArray& compressed,
    QList<quint32>& compressedOffsets, int runs = 0);
// A complete zlib stream inflated in memory; raises EQuillexError on corrupt
// data or past maxBytes.
QByteArray InflateZlib(const QByteArray& data, qint64 maxBytes = MaxDownloadBytes);

QByteArray EncodeStartFromEntries(const QList<TStartFromEntry>& entries);

// "Dosya sıkıştırılamadı (zlib başlatılamadı), gönderilmedi"
QString MsgCompressFailed();

// What an upload put on the wire, as the upload itself saw it.
struct TUploadFacts {
    qint64 SentBytes = 0; // the payload after the header, compressed or not
    bool Compressed = false;
    qsizetype IndexEntries = 0; // start-from entries the device stored
};

// facts (may be null) is filled when the upload succeeds.
bool SendProgramToDevice(const QString& ipAddress, quint16 port, const QByteArray& content, QString& responseMsg,
    const TSendProgramProgressProc& onProgress, qint64 maxRawSize, const QList<TStartFromCandidate>& candidates,
    const TNotifyProc& onLargeUpload, bool legacyDevice, const TEraseProgressProc& onEraseProgress,
    TUploadFacts* facts = nullptr);

bool SendStartFromIndex(
    const QString& ipAddress, quint16 port, const QList<TStartFromEntry>& entries, QString& responseMsg);

// maxFileSize: the device's "maxfilesize"; a longer announced length is refused
// and the inflated data is bounded at MaxInflateRatio times it.
bool ReceiveProgramFromDevice(const QString& ipAddress, quint16 port, QByteArray& content, bool& isRaw,
    QString& responseMsg, const TSendProgramProgressProc& onProgress, qint64 maxFileSize = DefaultMaxFileSize);

// Percent of done in total, rounded to nearest with halves to even.
qint32 RoundedPercent(qint64 done, qint64 total);
