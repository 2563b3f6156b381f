// Upload and download jobs: hand-over to the context's thread, the percentage
// filter, exactly one completion, and silence once the context is gone.
#include "Loopback.h"
#include "ScriptedPeer.h"

#include "device/WireFormat.h"
#include "transfer/UnitFileTransfer.h"

#include <QSignalSpy>
#include <QTest>

namespace {

TScriptedPeer::TScript StoreUpload(QByteArray reply = "OK\n")
{
    return [reply](TPeerConnection& c) {
        const quint8 flags = quint8(c.ReadBytes(1)[0]);
        const quint32 length = ReadUInt32BE(c.ReadBytes(4).constData());
        if ((flags & TransferFlagCompressed) && (flags & TransferFlagExtended))
            c.ReadBytes(4);
        c.ReadBytes(length, 10000);
        c.Send(reply);
    };
}

QByteArray Program()
{
    QByteArray text;
    for (int i = 0; i < 30000; ++i)
        text += "G1 X" + QByteArray::number(i) + " Y" + QByteArray::number(i * 7 % 1000) + "\r\n";
    return text;
}

// Feeds a sequence of percentages through a job's progress sink.
class TProgressProbe : public TTransferJob {
public:
    TProgressProbe(QObject* context, QList<qint32> sequence, TSendProgramProgressProc sink)
        : TTransferJob(context)
        , FSequence(std::move(sequence))
        , FSink(std::move(sink))
    {
    }

protected:
    void run() override
    {
        for (qint32 p : FSequence)
            ReportProgress(p, FSink);
    }

private:
    QList<qint32> FSequence;
    TSendProgramProgressProc FSink;
};

} // namespace

class TestFileTransfer : public QObject {
    Q_OBJECT
private slots:
    void uploadJobDeliversOnTheContextThread()
    {
        TScriptedPeer peer(RunIp("14.1"), UploadPort, { StoreUpload() });
        QObject context;
        QList<qint32> progress;
        QStringList events;
        bool done = false;
        TSendProgramThread::Create(
            &context, RunIp("14.1"), UploadPort, Program(),
            [&](bool success, const QString& msg, const TUploadVerification&) {
                QCOMPARE(QThread::currentThread(), context.thread());
                events << QString("done %1 %2").arg(success).arg(msg);
                done = true;
            },
            [&](qint32 p) {
                QCOMPARE(QThread::currentThread(), context.thread());
                progress << p;
            },
            1 << 30, {}, {}, false, {});
        QTRY_VERIFY_WITH_TIMEOUT(done, 10000);
        QCOMPARE(events, QStringList { "done 1 OK" });
        QVERIFY(!progress.isEmpty());
        QCOMPARE(progress.last(), 100);
        for (qsizetype i = 1; i < progress.size(); ++i)
            QVERIFY(progress[i] != progress[i - 1]); // repeats are dropped
    }

    void percentageFilter_data()
    {
        QTest::addColumn<QList<qint32>>("calls");
        QTest::addColumn<QList<qint32>>("delivered");
        QTest::newRow("repeats dropped") << QList<qint32> { 0, 0, 1, 1, 1, 2 } << QList<qint32> { 0, 1, 2 };
        QTest::newRow("lower passes") << QList<qint32> { 5, 3 } << QList<qint32> { 5, 3 };
        QTest::newRow("back to an earlier value") << QList<qint32> { 100, 0, 100 } << QList<qint32> { 100, 0, 100 };
    }
    void percentageFilter()
    {
        QFETCH(QList<qint32>, calls);
        QFETCH(QList<qint32>, delivered);
        QObject context;
        QList<qint32> got;
        auto* probe = new TProgressProbe(&context, calls, [&](qint32 p) { got << p; });
        QSignalSpy finished(probe, &QThread::finished);
        probe->start();
        QTRY_COMPARE(finished.size(), 1);
        QCOMPARE(got, delivered);
    }

    void failedUploadReportsTheMessage()
    {
        TScriptedPeer peer(RunIp("14.2"), UploadPort, { StoreUpload("ERR full\n") });
        QObject context;
        QString result;
        TSendProgramThread::Create(&context, RunIp("14.2"), UploadPort, "G0\r\n",
            [&](bool success, const QString& msg, const TUploadVerification&) {
                result = QString("%1 %2").arg(success).arg(msg);
            },
            {}, 1 << 30, {}, {}, false, {});
        QTRY_COMPARE(result, QString("0 ERR full"));
    }

    void exceptionBecomesAFailedCompletion()
    {
        // A candidate beyond the program makes the compressor raise.
        QObject context;
        QString result;
        TSendProgramThread::Create(&context, RunIp("14.3"), UploadPort, "G0\r\n",
            [&](bool success, const QString& msg, const TUploadVerification&) {
                result = QString("%1 %2").arg(success).arg(msg);
            },
            {}, 1 << 30, { { 1, 999 } }, {}, false, {});
        QTRY_COMPARE(result, QString("0 Gecersiz flush ofseti"));
    }

    void jobWithoutCallbacksEndsByItself()
    {
        TScriptedPeer peer(RunIp("14.4"), UploadPort, { StoreUpload() });
        QObject context;
        TSendProgramThread::Create(&context, RunIp("14.4"), UploadPort, "G0\r\n", {}, {}, 1 << 30, {}, {}, false, {});
        QVERIFY(peer.WaitDone());
        QTest::qWait(200); // the job deletes itself; nothing is left to check but that nothing crashed
    }

    void downloadJobDeliversRawCapture()
    {
        TScriptedPeer peer(RunIp("14.5"), DownloadPort,
            { [](TPeerConnection& c) { c.Send(QByteArray("\x02\x00\x00\x00\x03\x01\x02\x03", 8)); } });
        QObject context;
        QByteArray content;
        bool raw = false, done = false;
        QString message;
        TReceiveProgramThread::Create(&context, RunIp("14.5"), DownloadPort,
            [&](bool success, const QByteArray& c, bool isRaw, const QString& msg) {
                QVERIFY(success);
                content = c;
                raw = isRaw;
                message = msg;
                done = true;
            },
            {});
        QTRY_VERIFY(done);
        QCOMPARE(content, QByteArray("\x01\x02\x03"));
        QVERIFY(raw);
        QCOMPARE(message, QString::fromUtf8("3 bayt alındı"));
    }

    void goneContextGetsNothing()
    {
        // The device answers slowly; the window closes meanwhile.
        TScriptedPeer peer(RunIp("14.6"), DownloadPort, { [](TPeerConnection& c) {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            c.Send(QByteArray("\x00\x00\x00\x00\x01x", 6));
        } });
        bool called = false;
        {
            auto context = std::make_unique<QObject>();
            TReceiveProgramThread::Create(
                context.get(), RunIp("14.6"), DownloadPort,
                [&](bool, const QByteArray&, bool, const QString&) { called = true; }, [&](qint32) { called = true; });
        }
        QVERIFY(peer.WaitDone());
        QTest::qWait(300);
        QVERIFY(!called);
    }
};

QTEST_GUILESS_MAIN(TestFileTransfer)
#include "tst_filetransfer.moc"
