// The device link against the plain operations it is built on, measured in one
// run, each pair in turns. The simulated device gets this run's own loopback
// address and status port (or QUILLEX_BENCH_ADDRESS and QUILLEX_STATUS_PORT);
// the status listener's figure is the whole window's (bench_statuslog).
#include "BenchUtil.h"

#include "content/CodePage.h"
#include "content/TextDocument.h"
#include "device/ProgramTransfer.h"
#include "device/WireFormat.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <zlib.h>

namespace {

constexpr qsizetype Size32MiB = 32 * 1024 * 1024;

// 20 tool changes spread over the program, each at a line start.
QList<TStartFromCandidate> SpreadCandidates(const QByteArray& program)
{
    QList<TStartFromCandidate> candidates;
    for (int i = 1; i <= 20; ++i) {
        const qsizetype at = program.indexOf('\n', program.size() / 21 * i) + 1;
        candidates.append({ i * 1000, at });
    }
    return candidates;
}

QByteArray PlainDeflate(const QByteArray& data)
{
    z_stream s {};
    deflateInit2(&s, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 14, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(qsizetype(deflateBound(&s, uLong(data.size()))), Qt::Uninitialized);
    s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    s.avail_in = uInt(data.size());
    s.next_out = reinterpret_cast<Bytef*>(out.data());
    s.avail_out = uInt(out.size());
    deflate(&s, Z_FINISH);
    out.truncate(qsizetype(s.total_out));
    deflateEnd(&s);
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString devsim = argc > 1 ? argv[1] : QString();
    // A repeated line would measure nothing like a program: without the corpus there is no figure.
    qint64 corpusBytes = 0;
    for (const QString& path : CorpusFiles(QUILLEX_GCODE_DATA))
        corpusBytes += QFileInfo(path).size();
    if (corpusBytes == 0) {
        std::fprintf(stderr,
            "quillex-bench-device: no G-code programs in %s; the benchmark uploads and downloads programs built "
            "from them (put the corpus at ../shared/data/gcode or set QUILLEX_GCODE_DATA when configuring)\n",
            QUILLEX_GCODE_DATA);
        return 2;
    }
    const QByteArray program = BuildCorpusProgram(QUILLEX_GCODE_DATA, Size32MiB);
    const QString deviceIp = BenchAddress("30.1");
    const QList<TStartFromCandidate> candidates = SpreadCandidates(program);
    QList<qint64> offsets;
    for (const auto& c : candidates)
        offsets << c.UncompressedOffset;

    // (a) compression with 20 flush points ÷ plain deflate
    QByteArray compressed;
    QList<quint32> compressedOffsets;
    const auto compress = [&] { CompressWithFlushPoints(program, offsets, compressed, compressedOffsets); };
    QByteArray plain;
    const TPairs flushed = TakePairs(compress, [&] { plain = PlainDeflate(program); });
    std::printf("compression: %lld bytes -> %lld (plain %lld)\n", qlonglong(program.size()),
        qlonglong(compressed.size()), qlonglong(plain.size()));
    PrintPairs("(a) CompressWithFlushPoints (20 points) / plain deflate", flushed, 1.05);

    // (b), (c) against a simulated device without erase delay
    QProcess sim;
    sim.start(devsim,
        { "--target", QString("127.0.0.1:%1").arg(BenchStatusPort()), "--device",
            QString("ip=%1,hw=HW4,maxfilesize=1073741824,interval=60000").arg(deviceIp) });
    if (!sim.waitForReadyRead(5000))
        qFatal("quillex-devsim did not start");
    QString msg;
    const auto upload = [&] {
        if (!SendProgramToDevice(deviceIp, UploadPort, program, msg, {}, 1LL << 30, candidates, {}, false, {}))
            qFatal("upload failed: %s", qPrintable(msg));
    };
    PrintPairs("(b) 32 MiB upload to quillex-devsim / compression alone", TakePairs(upload, compress), 1.3);

    QByteArray content;
    bool raw = false;
    const auto download = [&] {
        if (!ReceiveProgramFromDevice(deviceIp, DownloadPort, content, raw, msg, {}, 1LL << 30) || content != program)
            qFatal("download failed: %s", qPrintable(msg));
    };
    PrintPairs("(c) download + inflate / inflate alone", TakePairs(download, [&] { InflateZlib(compressed); }), 1.5);
    sim.terminate();
    sim.waitForFinished(2000);
    return 0;
}
