// An upload whose compressor cannot start: zlib's start-up is replaced in this
// binary (the core links against the definition below), so the real upload
// code meets the failure and must refuse to send an empty "compressed" file.
#include "Loopback.h"
#include "ScriptedPeer.h"

#include "device/ProgramTransfer.h"
#include "device/WireFormat.h"

#include <QTest>

#include <dlfcn.h>
#include <zlib.h>

namespace {

bool FailDeflateStart = false;

} // namespace

extern "C" int deflateInit2_(z_streamp stream, int level, int method, int windowBits, int memLevel, int strategy,
    const char* version, int streamSize)
{
    if (FailDeflateStart)
        return Z_MEM_ERROR;
    using TDeflateInit2 = int (*)(z_streamp, int, int, int, int, int, const char*, int);
    static const auto real = reinterpret_cast<TDeflateInit2>(dlsym(RTLD_NEXT, "deflateInit2_"));
    return real(stream, level, method, windowBits, memLevel, strategy, version, streamSize);
}

class TstUploadCompression : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { FailDeflateStart = false; }

    void startFailureFailsTheUpload_data()
    {
        QTest::addColumn<bool>("legacyDevice");
        QTest::addColumn<qint64>("maxRawSize");
        QTest::newRow("extended device: always compressed") << false << qint64(1 << 20);
        QTest::newRow("legacy device over its raw limit") << true << qint64(10);
    }
    void startFailureFailsTheUpload()
    {
        QFETCH(bool, legacyDevice);
        QFETCH(qint64, maxRawSize);
        TScriptedPeer peer(RunIp("13.1"), UploadPort, {});
        QVERIFY(peer.IsListening());
        FailDeflateStart = true;

        QString message;
        const bool sent = SendProgramToDevice(
            RunIp("13.1"), UploadPort, "%\nO1000\nG0 X1\nM30\n%\n", message, {}, maxRawSize, {}, {}, legacyDevice, {});
        QVERIFY(!sent);
        QCOMPARE(message, QString::fromUtf8("Dosya sıkıştırılamadı (zlib başlatılamadı), gönderilmedi"));
        QCOMPARE(peer.Connections(), 0); // nothing went out, not even a header
    }

    void compressorReportsTheFailure()
    {
        FailDeflateStart = true;
        QByteArray compressed("left over");
        QList<quint32> offsets;
        QVERIFY(!CompressWithFlushPoints("G0 X1\n", { 0 }, compressed, offsets));
        QVERIFY(compressed.isEmpty());
        FailDeflateStart = false;
        QVERIFY(CompressWithFlushPoints("G0 X1\n", { 0 }, compressed, offsets));
        QCOMPARE(InflateZlib(compressed), QByteArray("G0 X1\n"));
    }
};

QTEST_GUILESS_MAIN(TstUploadCompression)
#include "tst_uploadcompression.moc"
