// The device link against the plain operations it is built on, measured in one run.
#include "BenchUtil.h"
#include "tests/StatusDatagram.h"

#include "content/CodePage.h"
#include "content/TextDocument.h"
#include "device/ProgramTransfer.h"
#include "device/WireFormat.h"
#include "discovery/UnitStatusListener.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

namespace {

constexpr qsizetype Size32MiB = 32 * 1024 * 1024;
const QString DeviceIp = QStringLiteral("127.0.30.1");

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

// 1000 devices, each from its own loopback address, one status datagram per
// second for 10 s; the listener's count and its thread's CPU time.
void ListenerUnderLoad()
{
    constexpr int Devices = 1000, Seconds = 10;
    constexpr quint16 Port = 15399;
    rlimit limit {};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = qMin<rlim_t>(limit.rlim_max, 8192);
    setrlimit(RLIMIT_NOFILE, &limit);

    QList<int> sockets;
    QList<QByteArray> datagrams;
    for (int i = 0; i < Devices; ++i) {
        const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in from {};
        from.sin_family = AF_INET;
        const QString ip = QString("127.0.%1.%2").arg(40 + i / 250).arg(1 + i % 250);
        from.sin_addr.s_addr = ::inet_addr(ip.toLatin1().constData());
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0)
            qFatal("cannot bind %s", qPrintable(ip));
        sockets << fd;
        const QByteArray json = QString(
            R"({"macid":"02:00:00:00:%1","name":"Sim %2","hw":"HW4","fw":"2.4.1","build":512,"baud":9600,"databits":8,"parity":"N","stopbits":1,"xofftimeout":30,"xonxoff":true,"filesize":123456,"maxfilesize":33554432,"time":"2026-12-10 12:00:00","xfer_status":"idle","ota_status":"idle","ip":"%3","controller":"FANUC","pw":false})")
                                    .arg(i, 4, 16, QChar('0'))
                                    .arg(i)
                                    .arg(ip)
                                    .toLatin1();
        const QByteArray iv = QByteArray::number(i).rightJustified(16, 'v');
        datagrams << StatusDatagram(json, StatusKey(), iv);
    }

    auto listener = std::make_unique<TStatusListenerThread>(TStatusLogTarget {}, Port);
    while (!listener->IsListening())
        QThread::msleep(10);
    sockaddr_in to {};
    to.sin_family = AF_INET;
    to.sin_port = htons(Port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    qint64 sent = 0;
    QElapsedTimer clock;
    clock.start();
    for (int second = 0; second < Seconds; ++second) {
        // Spread over the second as devices on their own timers would be.
        for (int i = 0; i < Devices; ++i) {
            const qint64 due = second * 1000000000LL + qint64(i) * 1000000000LL / Devices;
            while (clock.nsecsElapsed() < due)
                QThread::usleep(200);
            if (::sendto(sockets[i], datagrams[i].constData(), size_t(datagrams[i].size()), 0,
                    reinterpret_cast<sockaddr*>(&to), sizeof to)
                > 0)
                ++sent;
        }
    }
    const double wall = clock.nsecsElapsed() / 1e9;
    QThread::msleep(600);
    const qint64 received = listener->AcceptedDatagrams();
    const qsizetype listed = listener->BuildDeviceList().size();
    listener->requestInterruption();
    listener->wait();
    // The thread reads its own CPU time as it ends.
    const double cpu = listener->ThreadCpuNanoseconds() / 1e9;
    listener.reset();
    for (int fd : sockets)
        ::close(fd);
    std::printf("listener: %lld sent, %lld received, %lld devices listed, %.1f s, %.3f s CPU\n", qlonglong(sent),
        qlonglong(received), qlonglong(listed), wall, cpu);
    PrintFigure("(d) status datagrams lost (1000 devices x 1/s x 10 s)", double(sent - received), "", "target 0");
    PrintFigure("(d) listener CPU time, share of one core", 100.0 * cpu / wall, "%", "target < 5 %");
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString devsim = argc > 1 ? argv[1] : QString();
    const QByteArray program = BuildCorpusProgram(QUILLEX_GCODE_DATA, Size32MiB);
    const QList<TStartFromCandidate> candidates = SpreadCandidates(program);
    QList<qint64> offsets;
    for (const auto& c : candidates)
        offsets << c.UncompressedOffset;

    // (a) compression with 20 flush points ÷ plain deflate
    QByteArray compressed;
    QList<quint32> compressedOffsets;
    const double flushed
        = BestSeconds(3, [&] { CompressWithFlushPoints(program, offsets, compressed, compressedOffsets); });
    QByteArray plain;
    const double deflated = BestSeconds(3, [&] { plain = PlainDeflate(program); });
    std::printf("compression: %lld bytes -> %lld (plain %lld)\n", qlonglong(program.size()),
        qlonglong(compressed.size()), qlonglong(plain.size()));
    PrintFigure(
        "(a) CompressWithFlushPoints (20 points) / plain deflate", flushed / deflated, "ratio", "target <= 1.05");

    // (b), (c) against a simulated device without erase delay
    QProcess sim;
    sim.start(devsim,
        { "--target", "127.0.0.1:15398", "--device",
            QString("ip=%1,hw=HW4,maxfilesize=1073741824,interval=60000").arg(DeviceIp) });
    if (!sim.waitForReadyRead(5000))
        qFatal("quillex-devsim did not start");
    QString msg;
    const double upload = BestSeconds(3, [&] {
        if (!SendProgramToDevice(DeviceIp, UploadPort, program, msg, {}, 1LL << 30, candidates, {}, false, {}))
            qFatal("upload failed: %s", qPrintable(msg));
    });
    PrintFigure("(b) 32 MiB upload to quillex-devsim / compression alone", upload / flushed, "ratio", "target <= 1.3");

    QByteArray content;
    bool raw = false;
    const double download = BestSeconds(3, [&] {
        if (!ReceiveProgramFromDevice(DeviceIp, DownloadPort, content, raw, msg, {}, 1LL << 30) || content != program)
            qFatal("download failed: %s", qPrintable(msg));
    });
    const double inflated = BestSeconds(3, [&] { InflateZlib(compressed); });
    PrintFigure("(c) download + inflate / inflate alone", download / inflated, "ratio", "target <= 1.5");
    sim.terminate();
    sim.waitForFinished(2000);

    ListenerUnderLoad();
    std::printf("absolute: flush %.3fs plain %.3fs | upload %.3fs | download %.3fs inflate %.3fs\n", flushed, deflated,
        upload, download, inflated);
    return 0;
}
