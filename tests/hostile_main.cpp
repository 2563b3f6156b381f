// quillex-hostile: runs one hostile case of the table in this process and
// prints its time, peak memory and outcome; `soak` runs the whole table at full
// size, each case in a process of its own, with the forged senders and the
// many-device window on top, and prints a table. Used by tst_hostile and `make soak`.
#include "HostileCases.h"
#include "ScriptedPrompter.h"
#include "StatusDatagram.h"

#include "app/unitmainform.h"

#include <QApplication>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

#include <arpa/inet.h>
#include <atomic>
#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

struct TResult {
    qint64 Ms = 0;
    qint64 PeakKiB = 0; // growth of the peak over the resident memory at the start
    bool Success = false;
    QString Message;
};

void Print(const TResult& r)
{
    std::printf("%lld\t%lld\t%d\t%s\n", r.Ms, r.PeakKiB, r.Success ? 1 : 0, r.Message.toUtf8().constData());
}

// A status document of about the size devices send.
QByteArray StatusJson(int device, int tick)
{
    return QString(R"({"macid":"02:51:58:%1:%2","name":"Tezgah %3","hw":"HW4","fw":"2.4.1","build":512,)"
                   R"("baud":9600,"databits":8,"parity":"N","stopbits":1,"xofftimeout":30,"xonxoff":true,)"
                   R"("filesize":123456,"maxfilesize":33554432,"time":"2026-12-10 12:00:%4","xfer_status":"idle",)"
                   R"("xfer_bytes":0,"xfer_total":0,"xfer_elapsed_sec":0,"ota_status":"idle","ota_bytes":0,)"
                   R"("ota_total":0,"erase_bytes":0,"erase_total":0,"ip":"10.0.%5.%6","controller":"FANUC",)"
                   R"("pw":false,"note":"%7"})")
        .arg(device / 256, 2, 16, QChar('0'))
        .arg(device % 256, 2, 16, QChar('0'))
        .arg(device)
        .arg(tick % 60, 2, 10, QChar('0'))
        .arg(device / 256)
        .arg(device % 256)
        .arg(QString(400, u'x'))
        .toLatin1();
}

// Sends one datagram from the given loopback source address.
bool SendFrom(quint32 source, quint16 port, const QByteArray& datagram)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in from {};
    from.sin_family = AF_INET;
    from.sin_addr.s_addr = htonl(source);
    sockaddr_in to {};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) == 0
        && ::sendto(fd, datagram.constData(), size_t(datagram.size()), 0, reinterpret_cast<sockaddr*>(&to), sizeof to)
            == datagram.size();
    ::close(fd);
    return ok;
}

// 127.A.x.y for sender i, in this run's block.
quint32 SenderAddress(int i)
{
    return (127u << 24) | (quint32(RunLoopbackBlock().Second) << 16) | quint32((i / 250) << 8) | quint32(i % 250 + 1);
}

int RunCase(int index, bool full)
{
    const QList<THostileCase> cases = HostileCases();
    if (index < 0 || index >= cases.size())
        return 2;
    const THostileSize size { full };
    TransferTimeouts().BaseMs = size.TransferBaseMs();
    TransferTimeouts().EraseStallMs = size.EraseStallMs();
    const qint64 before = ProcStatusKiB("VmRSS:");
    const THostileOutcome outcome = cases[index].Run(size);
    TResult r { outcome.Ms, ProcStatusKiB("VmHWM:") - before, outcome.Success, outcome.Message };
    Print(r);
    return 0;
}

// Forged senders: as many source addresses, one status each, through the socket.
int RunForgedSenders(int senders)
{
    const quint16 port = FreeUdpPort();
    TStatusListenerThread listener({}, port);
    for (int i = 0; i < 100 && !listener.IsListening(); ++i)
        QThread::msleep(10);
    const qint64 before = ProcStatusKiB("VmRSS:");
    QElapsedTimer clock;
    clock.start();
    int sent = 0;
    for (int i = 0; i < senders; ++i) {
        sent += SendFrom(SenderAddress(i), port, StatusDatagram(StatusJson(i, 0))) ? 1 : 0;
        // Let the listener keep up, so that the socket buffer drops nothing.
        while (sent - listener.AcceptedDatagrams() > 2000)
            QThread::usleep(200);
    }
    QDeadlineTimer settle(5000);
    while (listener.AcceptedDatagrams() < sent && !settle.hasExpired())
        QThread::msleep(10);
    TResult r { clock.elapsed(), ProcStatusKiB("VmHWM:") - before, listener.CachedSenders() <= MaxStatusSenders,
        QString("%1 accepted, %2 kept").arg(listener.AcceptedDatagrams()).arg(listener.CachedSenders()) };
    Print(r);
    return 0;
}

// Many devices, each sending its status once a second, against the window.
int RunWindow(int argc, char** argv, int devices, int seconds)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TScriptedPrompter prompter;
    const quint16 port = FreeUdpPort();
    TMainFormOptions options;
    options.StatusPort = port;
    options.StartupDelayMs = 0;
    TFormMain window(prompter, options);
    window.show();
    if (!QTest::qWaitFor([&] { return window.StatusListener() && window.StatusListener()->IsListening(); }, 5000)) {
        Print({ 0, 0, false, "the status listener did not start" });
        return 0;
    }
    QList<QByteArray> datagrams;
    for (int d = 0; d < devices; ++d)
        datagrams << StatusDatagram(StatusJson(d, 0));
    const qint64 before = ProcStatusKiB("VmRSS:");
    QElapsedTimer clock;
    clock.start();
    // The devices send from a thread of their own, as a network would.
    std::atomic<qint64> sent { 0 };
    std::thread devicesThread([&] {
        for (int second = 0; second < seconds; ++second) {
            for (int d = 0; d < devices; ++d)
                sent += SendFrom(SenderAddress(d), port, datagrams[d]) ? 1 : 0;
            while (clock.elapsed() < (second + 1) * 1000)
                QThread::msleep(5);
            if (clock.elapsed() >= seconds * 1000)
                break;
        }
    });
    // An event loop ended by a timer: a flood of log hand-overs cannot keep it running.
    QEventLoop minute;
    QTimer::singleShot(seconds * 1000, &minute, &QEventLoop::quit);
    minute.exec();
    devicesThread.join();
    QTest::qWait(2500);
    const qsizetype lines = window.StatusLog().Lines().size();
    TResult r { clock.elapsed(), ProcStatusKiB("VmHWM:") - before, lines <= StatusLogMaxLines,
        QString("%1 sent, %2 accepted, %3 log lines, %4 listed")
            .arg(sent.load())
            .arg(window.StatusListener()->AcceptedDatagrams())
            .arg(lines)
            .arg(window.DeviceList()->rowCount()) };
    Print(r);
    return 0;
}

struct TSoakRow {
    QString Name;
    QStringList Args;
    qint64 LimitMs;
    qint64 MemoryMiB;
    QString Expected;
};

int Soak()
{
    const THostileSize full { true };
    QList<TSoakRow> rows;
    const QList<THostileCase> cases = HostileCases();
    for (qsizetype i = 0; i < cases.size(); ++i)
        rows << TSoakRow { cases[i].Name, { "case", QString::number(i), "--full" }, cases[i].LimitMs(full),
            cases[i].MemoryMiB(full), cases[i].Expected(full) };
    // 10,000 kept documents of about a kilobyte, as UTF-16, with their keys.
    rows << TSoakRow { "listener: 50,000 forged senders", { "senders", "50000" }, 120000, 64, " kept" };
    // 5,000 log lines and 5,000 cached documents, plus the list rows.
    rows << TSoakRow { "window: 5000 devices for a minute", { "window", "5000", "60" }, 90000, 128, " log lines" };

    std::printf("%-44s %9s %10s  %s\n", "case", "time (s)", "peak (MiB)", "outcome");
    bool allWithin = true;
    for (const TSoakRow& row : rows) {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), row.Args);
        child.waitForFinished(-1);
        const QByteArray errors = child.readAllStandardError();
        const QStringList fields = QString::fromUtf8(child.readAllStandardOutput()).trimmed().split('\t');
        const qint64 ms = fields.value(0).toLongLong();
        const qint64 peakMiB = fields.value(1).toLongLong() / 1024;
        const QString message = fields.value(3);
        const bool within = child.exitCode() == 0 && fields.size() == 4 && ms <= row.LimitMs && peakMiB < row.MemoryMiB
            && message.contains(row.Expected)
            && ((!row.Name.startsWith("listener") && !row.Name.startsWith("window")) || fields.value(2) == "1");
        allWithin = allWithin && within;
        std::printf("%-44s %9.1f %10lld  %s%s\n", row.Name.toUtf8().constData(), ms / 1000.0, peakMiB,
            message.toUtf8().constData(),
            within ? ""
                   : QString("   <-- OUT OF BOUND (%1 s, %2 MiB, \"%3\")")
                         .arg(row.LimitMs / 1000.0)
                         .arg(row.MemoryMiB)
                         .arg(row.Expected)
                         .toUtf8()
                         .constData());
        if (!within)
            std::fwrite(errors.constData(), 1, size_t(errors.size()), stdout);
        std::fflush(stdout);
    }
    std::printf(allWithin ? "every case within its bound\n" : "SOME CASES OUT OF BOUND\n");
    return allWithin ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    const QStringList args = [&] {
        QStringList list;
        for (int i = 1; i < argc; ++i)
            list << QString::fromLocal8Bit(argv[i]);
        return list;
    }();
    const QString verb = args.value(0);
    if (verb == "window")
        return RunWindow(argc, argv, args.value(1).toInt(), args.value(2).toInt());
    QCoreApplication app(argc, argv);
    if (verb == "case")
        return RunCase(args.value(1).toInt(), args.contains("--full"));
    if (verb == "senders")
        return RunForgedSenders(args.value(1).toInt());
    if (verb == "soak")
        return Soak();
    std::fprintf(stderr, "usage: quillex-hostile case N [--full] | senders COUNT | window DEVICES SECONDS | soak\n");
    return 2;
}
