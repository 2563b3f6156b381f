#pragma once
// The hostile peers the client must survive, as one table: what the peer does,
// which device-link operation meets it, and the bound the operation must keep
// (its time, its peak memory, its outcome). Each case runs in a process of its
// own (quillex-hostile), so that one case's peak cannot hide another's; the
// tests run the table at a small size, `make soak` at full size.
#include "Loopback.h"
#include "ScriptedPeer.h"

#include "device/DevicePin.h"
#include "device/ProgramTransfer.h"
#include "device/UnitDeviceCommand.h"

#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QString>

#include <functional>
#include <zlib.h>

// The peak and the current resident memory of this process, in KiB.
inline qint64 ProcStatusKiB(const char* key)
{
    QFile file("/proc/self/status");
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : file.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(qstrlen(key)).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

struct THostileOutcome {
    bool Success = false;
    QString Message;
    qint64 Ms = 0; // the operation alone, without the peer's set-up and teardown
};

struct THostileSize {
    bool Full = false; // the soak's sizes and the real time-outs
    qint64 ReplyBytes() const { return Full ? 8 << 20 : 2 << 20; }
    qint64 MaxFileSize() const { return Full ? DefaultMaxFileSize : 4 << 20; }
    int TransferBaseMs() const { return Full ? 30000 : 2000; }
    int EraseStallMs() const { return Full ? 30000 : 1500; }
    int TrickleGapMs() const { return Full ? 1000 : 300; }
};

struct THostileCase {
    QString Name;
    std::function<THostileOutcome(const THostileSize&)> Run;
    std::function<qint64(const THostileSize&)> LimitMs; // ends within this
    std::function<qint64(const THostileSize&)> MemoryMiB; // peak growth stays below this
    std::function<QString(const THostileSize&)> Expected; // text the outcome's message holds
};

namespace Hostile {

constexpr quint16 DevicePort = 5000;
constexpr int MarginMs = 2000;

inline QString Ip()
{
    return RunIp("60.1");
}

// A peer that plays one script on the first connection.
inline THostileOutcome WithPeer(
    quint16 port, TScriptedPeer::TScript script, const std::function<THostileOutcome()>& run)
{
    TScriptedPeer peer(Ip(), port, { std::move(script) });
    if (!peer.IsListening())
        return { false, "peer did not listen" };
    QElapsedTimer clock;
    clock.start();
    THostileOutcome outcome = run();
    outcome.Ms = clock.elapsed();
    return outcome;
}

// Login and query line answered, then the reply body comes from the script.
inline TScriptedPeer::TScript AfterQuery(std::function<void(TPeerConnection&)> body)
{
    return [body](TPeerConnection& c) {
        c.ReadLine();
        c.Send("OK\n");
        c.ReadLine();
        body(c);
    };
}

inline THostileOutcome Batch(TScriptedPeer::TScript script)
{
    return WithPeer(DevicePort, std::move(script), [] {
        THostileOutcome out;
        out.Success = SendCommandBatch(Ip(), DevicePort, { "BR9600" }, out.Message);
        return out;
    });
}

inline THostileOutcome Index(TScriptedPeer::TScript script)
{
    return WithPeer(DevicePort, std::move(script), [] {
        THostileOutcome out;
        QList<TStartFromIndexEntry> entries;
        out.Success = ReadStartFromIndex(Ip(), DevicePort, entries, out.Message);
        return out;
    });
}

inline THostileOutcome Peek(TScriptedPeer::TScript script)
{
    return WithPeer(DevicePort, std::move(script), [] {
        THostileOutcome out;
        QString prev, line, next;
        out.Success = PeekProgramLine(Ip(), DevicePort, 0, prev, line, next, out.Message);
        return out;
    });
}

inline THostileOutcome PinCheck(TScriptedPeer::TScript script)
{
    return WithPeer(DevicePort, std::move(script), [] {
        THostileOutcome out;
        out.Success = VerifyDevicePin(Ip(), DevicePort, "1234", out.Message);
        return out;
    });
}

inline THostileOutcome Upload(TScriptedPeer::TScript script, const QByteArray& content = QByteArray(1000, 'G'))
{
    return WithPeer(UploadPort, std::move(script), [&content] {
        THostileOutcome out;
        out.Success
            = SendProgramToDevice(Ip(), UploadPort, content, out.Message, {}, DefaultMaxFileSize, {}, {}, false, {});
        return out;
    });
}

// Bytes that do not compress, so that an upload is still sending when the device talks.
inline QByteArray Incompressible(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    quint32 x = 12345;
    for (char& b : bytes) {
        x = x * 1103515245u + 12345u;
        b = char(x >> 24);
    }
    return bytes;
}

inline THostileOutcome Download(TScriptedPeer::TScript script, qint64 maxFileSize)
{
    return WithPeer(DownloadPort, std::move(script), [maxFileSize] {
        THostileOutcome out;
        QByteArray content;
        bool raw = false;
        out.Success = ReceiveProgramFromDevice(Ip(), DownloadPort, content, raw, out.Message, {}, maxFileSize);
        return out;
    });
}

// A download header: status byte and length.
inline QByteArray Header(quint8 status, quint32 length)
{
    return QByteArray(1, char(status)) + UInt32BE(length);
}

// Sends a zlib stream of `inflated` zero bytes made at the given level (0:
// stored blocks) as a compressed download; the stream is made twice, once to
// learn its length, so that the peer never holds it whole.
inline void SendZlibZeros(TPeerConnection& c, qint64 inflated, int level)
{
    const auto stream = [&](const std::function<bool(const char*, qsizetype)>& sink) {
        z_stream z {};
        deflateInit(&z, level);
        QByteArray in(1 << 20, '\0');
        QByteArray out(1 << 20, Qt::Uninitialized);
        qint64 left = inflated;
        int rc = Z_OK;
        while (rc != Z_STREAM_END) {
            if (z.avail_in == 0 && left > 0) {
                z.next_in = reinterpret_cast<Bytef*>(in.data());
                z.avail_in = uInt(qMin<qint64>(in.size(), left));
                left -= z.avail_in;
            }
            z.next_out = reinterpret_cast<Bytef*>(out.data());
            z.avail_out = uInt(out.size());
            rc = deflate(&z, left > 0 || z.avail_in > 0 ? Z_NO_FLUSH : Z_FINISH);
            if (!sink(out.constData(), out.size() - qsizetype(z.avail_out)))
                break;
        }
        deflateEnd(&z);
    };
    qint64 length = 0;
    stream([&](const char*, qsizetype n) {
        length += n;
        return true;
    });
    if (!c.Send(Header(DownloadStatusCompressed, quint32(length))))
        return;
    stream([&](const char* data, qsizetype n) { return n == 0 || c.Send(QByteArray::fromRawData(data, n)); });
}

// A whole zlib stream of `inflated` zero bytes at the best compression: small.
inline QByteArray ZlibZerosBest(qint64 inflated)
{
    QByteArray stream;
    z_stream z {};
    deflateInit(&z, 9);
    QByteArray in(1 << 20, '\0');
    QByteArray out(1 << 16, Qt::Uninitialized);
    int rc = Z_OK;
    while (rc != Z_STREAM_END) {
        if (z.avail_in == 0 && inflated > 0) {
            z.next_in = reinterpret_cast<Bytef*>(in.data());
            z.avail_in = uInt(qMin<qint64>(in.size(), inflated));
            inflated -= z.avail_in;
        }
        z.next_out = reinterpret_cast<Bytef*>(out.data());
        z.avail_out = uInt(out.size());
        rc = deflate(&z, inflated > 0 || z.avail_in > 0 ? Z_NO_FLUSH : Z_FINISH);
        stream.append(out.constData(), out.size() - qsizetype(z.avail_out));
    }
    deflateEnd(&z);
    return stream;
}

inline qint64 MiB(qint64 bytes)
{
    return bytes >> 20;
}

} // namespace Hostile

// The table. Bounds: a command-port exchange ends CommandDeadlineMs after its
// connection, an upload within its time-outs, a download within its length's
// time; memory stays below the data the operation may hold plus 64 MiB.
inline QList<THostileCase> HostileCases()
{
    using namespace Hostile;
    const auto fixed = [](qint64 value) { return [value](const THostileSize&) { return value; }; };
    const auto message = [](const QString& text) { return [text](const THostileSize&) { return text; }; };
    const auto commandDeadline = fixed(CommandDeadlineMs + MarginMs);
    const auto quick = fixed(MarginMs);
    const auto small = fixed(64);
    const QString tooLong = MsgReplyTooLong(MaxCommandReplyBytes);
    const QString timeout = MsgSendFailed(10060);
    const auto trickle = [](const QByteArray& pattern) {
        return [pattern](const THostileSize& size) {
            return [pattern, gap = size.TrickleGapMs()](TPeerConnection& c) { c.Trickle(pattern, gap, 60000); };
        };
    };

    QList<THostileCase> cases;
    cases << THostileCase { "batch: reply without an OK line",
        [](const THostileSize& size) {
            return Batch([n = size.ReplyBytes()](TPeerConnection& c) {
                c.ReadAll(100);
                c.Flood("x", n);
                c.ReadAll(5000);
            });
        },
        commandDeadline, small, message(tooLong) };
    cases << THostileCase { "batch: one byte at a time",
        [trickle](const THostileSize& size) { return Batch(trickle("O")(size)); }, commandDeadline, small,
        message(QString::fromUtf8("Cihaz 0/2 komutu onayladı, bağlantı beklenenden erken kesildi")) };
    cases << THostileCase { "PIN check: one byte at a time",
        [trickle](const THostileSize& size) { return PinCheck(trickle("K")(size)); }, commandDeadline, small,
        message(QString::fromUtf8("Cihaz 0/2 komutu onayladı, bağlantı beklenenden erken kesildi")) };
    cases << THostileCase { "index: reply without an end",
        [](const THostileSize& size) {
            return Index(AfterQuery([n = size.ReplyBytes()](TPeerConnection& c) {
                c.Flood(" ", n);
                c.ReadAll(5000);
            }));
        },
        commandDeadline, small, message(tooLong) };
    cases << THostileCase { "index: one byte at a time",
        [trickle](const THostileSize& size) { return Index(AfterQuery(trickle("{")(size))); }, commandDeadline, small,
        message("GETINDEX yaniti eksik/beklenmedik.") };
    cases << THostileCase { "peek: one byte at a time",
        [trickle](const THostileSize& size) { return Peek(AfterQuery(trickle("{")(size))); }, commandDeadline, small,
        message("PEEKLINE yaniti eksik/beklenmedik.") };

    cases << THostileCase { "upload: reply without a line feed",
        [](const THostileSize& size) {
            return Upload(
                [n = size.ReplyBytes()](TPeerConnection& c) {
                    c.Flood("x", n);
                    c.ReadAll(5000);
                },
                Incompressible(4 << 20));
        },
        [](const THostileSize& size) { return size.TransferBaseMs() + MarginMs; }, small,
        message(MsgReplyTooLong(MaxUploadReplyLineBytes)) };
    cases << THostileCase { "upload: one byte at a time",
        [trickle](const THostileSize& size) { return Upload(trickle("E")(size)); },
        [](const THostileSize& size) { return size.TransferBaseMs() + MarginMs; }, small,
        message("EE") }; // what came in before the time-out is the device's final text
    cases << THostileCase { "upload: erase progress that never moves",
        [](const THostileSize& size) {
            return Upload([gap = size.TrickleGapMs()](TPeerConnection& c) {
                c.Send("ERASE 1 10\n");
                for (int i = 0; i < 600 && c.Send("ERASE 1 10\n"); ++i)
                    std::this_thread::sleep_for(std::chrono::milliseconds(gap / 3));
            });
        },
        [](const THostileSize& size) { return size.EraseStallMs() + MarginMs; }, small, message(timeout) };
    cases << THostileCase { "upload: erase finished, no final line",
        [](const THostileSize& size) {
            return Upload([gap = size.TrickleGapMs()](TPeerConnection& c) {
                for (int i = 0; i < 600 && c.Send("ERASE 10 10\n"); ++i)
                    std::this_thread::sleep_for(std::chrono::milliseconds(gap / 3));
            });
        },
        [](const THostileSize& size) { return size.TransferBaseMs() + MarginMs; }, small, message(timeout) };
    cases << THostileCase { "upload: erase, then OK",
        [](const THostileSize&) {
            return Upload([](TPeerConnection& c) {
                c.Send("ERASE 1 2\nERASE 2 2\nOK\n");
                c.ReadAll(500);
            });
        },
        quick, small, message("OK") };

    cases << THostileCase { "download: one byte at a time",
        [](const THostileSize& size) {
            return Download(
                [gap = size.TrickleGapMs()](TPeerConnection& c) {
                    c.Send(Header(0, 40));
                    c.Trickle("G", gap, 60000);
                },
                size.MaxFileSize());
        },
        [](const THostileSize& size) { return size.TransferBaseMs() + MarginMs; }, small,
        message(MsgDataReceiveFailed(EAGAIN)) };
    cases << THostileCase { "download: header one byte at a time",
        [](const THostileSize& size) {
            return Download(
                [gap = size.TransferBaseMs() * 2 / 3](TPeerConnection& c) {
                    c.Send(QByteArray(1, '\0'));
                    c.Trickle(QByteArray(1, '\0'), gap, 60000);
                },
                size.MaxFileSize());
        },
        [](const THostileSize& size) { return size.TransferBaseMs() + MarginMs; }, small,
        message(MsgInfoReceiveFailed(EAGAIN)) };
    cases << THostileCase { "download: 1 GiB announced",
        [](const THostileSize& size) {
            return Download(
                [](TPeerConnection& c) {
                    c.Send(Header(0, 1u << 30));
                    c.Flood("G", 1 << 20);
                },
                size.MaxFileSize());
        },
        quick, small,
        message(QString::fromUtf8("Cihazın bildirdiği uzunluk geçersiz (1073741824 bayt), dosya alınmadı")) };
    cases << THostileCase { "download: zlib stream announcing 1 GiB",
        [](const THostileSize& size) {
            // Stored blocks, so the stream is as long as what it holds.
            return Download([n = size.Full ? qint64(1) << 30 : 2 * size.MaxFileSize()](
                                TPeerConnection& c) { Hostile::SendZlibZeros(c, n, 0); },
                size.MaxFileSize());
        },
        [](const THostileSize& size) { return size.TransferBaseMs() + MarginMs; }, small,
        message(QString::fromUtf8("Cihazın bildirdiği uzunluk geçersiz (")) };
    cases << THostileCase { "download: inflating past its bound",
        [](const THostileSize& size) {
            // Made before the device answers: the time is the client's.
            const QByteArray bomb = ZlibZerosBest(size.MaxFileSize() * MaxInflateRatio * 2);
            return Download(
                [bomb](TPeerConnection& c) {
                    c.Send(Header(DownloadStatusCompressed, quint32(bomb.size())) + bomb);
                    c.ReadAll(5000);
                },
                size.MaxFileSize());
        },
        [](const THostileSize& size) { return size.TransferBaseMs() + MarginMs; },
        [](const THostileSize& size) { return MiB(size.MaxFileSize() * (MaxInflateRatio + 1)) + 64; },
        [](const THostileSize& size) {
            return QString::fromUtf8("Açılan veri %1 bayt sınırını aşıyor, dosya alınmadı")
                .arg(size.MaxFileSize() * MaxInflateRatio);
        } };
    cases << THostileCase { "download: stored blocks at the limit",
        [](const THostileSize& size) {
            return Download(
                [n = size.MaxFileSize() - 4096](TPeerConnection& c) { SendZlibZeros(c, n, 0); }, size.MaxFileSize());
        },
        [](const THostileSize& size) { return size.TransferBaseMs() + MarginMs; },
        [](const THostileSize& size) { return 2 * MiB(size.MaxFileSize()) + 64; },
        message(QString::fromUtf8(" bayt alındı")) };
    cases << THostileCase { "download: plain at the limit",
        [](const THostileSize& size) {
            return Download(
                [n = size.MaxFileSize()](TPeerConnection& c) {
                    c.Send(Header(0, quint32(n)));
                    c.Flood("G", n);
                },
                size.MaxFileSize());
        },
        [](const THostileSize& size) { return size.TransferBaseMs() + MarginMs; },
        [](const THostileSize& size) { return MiB(size.MaxFileSize()) + 64; },
        [](const THostileSize& size) { return QString::fromUtf8("%1 bayt alındı").arg(size.MaxFileSize()); } };
    return cases;
}
