#include "ProgramTransfer.h"

#include "DeviceFailure.h"
#include "PinCache.h"
#include "Ticks.h"
#include "UnitDeviceCommand.h"
#include "content/TextUtil.h"

#include <cerrno>
#include <cmath>
#include <future>
#include <memory>
#include <thread>
#include <vector>
#include <zlib.h>

namespace {

constexpr int ZlibWindowBits = 14;
constexpr int ZlibMemLevel = 8;

// Deflate state released on every path.
struct TDeflateStream {
    z_stream Stream {};
    bool Initialised = false;
    ~TDeflateStream()
    {
        if (Initialised)
            deflateEnd(&Stream);
    }
};

struct TInflateStream {
    z_stream Stream {};
    bool Initialised = false;
    ~TInflateStream()
    {
        if (Initialised)
            inflateEnd(&Stream);
    }
};

// One compressor step: deflate with the flush mode until the input is used up
// and output space remains, or until the stream ends when finishing.
void DeflateStep(z_stream& stream, QByteArray& out, int flush)
{
    while (true) {
        if (stream.avail_out == 0) {
            // The next chunk, in the room made beforehand when there is some.
            if (out.size() - qsizetype(stream.total_out) < UploadChunkBytes)
                out.resize(qsizetype(stream.total_out) + UploadChunkBytes);
            stream.next_out = reinterpret_cast<Bytef*>(out.data()) + stream.total_out;
            stream.avail_out = UploadChunkBytes;
        }
        const int rc = deflate(&stream, flush);
        if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR)
            throw EQuillexError(QString("deflate basarisiz (kod %1)").arg(rc));
        if (flush == Z_FINISH) {
            if (rc == Z_STREAM_END)
                return;
        } else if (stream.avail_in == 0 && stream.avail_out > 0) {
            return;
        }
    }
}

// The flag byte, then the PIN block when a PIN is cached; one send each.
bool SendTransferHeader(TDeviceSocket& socket, const QString& ipAddress, quint8 flags)
{
    const QString pin = GetCachedPin(ipAddress);
    if (!pin.isEmpty())
        flags |= TransferFlagPin;
    if (!socket.SendAll(QByteArray(1, char(flags))))
        return false;
    return pin.isEmpty() || socket.SendAll(MakePinBlock(pin));
}

// The device's reply lines during an upload: erase progress, then one final line.
struct TUploadReply {
    QByteArray Buffer;
    qsizetype Searched = 0; // bytes of Buffer known to hold no line feed
    bool HaveFinal = false;
    QString Final;
    qint64 EraseDone = -1; // the largest Done reported so far
    qint64 EraseTotal = 0;
    bool Advanced = false; // the erase progress grew or the final line came

    void HandleLines(const TEraseProgressProc& onEraseProgress)
    {
        while (!HaveFinal) {
            const qsizetype lf = Buffer.indexOf('\n', Searched);
            if (lf < 0) {
                Searched = Buffer.size();
                return;
            }
            const QString line = TrimLow(ReplyText(Buffer.left(lf))).toString();
            Buffer.remove(0, lf + 1);
            Searched = 0;
            if (line.startsWith(u"ERASE ")) {
                const QStringList parts = line.split(u' ');
                bool okDone = false, okTotal = false;
                if (parts.size() == 3) {
                    const qint64 done = parts[1].toLongLong(&okDone);
                    const qint64 total = parts[2].toLongLong(&okTotal);
                    if (okDone && okTotal) {
                        if (done > EraseDone) {
                            EraseDone = done;
                            Advanced = true;
                        }
                        EraseTotal = total;
                        if (onEraseProgress)
                            onEraseProgress(done, total);
                    }
                }
            } else if (!line.isEmpty()) {
                HaveFinal = true;
                Advanced = true;
                Final = line;
            }
        }
    }
    bool Erasing() const { return EraseDone >= 0 && EraseDone < EraseTotal; }
    // A line that never ends cannot be a reply.
    bool LineTooLong() const { return Buffer.size() > MaxUploadReplyLineBytes; }
};

bool IsWouldBlock(int error)
{
    return error == EAGAIN || error == EWOULDBLOCK;
}

} // namespace

TTransferTimeouts& TransferTimeouts()
{
    static TTransferTimeouts timeouts;
    return timeouts;
}

QString MsgCompressFailed()
{
    return QString::fromUtf8("Dosya sıkıştırılamadı (zlib başlatılamadı), gönderilmedi");
}

qint32 RoundedPercent(qint64 done, qint64 total)
{
    if (total <= 0)
        return 0;
    return qint32(std::nearbyint(double(done) * 100.0 / double(total)));
}

namespace {

// Below this the second core costs more than it saves.
constexpr qsizetype ParallelDeflateBytes = 1 << 20;

// One stretch of the upload's zlib stream, from one full flush to another (or
// from the stream's start, or to its end). A full flush forgets all that came
// before, so a stretch compressed by a raw deflate stream of its own gives the
// very bytes the single stream gives there.
struct TDeflateRun {
    qint64 From = 0, To = 0; // the data it compresses
    qsizetype FirstFlush = 0, EndFlush = 0; // the flush points it makes, [first, end)
    bool StreamStart = false; // writes the zlib header
    bool StreamEnd = false; // ends with Z_FINISH
    QByteArray Out;
    QList<quint32> Offsets; // its output's size after each of its flush points
    uLong Adler = 1; // of [From, To), unless the run is the whole stream
    bool Grew = false; // a raw stretch's output ran out of room
};

// Compresses the run. The stream's start is given its output a chunk at a
// time, as the single stream always was: where zlib finds its output full
// during a full flush decides whether it repeats the flush's empty block. The
// other runs are given all their room at once, so their output never fills.
bool Deflate(const QByteArray& data, const QList<qint64>& flushOffsets, TDeflateRun& run)
{
    TDeflateStream deflater;
    const int windowBits = run.StreamStart ? ZlibWindowBits : -ZlibWindowBits;
    if (deflateInit2(&deflater.Stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, windowBits, ZlibMemLevel, Z_DEFAULT_STRATEGY)
        != Z_OK)
        return false;
    deflater.Initialised = true;
    z_stream& stream = deflater.Stream;
    // Room for all the run writes, made once; pages never written cost no memory.
    const qsizetype room = qsizetype(deflateBound(&stream, uLong(run.To - run.From)))
        + 16 * (run.EndFlush - run.FirstFlush + 1) + UploadChunkBytes;
    run.Out = QByteArray(room, Qt::Uninitialized);
    stream.next_out = reinterpret_cast<Bytef*>(run.Out.data());
    stream.avail_out = uInt(run.StreamStart ? UploadChunkBytes : room);
    const auto feed = [&](qint64 from, qint64 to, int flush) {
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData())) + from;
        stream.avail_in = uInt(to - from);
        const qsizetype before = run.Out.size();
        DeflateStep(stream, run.Out, flush);
        run.Grew = run.Grew || run.Out.size() != before;
    };
    run.Offsets.clear();
    qint64 prev = run.From;
    bool fed = run.StreamStart; // a raw run starts right after the flush that ended the one before
    for (qsizetype i = run.FirstFlush; i < run.EndFlush; ++i) {
        const qint64 f = flushOffsets[i];
        if (f > prev)
            feed(prev, f, Z_NO_FLUSH);
        // A flush right after another writes nothing in the single stream.
        if (fed || f > prev) {
            feed(f, f, Z_FULL_FLUSH);
            fed = true;
        }
        run.Offsets.append(quint32(stream.total_out));
        prev = f;
    }
    if (run.StreamEnd)
        feed(prev, run.To, Z_FINISH);
    run.Out.truncate(qsizetype(stream.total_out));
    if (!run.StreamStart || !run.StreamEnd)
        run.Adler = adler32(1, reinterpret_cast<const Bytef*>(data.constData()) + run.From, uInt(run.To - run.From));
    return true;
}

// The flush points that end the runs, each nearest an even share of the
// data; empty when one stream is best. runs 0: one per core, up to four.
QList<qsizetype> RunEnds(qsizetype size, const QList<qint64>& flushOffsets, int runs)
{
    QList<qsizetype> ends;
    if (runs == 0)
        runs = size < ParallelDeflateBytes ? 1 : int(std::clamp(std::thread::hardware_concurrency(), 1U, 4U));
    for (int j = 1; j < runs; ++j) {
        const qint64 target = size * j / runs;
        qsizetype best = -1;
        for (qsizetype i = 0; i < flushOffsets.size(); ++i) {
            const qint64 f = flushOffsets[i];
            // Strictly inside the data and past the run before.
            if (f <= 0 || f >= size || (!ends.isEmpty() && f <= flushOffsets[ends.last()]))
                continue;
            if (best < 0 || std::abs(f - target) < std::abs(flushOffsets[best] - target))
                best = i;
        }
        if (best >= 0)
            ends.append(best);
    }
    return ends;
}

} // namespace

bool CompressWithFlushPoints(const QByteArray& data, const QList<qint64>& flushOffsets, QByteArray& compressed,
    QList<quint32>& compressedOffsets, int runs)
{
    compressedOffsets = QList<quint32>(flushOffsets.size(), 0);
    compressed.clear();
    qint64 prev = 0;
    for (const qint64 f : flushOffsets) {
        if (f < prev || f > data.size())
            throw EQuillexError(QStringLiteral("Gecersiz flush ofseti"));
        prev = f;
    }

    // Stretches between full flushes on the cores there are, the first on this thread.
    const QList<qsizetype> ends = RunEnds(data.size(), flushOffsets, runs);
    std::vector<TDeflateRun> stretches(ends.size() + 1);
    for (qsizetype r = 0; r < qsizetype(stretches.size()); ++r) {
        TDeflateRun& run = stretches[r];
        run.StreamStart = r == 0;
        run.StreamEnd = r == ends.size();
        run.FirstFlush = r == 0 ? 0 : ends[r - 1] + 1;
        run.EndFlush = run.StreamEnd ? flushOffsets.size() : ends[r] + 1;
        run.From = r == 0 ? 0 : flushOffsets[ends[r - 1]];
        run.To = run.StreamEnd ? data.size() : flushOffsets[ends[r]];
    }
    std::vector<std::future<bool>> others;
    for (size_t r = 1; r < stretches.size(); ++r)
        others.push_back(std::async(std::launch::async,
            [&data, &flushOffsets, &run = stretches[r]] { return Deflate(data, flushOffsets, run); }));
    bool ok = Deflate(data, flushOffsets, stretches[0]);
    for (std::future<bool>& other : others)
        ok = other.get() && ok; // rethrows a run's failure, after every run has ended
    if (!ok)
        return false;
    if (stretches.size() == 1) {
        compressed = std::move(stretches[0].Out);
        compressedOffsets = stretches[0].Offsets;
        return true;
    }

    // The single stream's output fills at each UploadChunkBytes: a run's full
    // flush that ends within a few bytes of such a point might have repeated
    // its empty block there. Such a rare program is compressed in one stream.
    qsizetype total = 0;
    bool same = true;
    for (const TDeflateRun& run : stretches) {
        if (&run != &stretches.front()) {
            same = same && !run.Grew;
            for (const quint32 offset : run.Offsets)
                same = same && (total + offset) % UploadChunkBytes >= 16;
        }
        total += run.Out.size();
    }
    if (!same) {
        TDeflateRun whole;
        whole.StreamStart = whole.StreamEnd = true;
        whole.To = data.size();
        whole.EndFlush = flushOffsets.size();
        if (!Deflate(data, flushOffsets, whole))
            return false;
        compressed = std::move(whole.Out);
        compressedOffsets = whole.Offsets;
        return true;
    }

    uLong adler = stretches[0].Adler;
    compressed.reserve(total + 4);
    qsizetype flush = 0;
    for (const TDeflateRun& run : stretches) {
        for (const quint32 offset : run.Offsets)
            compressedOffsets[flush++] = quint32(compressed.size() + offset);
        compressed += run.Out;
        if (!run.StreamStart)
            adler = adler32_combine(adler, run.Adler, z_off_t(run.To - run.From));
    }
    compressed += UInt32BE(quint32(adler));
    return true;
}

QByteArray InflateZlib(const QByteArray& data, qint64 maxBytes)
{
    // maxBytes + 1 below must not overflow, and no bound exceeds the program's own.
    maxBytes = qBound<qint64>(0, maxBytes, MaxDownloadBytes);
    TInflateStream inflater;
    if (inflateInit(&inflater.Stream) != Z_OK)
        throw EQuillexError(QString::fromUtf8("Sıkıştırılmış veri açılamadı (zlib başlatılamadı)"));
    inflater.Initialised = true;
    z_stream& stream = inflater.Stream;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    stream.avail_in = uInt(data.size());

    QByteArray out;
    qsizetype capacity = qMin<qint64>(qMax<qint64>(data.size() * 4, UploadChunkBytes), maxBytes + 1);
    out.resize(capacity);
    while (true) {
        if (qint64(stream.total_out) == out.size()) {
            if (out.size() > maxBytes)
                throw EQuillexError(
                    QString::fromUtf8("Açılan veri %1 bayt sınırını aşıyor, dosya alınmadı").arg(maxBytes));
            out.resize(qMin<qint64>(out.size() * 2, maxBytes + 1));
        }
        stream.next_out = reinterpret_cast<Bytef*>(out.data()) + stream.total_out;
        stream.avail_out = uInt(out.size() - qsizetype(stream.total_out));
        const int rc = inflate(&stream, Z_NO_FLUSH);
        if (rc == Z_STREAM_END)
            break;
        if (rc == Z_OK)
            continue;
        if (rc == Z_BUF_ERROR && stream.avail_out == 0)
            continue;
        // Z_BUF_ERROR with output space left: the stream stopped before its end.
        throw EQuillexError(QString::fromUtf8("Sıkıştırılmış veri bozuk (zlib hata kodu: %1)").arg(rc));
    }
    if (qint64(stream.total_out) > maxBytes)
        throw EQuillexError(QString::fromUtf8("Açılan veri %1 bayt sınırını aşıyor, dosya alınmadı").arg(maxBytes));
    out.truncate(qsizetype(stream.total_out));
    return out;
}

QByteArray EncodeStartFromEntries(const QList<TStartFromEntry>& entries)
{
    QByteArray bytes;
    bytes.reserve(entries.size() * StartFromEntrySize);
    for (const TStartFromEntry& entry : entries) {
        WriteUInt32BE(bytes, entry.LineNumber);
        WriteUInt32BE(bytes, entry.UncompressedOffset);
        WriteUInt32BE(bytes, entry.CompressedOffset);
    }
    return bytes;
}

bool SendProgramToDevice(const QString& ipAddress, quint16 port, const QByteArray& content, QString& responseMsg,
    const TSendProgramProgressProc& onProgress, qint64 maxRawSize, const QList<TStartFromCandidate>& candidates,
    const TNotifyProc& onLargeUpload, bool legacyDevice, const TEraseProgressProc& onEraseProgress, TUploadFacts* facts)
{
    responseMsg.clear();
    QByteArray payload = content;
    bool compressed = false;
    qsizetype flushCount = 0;
    QList<quint32> compressedOffsets;

    if (!content.isEmpty() && (!legacyDevice || content.size() > maxRawSize)) {
        flushCount = legacyDevice ? 0 : qMin<qsizetype>(candidates.size(), MaxStartFromEntries);
        QList<qint64> flushOffsets;
        for (qsizetype i = 0; i < flushCount; ++i)
            flushOffsets.append(candidates[i].UncompressedOffset);
        // The compressor empties the payload first: a failure must not go out as an empty upload.
        bool compressedOk = false;
        try {
            compressedOk = CompressWithFlushPoints(content, flushOffsets, payload, compressedOffsets);
        } catch (const EQuillexError& e) {
            responseMsg = e.Message();
            SetDeviceFailure(EDeviceFailure::DeviceError);
            return false;
        }
        if (!compressedOk) {
            responseMsg = MsgCompressFailed();
            SetDeviceFailure(EDeviceFailure::DeviceError);
            return false;
        }
        if (payload.size() > maxRawSize) {
            responseMsg = QString("Dosya sikistirilmis haliyle bile cihazin %1 bayt sinirina sigmiyor").arg(maxRawSize);
            SetDeviceFailure(EDeviceFailure::TooLarge);
            return false;
        }
        compressed = true;
    }

    if (onLargeUpload && !legacyDevice && payload.size() > LargeUploadBytes)
        onLargeUpload();

    const qint64 total = payload.size();
    const TTransferTimeouts limits = TransferTimeouts();
    const quint32 timeout = quint32(limits.ForBytes(total));
    TDeviceSocket socket;
    if (!OpenDeviceSocket(socket, ipAddress, port, int(timeout), responseMsg))
        return false;

    quint8 flags = 0;
    if (compressed)
        flags |= TransferFlagCompressed;
    if (!legacyDevice)
        flags |= TransferFlagExtended;
    if (!SendTransferHeader(socket, ipAddress, flags) || !socket.SendAll(UInt32BE(quint32(total)))
        || (compressed && !legacyDevice && !socket.SendAll(UInt32BE(quint32(content.size()))))) {
        responseMsg = MsgInfoSendFailed();
        SetDeviceFailure(EDeviceFailure::NetworkError);
        return false;
    }

    // Streaming, then waiting for the final line. Only progress renews the
    // time-out (bytes going out, the erase progress growing, the final line):
    // a device that keeps talking without moving on cannot keep the upload alive.
    socket.SetNonBlocking(true);
    qint64 sent = 0;
    quint32 lastProgress = GetTickCount32();
    TUploadReply reply;
    char buffer[256];
    int drainError = 0;
    while (!reply.HaveFinal) {
        const bool sending = sent < total;
        if (!sending && reply.Buffer.size() > 200)
            break;
        const int ready = socket.Wait(sending, 1000);
        if (ready < 0) {
            responseMsg = MsgSendFailed(socket.LastError());
            SetDeviceFailure(NetworkFailure(socket.LastError()));
            return false;
        }
        if (ready & TDeviceSocket::ReadyRead) {
            const qint64 received = socket.Receive(buffer, sizeof buffer);
            if (received > 0) {
                reply.Buffer.append(buffer, received);
                reply.HandleLines(onEraseProgress);
                if (reply.LineTooLong()) {
                    responseMsg = MsgReplyTooLong(MaxUploadReplyLineBytes);
                    SetDeviceFailure(EDeviceFailure::DeviceError);
                    return false;
                }
            } else if (received == 0 || !IsWouldBlock(socket.LastError())) {
                const int error = socket.LastError();
                if (!sending) {
                    drainError = error;
                    break;
                }
                responseMsg = TrimLow(ReplyText(reply.Buffer)).toString();
                SetDeviceFailure(EDeviceFailure::DeviceError);
                if (responseMsg.isEmpty()) {
                    responseMsg = MsgSendFailed(error);
                    SetDeviceFailure(NetworkFailure(error));
                }
                return false;
            }
        }
        if (reply.Advanced) {
            reply.Advanced = false;
            lastProgress = GetTickCount32();
        }
        if (!reply.HaveFinal && sending && (ready & TDeviceSocket::ReadyWrite)) {
            const qint64 count = qMin<qint64>(total - sent, UploadChunkBytes);
            const qint64 written = socket.Send(payload.constData() + sent, count);
            if (written > 0) {
                sent += written;
                lastProgress = GetTickCount32();
                if (onProgress)
                    onProgress(RoundedPercent(sent, total));
            } else if (written < 0 && !IsWouldBlock(socket.LastError())) {
                responseMsg = MsgSendFailed(socket.LastError());
                SetDeviceFailure(NetworkFailure(socket.LastError()));
                return false;
            }
        }
        const quint32 limit = reply.Erasing() ? quint32(limits.EraseStallMs) : timeout;
        if (!reply.HaveFinal && TicksSince(lastProgress, GetTickCount32()) > limit) {
            if (sending || reply.Erasing()) {
                responseMsg = MsgSendFailed(IdleTimeoutError);
                SetDeviceFailure(NetworkFailure(IdleTimeoutError));
                return false;
            }
            drainError = IdleTimeoutError;
            break;
        }
    }

    if (!reply.HaveFinal)
        reply.Final = TrimLow(ReplyText(reply.Buffer)).toString();
    // A device that ends the connection without a word: a failure with a message,
    // as in the transfer loop, never an empty one.
    if (reply.Final.isEmpty()) {
        responseMsg = MsgSendFailed(drainError);
        SetDeviceFailure(NetworkFailure(drainError));
        return false;
    }
    responseMsg = reply.Final == u"ERR pin" ? MsgPinRefused() : reply.Final;
    const bool success = ReplyIsOk(responseMsg);
    SetDeviceFailure(reply.Final == u"ERR pin" ? EDeviceFailure::PinRefused : EDeviceFailure::DeviceError);
    socket.Close();

    qsizetype indexEntries = 0;
    if (success && compressed && flushCount > 0) {
        QList<TStartFromEntry> entries;
        for (qsizetype i = 0; i < flushCount; ++i)
            entries.append(
                { quint32(candidates[i].LineNumber), quint32(candidates[i].UncompressedOffset), compressedOffsets[i] });
        QString indexMsg;
        if (SendStartFromIndex(ipAddress, port, entries, indexMsg))
            indexEntries = flushCount;
        else
            responseMsg += QString(" (UYARI: Start From index kaydedilemedi: %1)").arg(indexMsg);
    }
    if (success && facts)
        *facts = { total, compressed, indexEntries };
    return success;
}

bool SendStartFromIndex(
    const QString& ipAddress, quint16 port, const QList<TStartFromEntry>& entries, QString& responseMsg)
{
    responseMsg.clear();
    const QByteArray body = EncodeStartFromEntries(entries);
    TDeviceSocket socket;
    if (!OpenDeviceSocket(socket, ipAddress, port, TransferTimeouts().BaseMs, responseMsg))
        return false;
    if (!SendTransferHeader(socket, ipAddress, TransferFlagIndex)
        || !socket.SendAll(UInt32BE(quint32(entries.size())))) {
        responseMsg = MsgInfoSendFailed();
        SetDeviceFailure(EDeviceFailure::NetworkError);
        return false;
    }
    if (!entries.isEmpty() && !socket.SendAll(body)) {
        responseMsg = MsgSendFailed(socket.LastError());
        SetDeviceFailure(NetworkFailure(socket.LastError()));
        return false;
    }
    QByteArray reply;
    char buffer[256];
    while (!reply.contains('\n') && reply.size() <= 200) {
        const qint64 received = socket.Receive(buffer, 255);
        if (received <= 0)
            break;
        reply.append(buffer, received);
    }
    responseMsg = TrimLow(ReplyText(reply)).toString();
    return ReplyIsOk(responseMsg);
}

bool ReceiveProgramFromDevice(const QString& ipAddress, quint16 port, QByteArray& content, bool& isRaw,
    QString& responseMsg, const TSendProgramProgressProc& onProgress, qint64 maxFileSize)
{
    responseMsg.clear();
    content.clear();
    isRaw = false;
    // A device's own limit never lifts the program's: its length and what it
    // inflates to stay within MaxDownloadBytes, computed without overflow.
    maxFileSize = qBound<qint64>(0, maxFileSize, MaxDownloadBytes);
    const qint64 maxInflatedBytes = qMin(maxFileSize * MaxInflateRatio, MaxDownloadBytes);
    const TTransferTimeouts limits = TransferTimeouts();
    TDeviceSocket socket;
    if (!OpenDeviceSocket(socket, ipAddress, port, limits.BaseMs, responseMsg))
        return false;

    const QString pin = GetCachedPin(ipAddress);
    if (!pin.isEmpty() && !socket.SendAll(MakePinBlock(pin))) {
        responseMsg = MsgSendFailed(socket.LastError());
        SetDeviceFailure(NetworkFailure(socket.LastError()));
        return false;
    }

    // The status byte and the length come within the base time-out as a whole,
    // however slowly the device sends them.
    const QDeadlineTimer headerDeadline(limits.BaseMs);
    char status = 0;
    if (socket.Receive(&status, 1, headerDeadline) != 1) {
        responseMsg = MsgInfoReceiveFailed(socket.LastError());
        SetDeviceFailure(NetworkFailure(socket.LastError()));
        return false;
    }
    if (quint8(status) & DownloadStatusPinRefused) {
        responseMsg = MsgPinRefused();
        SetDeviceFailure(EDeviceFailure::PinRefused);
        return false;
    }
    const bool compressed = quint8(status) & DownloadStatusCompressed;
    const bool raw = quint8(status) & DownloadStatusRaw;

    char lengthBytes[4];
    qint64 have = 0;
    while (have < 4) {
        const qint64 received = socket.Receive(lengthBytes + have, 4 - have, headerDeadline);
        if (received <= 0) {
            responseMsg = MsgInfoReceiveFailed(socket.LastError());
            SetDeviceFailure(NetworkFailure(socket.LastError()));
            return false;
        }
        have += received;
    }
    const quint32 length = ReadUInt32BE(lengthBytes);
    if (length == 0) {
        responseMsg = QString::fromUtf8("QUILLEX'de kayıtlı dosya yok");
        SetDeviceFailure(EDeviceFailure::NoProgram);
        return false;
    }
    // The device stores at most its limit: a longer length is not a stored program.
    if (length > maxFileSize) {
        responseMsg = QString::fromUtf8("Cihazın bildirdiği uzunluk geçersiz (%1 bayt), dosya alınmadı").arg(length);
        SetDeviceFailure(EDeviceFailure::CorruptData);
        return false;
    }

    // The same time-out bounds each receive and the data phase as a whole.
    const int dataTimeoutMs = limits.ForBytes(length);
    socket.SetReceiveTimeout(dataTimeoutMs);
    const QDeadlineTimer dataDeadline(dataTimeoutMs);
    QByteArray data(qsizetype(length), Qt::Uninitialized);
    qint64 received = 0;
    while (received < length) {
        const qint64 count = socket.Receive(data.data() + received, length - received, dataDeadline);
        if (count <= 0) {
            responseMsg = MsgDataReceiveFailed(socket.LastError());
            SetDeviceFailure(NetworkFailure(socket.LastError()));
            return false;
        }
        received += count;
        if (onProgress)
            onProgress(RoundedPercent(received, length));
    }
    socket.Close();

    if (compressed) {
        try {
            content = InflateZlib(data, maxInflatedBytes);
        } catch (const EQuillexError& e) {
            responseMsg = e.Message();
            SetDeviceFailure(EDeviceFailure::CorruptData);
            return false;
        }
    } else {
        content = std::move(data);
    }
    isRaw = raw;
    responseMsg = QString::fromUtf8("%1 bayt alındı").arg(length);
    return true;
}
