// Read-back verification of an upload: the first differing byte, the operator's
// texts, the read-back against scripted download ports (compressed, altered,
// shorter, longer, refused, silent), the upload job's read-back stage, and the
// setting that turns it off.
#include "Loopback.h"
#include "ScriptedPeer.h"

#include "config/Settings.h"
#include "device/WireFormat.h"
#include "transfer/UnitFileTransfer.h"
#include "transfer/UploadVerification.h"

#include <QTemporaryDir>
#include <QTest>

#include <zlib.h>

namespace {

using EOutcome = TUploadVerification::EOutcome;

const QByteArray Program = "%\r\nO1000\r\nT1 M6\r\nG0 X10 Y20\r\nM30\r\n%\r\n";

QByteArray Compressed(const QByteArray& data)
{
    uLongf size = compressBound(uLong(data.size()));
    QByteArray out(qsizetype(size), '\0');
    compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.constData()),
        uLong(data.size()), Z_DEFAULT_COMPRESSION);
    out.truncate(qsizetype(size));
    return out;
}

// What a download port sends: the status byte, the length, the data.
QByteArray DownloadAnswer(quint8 status, const QByteArray& data)
{
    return QByteArray(1, char(status)) + UInt32BE(quint32(data.size())) + data;
}

TScriptedPeer::TScript Answer(const QByteArray& bytes)
{
    return [bytes](TPeerConnection& c) {
        c.Send(bytes);
        c.ReadAll(300);
    };
}

TScriptedPeer::TScript StoreUpload()
{
    return [](TPeerConnection& c) {
        const quint8 flags = quint8(c.ReadBytes(1)[0]);
        const quint32 length = ReadUInt32BE(c.ReadBytes(4).constData());
        if ((flags & TransferFlagCompressed) && (flags & TransferFlagExtended))
            c.ReadBytes(4);
        c.ReadBytes(length, 10000);
        c.Send("OK\n");
    };
}

QByteArray Altered(QByteArray bytes, qsizetype at)
{
    bytes[at] = char(bytes[at] ^ 0x01);
    return bytes;
}

} // namespace

class TestUploadVerification : public QObject {
    Q_OBJECT
private slots:
    void firstDifferingByte_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<qint64>("position");
        QTest::newRow("equal") << Program << Program << qint64(0);
        QTest::newRow("both empty") << QByteArray() << QByteArray() << qint64(0);
        QTest::newRow("first byte") << Program << Altered(Program, 0) << qint64(1);
        QTest::newRow("middle byte") << Program << Altered(Program, 9) << qint64(10);
        QTest::newRow("last byte") << Program << Altered(Program, Program.size() - 1) << qint64(Program.size());
        QTest::newRow("stored shorter") << Program << Program.left(10) << qint64(11);
        QTest::newRow("stored longer") << Program << Program + "X" << qint64(Program.size() + 1);
        QTest::newRow("nothing stored") << Program << QByteArray() << qint64(1);
        QTest::newRow("shorter and altered before its end") << Program << Altered(Program, 3).left(10) << qint64(4);
    }
    void firstDifferingByte()
    {
        QFETCH(QByteArray, sent);
        QFETCH(QByteArray, stored);
        QFETCH(qint64, position);
        QCOMPARE(FirstDifferingByte(sent, stored), position);
        const TUploadVerification result = CompareStoredProgram(sent, stored);
        QCOMPARE(result.Outcome, position == 0 ? EOutcome::Verified : EOutcome::Mismatch);
        QCOMPARE(result.FirstDifference, position);
        QCOMPARE(result.Crc32, Crc32Of(stored));
    }

    void operatorTexts()
    {
        // The CRC-32 check value of "123456789", printed as %08X.
        QCOMPARE(Crc32Of("123456789"), 0xCBF43926u);
        QCOMPARE(CompareStoredProgram("123456789", "123456789").Message,
            QString::fromUtf8("Doğrulandı: cihazdaki program gönderilenle aynı (CRC32 CBF43926)"));
        // Leading zeros are kept: a text whose CRC-32 is below 0x10000000.
        QByteArray small;
        for (int i = 0; Crc32Of(small) >= 0x10000000u; ++i)
            small = QByteArray::number(i);
        QVERIFY(CompareStoredProgram(small, small)
                    .Message.endsWith(QString("(CRC32 %1)").arg(Crc32Of(small), 8, 16, QChar('0')).toUpper()));
        QCOMPARE(CompareStoredProgram("123456789", "12345678").Message,
            QString::fromUtf8("Doğrulama başarısız: cihazdaki program gönderilenden farklı (ilk fark 9. baytta)."));
        QCOMPARE(VerificationFailed("Veri alınamadı (hata kodu: 104)").Message,
            QString::fromUtf8("Doğrulanamadı: Veri alınamadı (hata kodu: 104)"));
        QCOMPARE(OutcomeCode(EOutcome::Verified), QString("verified"));
        QCOMPARE(OutcomeCode(EOutcome::Mismatch), QString("mismatch"));
        QCOMPARE(OutcomeCode(EOutcome::Failed), QString("failed"));
        QCOMPARE(OutcomeCode(EOutcome::NotRun), QString("not_run"));
    }

    void readBack_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<qint64>("position");
        QTest::addColumn<QString>("message");
        const QString verified = QString::fromUtf8("Doğrulandı: cihazdaki program gönderilenle aynı (CRC32 %1)")
                                     .arg(Crc32Text(Crc32Of(Program)));
        const QString differs
            = QString::fromUtf8("Doğrulama başarısız: cihazdaki program gönderilenden farklı (ilk fark %1. baytta).");
        QTest::newRow("plain, equal") << Program << DownloadAnswer(0x00, Program) << int(EOutcome::Verified)
                                      << qint64(0) << verified;
        QTest::newRow("compressed, equal")
            << Program << DownloadAnswer(0x01, Compressed(Program)) << int(EOutcome::Verified) << qint64(0) << verified;
        QTest::newRow("compressed, one byte altered")
            << Program << DownloadAnswer(0x01, Compressed(Altered(Program, 7))) << int(EOutcome::Mismatch) << qint64(8)
            << differs.arg(8);
        QTest::newRow("stored shorter") << Program << DownloadAnswer(0x00, Program.left(Program.size() - 3))
                                        << int(EOutcome::Mismatch) << qint64(Program.size() - 2)
                                        << differs.arg(Program.size() - 2);
        QTest::newRow("a raw capture of other bytes")
            << Program << DownloadAnswer(0x02, "\x13\x11X") << int(EOutcome::Mismatch) << qint64(1) << differs.arg(1);
        QTest::newRow("nothing stored") << Program << DownloadAnswer(0x00, {}) << int(EOutcome::Failed) << qint64(0)
                                        << QString::fromUtf8("Doğrulanamadı: QUILLEX'de kayıtlı dosya yok");
        QTest::newRow("nothing sent, nothing stored")
            << QByteArray() << DownloadAnswer(0x00, {}) << int(EOutcome::Verified) << qint64(0)
            << QString::fromUtf8("Doğrulandı: cihazdaki program gönderilenle aynı (CRC32 00000000)");
        QTest::newRow("PIN refused") << Program << QByteArray(1, char(0x80)) << int(EOutcome::Failed) << qint64(0)
                                     << QString::fromUtf8("Doğrulanamadı: Cihaz şifreyi kabul etmedi");
        QTest::newRow("corrupt compressed data")
            << Program << DownloadAnswer(0x01, "not zlib at all") << int(EOutcome::Failed) << qint64(0)
            << QString::fromUtf8("Doğrulanamadı: Sıkıştırılmış veri bozuk (zlib hata kodu: -3)");
    }
    void readBack()
    {
        QFETCH(QByteArray, sent);
        QFETCH(QByteArray, answer);
        QFETCH(int, outcome);
        QFETCH(qint64, position);
        QFETCH(QString, message);
        const QString ip = RunIp("15.1");
        TScriptedPeer peer(ip, DownloadPort, { Answer(answer) });
        QVERIFY(peer.IsListening());
        QList<qint32> progress;
        const TUploadVerification result
            = VerifyStoredProgram(ip, DownloadPort, sent, DefaultMaxFileSize, [&](qint32 p) { progress << p; });
        QCOMPARE(int(result.Outcome), outcome);
        QCOMPARE(result.FirstDifference, position);
        QCOMPARE(result.Message, message);
        if (outcome == int(EOutcome::Failed))
            QCOMPARE(result.Crc32, 0u);
        // The read-back reports its download's percentages.
        if (answer.size() > 5)
            QCOMPARE(progress.value(progress.size() - 1, -1), 100);
    }

    // A device that takes the connection and never answers: the read-back ends
    // with the download's time-out, reported as a failure.
    void readBackTimesOut()
    {
        const TTransferTimeouts saved = TransferTimeouts();
        TransferTimeouts().BaseMs = 800;
        const QString ip = RunIp("15.2");
        TScriptedPeer peer(ip, DownloadPort, { [](TPeerConnection& c) { c.ReadAll(3000); } });
        QElapsedTimer timer;
        timer.start();
        const TUploadVerification result = VerifyStoredProgram(ip, DownloadPort, Program, DefaultMaxFileSize, {});
        TransferTimeouts() = saved;
        QVERIFY(timer.elapsed() < 2500);
        QCOMPARE(result.Outcome, EOutcome::Failed);
        QVERIFY2(result.Message.startsWith(QString::fromUtf8("Doğrulanamadı: Dosya bilgisi alınamadı (hata kodu: ")),
            qPrintable(result.Message));
    }

    // The job uploads, marks the read-back stage on the context's thread, restarts
    // its percentages for it, and hands the outcome over with the completion.
    void uploadJobReadsBack_data()
    {
        QTest::addColumn<bool>("verify");
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<int>("outcome");
        QTest::newRow("equal") << true << Program << int(EOutcome::Verified);
        QTest::newRow("altered") << true << Altered(Program, 20) << int(EOutcome::Mismatch);
        QTest::newRow("not asked for") << false << Altered(Program, 20) << int(EOutcome::NotRun);
    }
    void uploadJobReadsBack()
    {
        QFETCH(bool, verify);
        QFETCH(QByteArray, stored);
        QFETCH(int, outcome);
        const QString ip = RunIp("15.3");
        TScriptedPeer upload(ip, UploadPort, { StoreUpload() });
        TScriptedPeer download(ip, DownloadPort, { Answer(DownloadAnswer(0x00, stored)) });
        QObject context;
        QStringList events;
        TUploadVerification verification;
        bool done = false;
        TSendProgramThread::Create(
            &context, ip, UploadPort, Program,
            [&](bool success, const QString& msg, const TUploadVerification& v) {
                QCOMPARE(QThread::currentThread(), context.thread());
                events << QString("done %1 %2").arg(success).arg(msg);
                verification = v;
                done = true;
            },
            [&](qint32 p) { events << QString::number(p); }, DefaultMaxFileSize, {}, {}, true, {}, verify,
            [&] {
                QCOMPARE(QThread::currentThread(), context.thread());
                events << "verify";
            });
        QTRY_VERIFY_WITH_TIMEOUT(done, 10000);
        QCOMPARE(int(verification.Outcome), outcome);
        QCOMPARE(events.last(), QString("done 1 OK"));
        if (verify) {
            // 100 of the upload, then the stage, then the read-back's own 100.
            const qsizetype stage = events.indexOf("verify");
            QVERIFY(stage > 0);
            QCOMPARE(events[stage - 1], QString("100"));
            QCOMPARE(events[events.size() - 2], QString("100"));
            QVERIFY(events.size() - 2 > stage);
            QCOMPARE(verification.FirstDifference, outcome == int(EOutcome::Mismatch) ? qint64(21) : qint64(0));
        } else {
            QVERIFY(!events.contains("verify"));
            QTest::qWait(200);
            QCOMPARE(download.Connections(), 0);
        }
    }

    void failedUploadIsNotReadBack()
    {
        const QString ip = RunIp("15.4");
        TScriptedPeer upload(ip, UploadPort, { [](TPeerConnection& c) {
            c.ReadBytes(5);
            c.Send("ERR full\n");
            c.ReadAll(300);
        } });
        TScriptedPeer download(ip, DownloadPort, { Answer(DownloadAnswer(0x00, Program)) });
        QObject context;
        QString result;
        TSendProgramThread::Create(&context, ip, UploadPort, Program,
            [&](bool success, const QString& msg, const TUploadVerification& v) {
                result = QString("%1 %2 %3").arg(success).arg(msg, OutcomeCode(v.Outcome));
            },
            {}, DefaultMaxFileSize, {}, {}, true, {}, true, {});
        QTRY_COMPARE_WITH_TIMEOUT(result, QString("0 ERR full not_run"), 10000);
        QCOMPARE(download.Connections(), 0);
    }

    void setting_data()
    {
        QTest::addColumn<QString>("line"); // under [MainForm]; empty: no such key
        QTest::addColumn<bool>("on");
        QTest::newRow("absent") << "" << true;
        QTest::newRow("1") << "VerifyAfterUpload=1" << true;
        QTest::newRow("0") << "VerifyAfterUpload=0" << false;
        QTest::newRow("false") << "VerifyAfterUpload=false" << false;
        QTest::newRow("FALSE") << "VerifyAfterUpload=FALSE" << false;
        QTest::newRow("true") << "VerifyAfterUpload=true" << true;
        QTest::newRow("not a value") << "VerifyAfterUpload=perhaps" << true;
        QTest::newRow("empty value") << "VerifyAfterUpload=" << true;
    }
    void setting()
    {
        QFETCH(QString, line);
        QFETCH(bool, on);
        QTemporaryDir dir;
        const QString path = dir.filePath("quillex_settings.ini");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[MainForm]\nLeft=10\n" + line.toUtf8() + "\n[DevicePins]\n");
        file.close();
        QSettings settings = OpenSettingsFile(path);
        QCOMPARE(VerifyAfterUpload(settings), on);
    }
};

QTEST_GUILESS_MAIN(TestUploadVerification)
#include "tst_uploadverification.moc"
