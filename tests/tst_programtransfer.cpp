// Program upload and download on the transfer ports, byte by byte, against
// scripted peers on the run's own loopback addresses.
#include "Loopback.h"
#include "ScriptedPeer.h"

#include "device/DeviceFailure.h"
#include "device/DevicePin.h"
#include "device/ProgramTransfer.h"
#include "device/WireFormat.h"
#include "document/UploadPlan.h"

#include <QRandomGenerator>
#include <QTest>

#include <limits>
#include <zlib.h>

namespace {

// A device's side of an upload: header fields, payload, reply lines.
struct TUploadSeen {
    quint8 Flags = 0;
    QByteArray PinBlock;
    quint32 PayloadLength = 0;
    qint64 UncompressedLength = -1;
    QByteArray Payload;
};

TUploadSeen ReadUploadHeader(TPeerConnection& c, bool readPayload = true)
{
    TUploadSeen seen;
    const QByteArray flag = c.ReadBytes(1);
    seen.Flags = flag.isEmpty() ? 0 : quint8(flag[0]);
    if (seen.Flags & TransferFlagPin)
        seen.PinBlock = c.ReadBytes(8);
    seen.PayloadLength = ReadUInt32BE(c.ReadBytes(4).constData());
    if ((seen.Flags & TransferFlagCompressed) && (seen.Flags & TransferFlagExtended))
        seen.UncompressedLength = ReadUInt32BE(c.ReadBytes(4).constData());
    if (readPayload)
        seen.Payload = c.ReadBytes(seen.PayloadLength, 10000);
    return seen;
}

QByteArray Program(int lines)
{
    QByteArray text;
    for (int i = 1; i <= lines; ++i)
        text += "N" + QByteArray::number(i) + " G1 X" + QByteArray::number(i % 97) + " Y" + QByteArray::number(i % 13)
            + (i % 50 == 0 ? " T" + QByteArray::number(i / 50) + " M6" : QByteArray()) + "\r\n";
    return text;
}

QList<TStartFromCandidate> Candidates(int count, qint64 step)
{
    QList<TStartFromCandidate> list;
    for (int i = 1; i <= count; ++i)
        list.append({ i * 10, i * step });
    return list;
}

// Raw inflate from a flush point: the data after it refers to nothing before.
QByteArray InflateFrom(const QByteArray& stream, qint64 offset)
{
    z_stream s {};
    inflateInit2(&s, -15);
    s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.constData())) + offset;
    s.avail_in = uInt(stream.size() - offset);
    QByteArray out;
    char buffer[65536];
    int rc;
    do {
        s.next_out = reinterpret_cast<Bytef*>(buffer);
        s.avail_out = sizeof buffer;
        rc = inflate(&s, Z_NO_FLUSH);
        out.append(buffer, qsizetype(sizeof buffer - s.avail_out));
    } while (rc == Z_OK);
    inflateEnd(&s);
    return rc == Z_STREAM_END ? out : QByteArray("<corrupt>");
}

QByteArray Deflate(const QByteArray& data)
{
    QByteArray compressed;
    QList<quint32> offsets;
    CompressWithFlushPoints(data, {}, compressed, offsets);
    return compressed;
}

} // namespace

class TestProgramTransfer : public QObject {
    Q_OBJECT
private slots:
    void flushPointsAreIndependent()
    {
        const QByteArray data = Program(4000);
        const QList<qint64> offsets { 0, 0, 1000, 50000, 50001, data.size() };
        QByteArray compressed;
        QList<quint32> compressedOffsets;
        QVERIFY(CompressWithFlushPoints(data, offsets, compressed, compressedOffsets));
        QCOMPARE(compressedOffsets.size(), offsets.size());
        QCOMPARE(InflateZlib(compressed), data);
        QCOMPARE(quint8(compressed[0]) & 0x0F, 8); // deflate
        QCOMPARE(quint8(compressed[0]) >> 4, 6); // 16 KiB window
        for (qsizetype i = 0; i < offsets.size(); ++i)
            QCOMPARE(InflateFrom(compressed, compressedOffsets[i]), data.mid(offsets[i]));
        QVERIFY(std::is_sorted(compressedOffsets.begin(), compressedOffsets.end()));
    }

    // The stretches between full flushes compressed side by side give the
    // single stream's bytes and flush offsets, over many output chunks, with
    // points at the start and end, repeated where the stretches meet, and
    // with data that does not compress.
    void sideBySideGivesTheSingleStream_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QList<qint64>>("offsets");
        const QByteArray program = Program(120000);
        const qint64 size = program.size();
        QList<qint64> spread;
        for (int i = 1; i <= MaxStartFromEntries; ++i)
            spread << program.indexOf('\n', size / 21 * i) + 1;
        QByteArray noise(1536 * 1024, Qt::Uninitialized);
        QRandomGenerator generator(29);
        generator.fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
        QTest::newRow("program, 20 points") << program << spread;
        QTest::newRow("program, no point") << program << QList<qint64>();
        QTest::newRow("program, start, repeats and end")
            << program
            << QList<qint64> { 0, 0, size / 4, size / 3, size / 3, size / 3, size / 2, size / 2, size, size };
        QTest::newRow("program, points near the start") << program << QList<qint64> { 1, 10, 100, 1000 };
        QTest::newRow("noise, 3 points") << noise << QList<qint64> { 1000, qint64(noise.size() / 2), noise.size() - 5 };
    }
    void sideBySideGivesTheSingleStream()
    {
        QFETCH(QByteArray, data);
        QFETCH(QList<qint64>, offsets);
        QByteArray single;
        QList<quint32> singleOffsets;
        QVERIFY(CompressWithFlushPoints(data, offsets, single, singleOffsets, 1));
        QVERIFY(single.size() > 2 * UploadChunkBytes);
        QCOMPARE(InflateZlib(single), data);
        for (const int runs : { 2, 3, 4 }) {
            QByteArray compressed;
            QList<quint32> compressedOffsets;
            QVERIFY(CompressWithFlushPoints(data, offsets, compressed, compressedOffsets, runs));
            QCOMPARE(compressed.size(), single.size());
            QVERIFY2(compressed == single, qPrintable(QString("%1 runs").arg(runs)));
            QCOMPARE(compressedOffsets, singleOffsets);
        }
    }

    void badFlushOffsetRaises()
    {
        QByteArray compressed;
        QList<quint32> offsets;
        QVERIFY_THROWS_EXCEPTION(EQuillexError, CompressWithFlushPoints("abc", { 2, 1 }, compressed, offsets));
        QVERIFY_THROWS_EXCEPTION(EQuillexError, CompressWithFlushPoints("abc", { 4 }, compressed, offsets));
    }

    void inflateRefusesCorruptAndHugeData()
    {
        const QByteArray good = Deflate(QByteArray(100000, 'x'));
        QByteArray bad = good;
        bad[bad.size() / 2] = char(bad[bad.size() / 2] ^ 0xFF);
        try {
            InflateZlib(bad);
            QFAIL("corrupt data inflated");
        } catch (const EQuillexError& e) {
            QVERIFY(e.Message().startsWith(QString::fromUtf8("Sıkıştırılmış veri bozuk")));
        }
        QVERIFY_THROWS_EXCEPTION(EQuillexError, InflateZlib(good.left(good.size() - 10)));
        QVERIFY_THROWS_EXCEPTION(EQuillexError, InflateZlib(good, 99999));
        QCOMPARE(InflateZlib(good, 100000).size(), 100000);
        // Bounds beyond the program's own neither overflow nor lift it.
        QCOMPARE(InflateZlib(good, std::numeric_limits<qint64>::max()).size(), 100000);
    }

    // What a device claims as its "maxfilesize" is capped at the program's own
    // limit; its length and what it inflates to are bounded without overflow.
    void deviceLimitCapped_data()
    {
        QTest::addColumn<qint64>("claim");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<bool>("result");
        QTest::addColumn<QString>("message");
        const QByteArray packed = Deflate(Program(200));
        const QByteArray compressed = QByteArray(1, '\x01') + UInt32BE(packed.size()) + packed;
        const qint64 most = std::numeric_limits<qint64>::max();
        QTest::newRow("3 GiB announced, 4 GiB claimed")
            << qint64(4294967295) << QByteArray("\x00\xC0\x00\x00\x00", 5) << false
            << QString::fromUtf8("Cihazın bildirdiği uzunluk geçersiz (3221225472 bayt), dosya alınmadı");
        QTest::newRow("1 GiB + 1 announced, 2^63-1 claimed")
            << most << QByteArray("\x00\x40\x00\x00\x01", 5) << false
            << QString::fromUtf8("Cihazın bildirdiği uzunluk geçersiz (1073741825 bayt), dosya alınmadı");
        QTest::newRow("compressed, 2^63-1 claimed")
            << most << compressed << true << QString::fromUtf8("%1 bayt alındı").arg(packed.size());
        QTest::newRow("compressed, negative claim")
            << qint64(-5) << compressed << false
            << QString::fromUtf8("Cihazın bildirdiği uzunluk geçersiz (%1 bayt), dosya alınmadı").arg(packed.size());
    }
    void deviceLimitCapped()
    {
        QFETCH(qint64, claim);
        QFETCH(QByteArray, answer);
        QFETCH(bool, result);
        QFETCH(QString, message);
        TScriptedPeer peer(RunIp("12.11"), DownloadPort, { [&](TPeerConnection& c) { c.Send(answer); } });
        QByteArray got;
        bool isRaw = false;
        QString msg;
        QCOMPARE(ReceiveProgramFromDevice(RunIp("12.11"), DownloadPort, got, isRaw, msg, {}, claim), result);
        QCOMPARE(msg, message);
        QCOMPARE(got.isEmpty(), !result);
        QVERIFY(peer.WaitDone());

        const QString status = QString("{\"maxfilesize\": %1}").arg(claim);
        QCOMPARE(DecideUploadPlan(status, {}).MaxRawSize, qBound<qint64>(0, claim, MaxDownloadBytes));
    }

    void roundedPercent()
    {
        QCOMPARE(RoundedPercent(1, 200), 0); // 0.5 to even
        QCOMPARE(RoundedPercent(3, 200), 2); // 1.5 to even
        QCOMPARE(RoundedPercent(5, 200), 2); // 2.5 to even
        QCOMPARE(RoundedPercent(2000, 2000), 100);
    }

    void emptyContentNonLegacy()
    {
        TUploadSeen seen;
        TScriptedPeer peer(RunIp("12.1"), UploadPort, { [&](TPeerConnection& c) {
            seen = ReadUploadHeader(c);
            c.Send("OK\n");
        } });
        QString msg;
        QVERIFY(SendProgramToDevice(RunIp("12.1"), UploadPort, {}, msg, {}, 1000, {}, {}, false, {}));
        QCOMPARE(msg, QString("OK"));
        QVERIFY(peer.WaitDone());
        QCOMPARE(peer.Received().value(0), QByteArray("\x04\0\0\0\0", 5));
    }

    void legacyDevice_data()
    {
        QTest::addColumn<int>("maxRaw");
        QTest::addColumn<bool>("withPin");
        QTest::addColumn<int>("flags");
        QTest::newRow("under the limit") << 1000000 << false << 0x00;
        QTest::newRow("under the limit, PIN") << 1000000 << true << 0x08;
        QTest::newRow("above the limit: compressed") << 100 << false << 0x01;
    }
    void legacyDevice()
    {
        QFETCH(int, maxRaw);
        QFETCH(bool, withPin);
        QFETCH(int, flags);
        const QByteArray content = QByteArray(2000, 'G');
        if (withPin)
            SetCachedPin(RunIp("12.2"), "98765");
        TUploadSeen seen;
        TScriptedPeer peer(RunIp("12.2"), UploadPort, { [&](TPeerConnection& c) {
            seen = ReadUploadHeader(c);
            c.Send("OK stored\n");
        } });
        QString msg;
        TUploadFacts facts;
        QVERIFY(SendProgramToDevice(
            RunIp("12.2"), UploadPort, content, msg, {}, maxRaw, Candidates(5, 100), {}, true, {}, &facts));
        QCOMPARE(msg, QString("OK stored"));
        QVERIFY(peer.WaitDone());
        // The upload reports what went on the wire.
        QCOMPARE(facts.SentBytes, seen.Payload.size());
        QCOMPARE(facts.Compressed, bool(flags & 1));
        QCOMPARE(facts.IndexEntries, 0);
        QCOMPARE(int(seen.Flags), flags);
        QCOMPARE(seen.UncompressedLength, -1); // legacy devices never get the extended header
        QCOMPARE(seen.PinBlock, withPin ? QByteArray("98765\0\0\0", 8) : QByteArray());
        QCOMPARE(flags & 1 ? InflateZlib(seen.Payload) : seen.Payload, content);
        QCOMPARE(peer.Connections(), 1); // no index upload
        SetCachedPin(RunIp("12.2"), {});
    }

    void tooLargeEvenCompressed()
    {
        QByteArray random(5000, Qt::Uninitialized);
        QRandomGenerator(3).fillRange(reinterpret_cast<quint32*>(random.data()), random.size() / 4);
        TScriptedPeer peer(RunIp("12.3"), UploadPort, {});
        QString msg;
        QVERIFY(!SendProgramToDevice(RunIp("12.3"), UploadPort, random, msg, {}, 4000, {}, {}, true, {}));
        QCOMPARE(msg, QString("Dosya sikistirilmis haliyle bile cihazin 4000 bayt sinirina sigmiyor"));
        QTest::qWait(50);
        QCOMPARE(peer.Connections(), 0);
    }

    void startFromIndexForFirstTwentyCandidates()
    {
        const QByteArray content = Program(3000);
        const QList<TStartFromCandidate> candidates = Candidates(25, 1000);
        SetCachedPin(RunIp("12.4"), "1234");
        TUploadSeen seen;
        QByteArray index;
        TScriptedPeer peer(RunIp("12.4"), UploadPort,
            { [&](TPeerConnection& c) {
                 seen = ReadUploadHeader(c);
                 c.Send("OK\n");
             },
                [&](TPeerConnection& c) {
                    index = c.ReadAll(1000);
                    c.Send("OK\n");
                } });
        QString msg;
        bool large = false;
        TUploadFacts facts;
        QVERIFY(SendProgramToDevice(
            RunIp("12.4"), UploadPort, content, msg, {}, 1 << 30, candidates, [&] { large = true; }, false, {},
            &facts));
        QVERIFY(peer.WaitDone());
        QCOMPARE(facts.SentBytes, seen.Payload.size());
        QVERIFY(facts.Compressed);
        QCOMPARE(facts.IndexEntries, 20);
        QVERIFY(!large);
        QCOMPARE(int(seen.Flags), 0x0D);
        QCOMPARE(seen.UncompressedLength, content.size());
        QCOMPARE(InflateZlib(seen.Payload), content);

        QCOMPARE(index.left(9),
            QByteArray("\x0A"
                       "1234\0\0\0\0",
                9));
        QCOMPARE(ReadUInt32BE(index.constData() + 9), 20u);
        QCOMPARE(index.size(), 9 + 4 + 20 * 12);
        for (int i = 0; i < 20; ++i) {
            const char* entry = index.constData() + 13 + i * 12;
            QCOMPARE(ReadUInt32BE(entry), quint32(candidates[i].LineNumber));
            QCOMPARE(ReadUInt32BE(entry + 4), quint32(candidates[i].UncompressedOffset));
            const quint32 compressedOffset = ReadUInt32BE(entry + 8);
            QCOMPARE(InflateFrom(seen.Payload, compressedOffset), content.mid(candidates[i].UncompressedOffset));
        }
        SetCachedPin(RunIp("12.4"), {});
    }

    void indexFailureIsAWarning()
    {
        TScriptedPeer peer(RunIp("12.5"), UploadPort,
            { [](TPeerConnection& c) {
                 ReadUploadHeader(c);
                 c.Send("OK\n");
             },
                [](TPeerConnection& c) {
                    c.ReadAll(300);
                    c.Send("ERR x\n");
                } });
        QString msg;
        TUploadFacts facts;
        QVERIFY(SendProgramToDevice(
            RunIp("12.5"), UploadPort, Program(100), msg, {}, 1 << 30, Candidates(1, 10), {}, false, {}, &facts));
        QCOMPARE(msg, QString("OK (UYARI: Start From index kaydedilemedi: ERR x)"));
        QVERIFY(facts.Compressed);
        QCOMPARE(facts.IndexEntries, 0); // the device keeps no index
    }

    void replies_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("result");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("erase");
        QTest::addColumn<int>("kind"); // EDeviceFailure of a failure
        QTest::newRow("erase then OK") << QByteArray("ERASE 4096 65536\nOK\n") << true << "OK"
                                       << "4096/65536" << 0;
        QTest::newRow("malformed erase lines")
            << QByteArray("ERASE 1 2 3\nERASE x 2\nERASE  5 6\n\nOK\n") << true << "OK"
            << "" << 0;
        QTest::newRow("lower-case ok") << QByteArray("ok\n") << true << "ok"
                                       << "" << 0;
        QTest::newRow("PIN refused") << QByteArray("ERR pin\n") << false
                                     << QString::fromUtf8("Cihaz şifreyi kabul etmedi") << ""
                                     << int(EDeviceFailure::PinRefused);
        QTest::newRow("full") << QByteArray("ERASE 1 1\r\nERR full\r\n") << false << "ERR full"
                              << "1/1" << int(EDeviceFailure::DeviceError);
        QTest::newRow("text without line feed, then close") << QByteArray("ERR disk") << false << "ERR disk"
                                                            << "" << int(EDeviceFailure::DeviceError);
        // The kind comes from what happened, not from words in the device's text.
        QTest::newRow("device text that reads like another failure")
            << QByteArray("ERR baglanti (hata kodu: 11)\n") << false << QString("ERR baglanti (hata kodu: 11)") << ""
            << int(EDeviceFailure::DeviceError);
        QTest::newRow("closed without text") << QByteArray() << false << "Veri gönderilemedi (hata kodu: 0)"
                                             << "" << int(EDeviceFailure::NetworkError);
    }
    void replies()
    {
        QFETCH(QByteArray, reply);
        QFETCH(bool, result);
        QFETCH(QString, message);
        QFETCH(QString, erase);
        QFETCH(int, kind);
        SetDeviceFailure(EDeviceFailure::TooLarge); // left over from an earlier failure
        TScriptedPeer peer(RunIp("12.6"), UploadPort, { [&](TPeerConnection& c) {
            ReadUploadHeader(c);
            c.Send(reply);
        } });
        QStringList erases;
        QString msg;
        QCOMPARE(SendProgramToDevice(RunIp("12.6"), UploadPort, Program(50), msg, {}, 1 << 30, {}, {}, false,
                     [&](qint64 d, qint64 t) { erases << QString("%1/%2").arg(d).arg(t); }),
            result);
        QCOMPARE(msg, message);
        QCOMPARE(erases.join(','), erase);
        if (!result)
            QCOMPARE(int(LastDeviceFailure()), kind);
    }

    void earlyReplyStopsSending()
    {
        // 3 MB of poorly compressible bytes; the device answers after the header.
        QByteArray random(3 << 20, Qt::Uninitialized);
        QRandomGenerator(5).fillRange(reinterpret_cast<quint32*>(random.data()), random.size() / 4);
        TScriptedPeer peer(RunIp("12.7"), UploadPort, { [](TPeerConnection& c) {
            ReadUploadHeader(c, false);
            c.Send("OK early\n");
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        } });
        QString msg;
        bool large = false;
        QList<qint32> progress;
        QVERIFY(SendProgramToDevice(
            RunIp("12.7"), UploadPort, random, msg, [&](qint32 p) { progress << p; }, 1 << 30, {},
            [&] { large = true; }, false, {}));
        QCOMPARE(msg, QString("OK early"));
        QVERIFY(large);
        QVERIFY(progress.isEmpty() || progress.last() < 100);
    }

    void progressReachesHundred()
    {
        TScriptedPeer peer(RunIp("12.8"), UploadPort, { [](TPeerConnection& c) {
            ReadUploadHeader(c);
            c.Send("OK\n");
        } });
        QList<qint32> progress;
        QString msg;
        QVERIFY(SendProgramToDevice(RunIp("12.8"), UploadPort, Program(20000), msg, [&](qint32 p) { progress << p; },
            1 << 30, {}, {}, false, {}));
        QVERIFY(!progress.isEmpty());
        QCOMPARE(progress.last(), 100);
        QVERIFY(std::is_sorted(progress.begin(), progress.end()));
    }

    void download_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<bool>("split");
        QTest::addColumn<bool>("result");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("raw");
        QTest::addColumn<QString>("message");
        const QByteArray text = Program(200);
        const QByteArray packed = Deflate(text);
        QTest::newRow("plain") << QByteArray("\x00\x00\x00\x00\x05hello", 10) << false << true << QByteArray("hello")
                               << false << QString::fromUtf8("5 bayt alındı");
        QTest::newRow("compressed raw capture")
            << QByteArray(1, '\x03') + UInt32BE(packed.size()) + packed << false << true << text << true
            << QString::fromUtf8("%1 bayt alındı").arg(packed.size());
        QTest::newRow("length in single bytes") << QByteArray("\x00\x00\x00\x00\x02hi", 7) << true << true
                                                << QByteArray("hi") << false << QString::fromUtf8("2 bayt alındı");
        QTest::newRow("PIN refused") << QByteArray("\x83") << false << false << QByteArray() << false
                                     << QString::fromUtf8("Cihaz şifreyi kabul etmedi");
        QTest::newRow("nothing stored") << QByteArray("\x00\x00\x00\x00\x00", 5) << false << false << QByteArray()
                                        << false << QString::fromUtf8("QUILLEX'de kayıtlı dosya yok");
        QTest::newRow("closed halfway") << QByteArray("\x00\x00\x00\x00\x0Ahalf!", 10) << false << false << QByteArray()
                                        << false << QString::fromUtf8("Veri alınamadı (hata kodu: 0)");
        QTest::newRow("closed before the length")
            << QByteArray("\x00\x00", 2) << false << false << QByteArray() << false
            << QString::fromUtf8("Dosya bilgisi alınamadı (hata kodu: 0)");
        QTest::newRow("absurd length") << QByteArray("\x00\x7F\xFF\xFF\xFF", 5) << false << false << QByteArray()
                                       << false
                                       << QString::fromUtf8(
                                              "Cihazın bildirdiği uzunluk geçersiz (2147483647 bayt), dosya alınmadı");
        QTest::newRow("corrupt compressed data") << QByteArray("\x01\x00\x00\x00\x04"
                                                               "abcd",
            9) << false << false << QByteArray() << false
                                                 << QString::fromUtf8("Sıkıştırılmış veri bozuk (zlib hata kodu: -3)");
    }
    void download()
    {
        QFETCH(QByteArray, answer);
        QFETCH(bool, split);
        QFETCH(bool, result);
        QFETCH(QByteArray, content);
        QFETCH(bool, raw);
        QFETCH(QString, message);
        TScriptedPeer peer(
            RunIp("12.9"), DownloadPort, { [&](TPeerConnection& c) { split ? c.SendSplit(answer) : c.Send(answer); } });
        QByteArray got = "stale";
        bool isRaw = !raw;
        QString msg;
        QCOMPARE(ReceiveProgramFromDevice(RunIp("12.9"), DownloadPort, got, isRaw, msg, {}), result);
        QCOMPARE(msg, message);
        QCOMPARE(got, content);
        QCOMPARE(isRaw, raw);
        QVERIFY(peer.WaitDone());
        QCOMPARE(peer.Received().value(0), QByteArray()); // no PIN cached: the client sends nothing
    }

    void downloadSendsPinBlock()
    {
        SetCachedPin(RunIp("12.10"), "123456");
        TScriptedPeer peer(RunIp("12.10"), DownloadPort, { [](TPeerConnection& c) {
            c.ReadBytes(8);
            c.Send(QByteArray("\x00\x00\x00\x00\x01x", 6));
        } });
        QByteArray got;
        bool raw = false;
        QString msg;
        QList<qint32> progress;
        QVERIFY(
            ReceiveProgramFromDevice(RunIp("12.10"), DownloadPort, got, raw, msg, [&](qint32 p) { progress << p; }));
        QVERIFY(peer.WaitDone());
        QCOMPARE(peer.Received().value(0), QByteArray("123456\0\0", 8));
        QCOMPARE(progress, QList<qint32> { 100 });
        SetCachedPin(RunIp("12.10"), {});
    }
};

QTEST_GUILESS_MAIN(TestProgramTransfer)
#include "tst_programtransfer.moc"
