// The whole window's CPU while a fleet of devices reports once a second: the
// window runs in this process, shown, with its status log shown and a device
// selected; the devices are a child process (this program with "send") whose
// CPU is not counted. Every datagram sent must reach the window.
#include "BenchPrompter.h"
#include "BenchUtil.h"
#include "app/StatusLogView.h"
#include "tests/Loopback.h"
#include "tests/StatusDatagram.h"
#include "tests/support/FormWidget.h"

#include "app/unitmainform.h"

#include <QApplication>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int Devices = 1000;
constexpr int Seconds = 30;

// A status document as a device sends it every second; its time moves on.
QByteArray DeviceStatus(int device, const QString& ip, int second)
{
    return QString(R"({"macid":"02:51:42:00:%1","name":"Tezgah %2","hw":"HW4","fw":"2.4.1","build":512,)"
                   R"("baud":9600,"databits":8,"parity":"N","stopbits":1,"xofftimeout":30,"xonxoff":true,)"
                   R"("filesize":123456,"maxfilesize":33554432,"time":"2026-12-10 12:%3:%4","xfer_status":"idle",)"
                   R"("xfer_bytes":0,"xfer_total":0,"ota_status":"idle","ip":"%5","controller":"FANUC","pw":false})")
        .arg(device, 4, 16, QChar('0'))
        .arg(device)
        .arg(second / 60, 2, 10, QChar('0'))
        .arg(second % 60, 2, 10, QChar('0'))
        .arg(ip)
        .toLatin1();
}

qint64 CpuNanoseconds(int who)
{
    rusage usage {};
    getrusage(who, &usage);
    return (qint64(usage.ru_utime.tv_sec) + usage.ru_stime.tv_sec) * 1000000000LL
        + (qint64(usage.ru_utime.tv_usec) + usage.ru_stime.tv_usec) * 1000LL;
}

// The devices: each from its own address 127.<second>.x.y, spread over every
// second as devices on their own timers would be. Prints "start" when the
// first datagram goes out and "sent <n>" at the end.
int RunDevices(quint16 port, int second)
{
    rlimit limit {};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = qMin<rlim_t>(limit.rlim_max, 8192);
    setrlimit(RLIMIT_NOFILE, &limit);
    if (limit.rlim_cur < rlim_t(Devices + 64)) {
        std::fprintf(stderr, "the devices need %d open sockets; the limit is %llu\n", Devices + 64,
            static_cast<unsigned long long>(limit.rlim_cur));
        return 1;
    }
    QList<int> sockets;
    QList<QList<QByteArray>> datagrams(Devices);
    for (int i = 0; i < Devices; ++i) {
        const QString ip = QString("127.%1.%2.%3").arg(second).arg(1 + i / 250).arg(1 + i % 250);
        const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in from {};
        from.sin_family = AF_INET;
        from.sin_addr.s_addr = ::inet_addr(ip.toLatin1().constData());
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0) {
            std::fprintf(stderr, "cannot bind a device to %s: %s\n", qPrintable(ip), std::strerror(errno));
            return 1;
        }
        sockets << fd;
        const QByteArray iv = QByteArray::number(i).rightJustified(16, 'v');
        for (int s = 0; s < Seconds; ++s)
            datagrams[i] << StatusDatagram(DeviceStatus(i, ip, s), StatusKey(), iv);
    }
    sockaddr_in to {};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::printf("start\n");
    std::fflush(stdout);
    qint64 sent = 0;
    timespec begin {};
    clock_gettime(CLOCK_MONOTONIC, &begin);
    for (int s = 0; s < Seconds; ++s) {
        for (int i = 0; i < Devices; ++i) {
            const qint64 due = s * 1000000000LL + qint64(i) * 1000000000LL / Devices;
            timespec at { begin.tv_sec + time_t((begin.tv_nsec + due) / 1000000000LL),
                long((begin.tv_nsec + due) % 1000000000LL) };
            while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) { }
            const QByteArray& datagram = datagrams[i][s];
            if (::sendto(sockets[i], datagram.constData(), size_t(datagram.size()), 0, reinterpret_cast<sockaddr*>(&to),
                    sizeof to)
                == datagram.size())
                ++sent;
        }
    }
    for (int fd : sockets)
        ::close(fd);
    std::printf("sent %lld\n", qlonglong(sent));
    std::fflush(stdout);
    return 0;
}

bool WaitFor(const std::function<bool()>& condition, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && qstrcmp(argv[1], "send") == 0)
        return RunDevices(quint16(QByteArray(argv[2]).toUInt()), QByteArray(argv[3]).toInt());

    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fprintf(stderr,
            "quillex-bench-statuslog shows the window: run it under an X server, for example "
            "xvfb-run -a %s (scripts/bench.sh does)\n",
            argv[0]);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    qputenv("QUILLEX_SETTINGS", dir.filePath("settings.ini").toLocal8Bit());
    qputenv("QUILLEX_NO_KEYCHAIN", "1");

    TBenchPrompter prompter;
    TMainFormOptions options;
    options.StatusPort = BenchStatusPort();
    options.StartupDelayMs = 0;
    TFormMain window(prompter, options);
    window.resize(1055, 674);
    window.show();
    if (!WaitFor([&] { return window.StatusListener() && window.StatusListener()->IsListening(); }, 5000))
        qFatal("the status listener did not start on port %u", unsigned(options.StatusPort));
    // The log is hidden until the operator shows it (five clicks on the logo).
    const QByteArray mode = argc > 1 ? QByteArray(argv[1]) : QByteArray("--log-shown");
    if (argc > 2 || (mode != "--log-shown" && mode != "--log-hidden")) {
        std::fprintf(stderr, "usage: %s [--log-shown | --log-hidden]\n", argv[0]);
        return 2;
    }
    const bool logShown = mode == "--log-shown";
    if (logShown)
        for (int click = 0; click < 5; ++click)
            window.ImageLogoClick();
    if (window.LogVisible() != logShown)
        qFatal("the status log is not as asked");

    // The window's start-up work (the update check among it) ends first: the
    // figure is the steady cost of the devices.
    WaitFor([] { return false; }, 3000);
    qint64 cpuAtStart = 0, cpuAtEnd = 0, sent = -1;
    // Nothing else sends to this run's port: the counts start here.
    const qint64 acceptedAtStart = window.StatusListener()->AcceptedDatagrams();
    const qint64 loggedAtStart = qint64(window.StatusLog().Appended());
    QProcess devices;
    devices.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    devices.start(QCoreApplication::applicationFilePath(),
        { "send", QString::number(options.StatusPort), QString::number(BenchLoopbackSecond()) });
    if (!devices.waitForStarted(5000))
        qFatal("the devices did not start");
    QElapsedTimer wall;
    bool selected = false;
    QObject::connect(&devices, &QProcess::readyReadStandardOutput, &window, [&] {
        while (devices.canReadLine()) {
            const QByteArray line = devices.readLine().trimmed();
            if (line == "start") {
                cpuAtStart = CpuNanoseconds(RUSAGE_SELF);
                wall.start();
            } else if (line.startsWith("sent ")) {
                cpuAtEnd = CpuNanoseconds(RUSAGE_SELF);
                sent = line.mid(5).toLongLong();
            }
        }
    });
    // The operator looks at one device: its panel follows its status.
    QTimer selectFirst;
    QObject::connect(&selectFirst, &QTimer::timeout, &window, [&] {
        if (!selected && window.DeviceList()->rowCount() > 0) {
            window.DeviceList()->SelectRow(window.DeviceList()->rowCount() / 2);
            selected = true;
        }
    });
    selectFirst.start(500);
    QEventLoop loop;
    QObject::connect(&devices, &QProcess::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot((Seconds + 60) * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    if (devices.exitStatus() != QProcess::NormalExit || devices.exitCode() != 0 || sent < 0)
        qFatal("the devices failed");
    const double seconds = wall.nsecsElapsed() / 1e9;
    const double cpu = (cpuAtEnd - cpuAtStart) / 1e9;
    // Datagrams still on their way or queued in the socket.
    WaitFor([&] { return window.StatusListener()->AcceptedDatagrams() - acceptedAtStart >= sent; }, 2000);
    const qint64 accepted = window.StatusListener()->AcceptedDatagrams() - acceptedAtStart;
    const qint64 logged = qint64(window.StatusLog().Appended()) - loggedAtStart;
    WaitFor([] { return false; }, 2500); // one more list refresh
    const int listed = window.DeviceList()->rowCount();
    const int logLines = Widget<TStatusLogView>(window, "Memo1")->LineCount();

    std::printf("window: %lld sent, %lld accepted, %lld logged, %d listed, %d log lines shown, %.1f s, %.3f s CPU\n",
        qlonglong(sent), qlonglong(accepted), qlonglong(logged), listed, logLines, seconds, cpu);
    const double share = 100.0 * cpu / seconds;
    const qint64 lost = sent - qMin(accepted, logged);
    const QString label
        = QString("(w) window CPU, 1000 devices x 1/s x 30 s, log %1").arg(logShown ? "shown" : "hidden");
    std::printf(
        "%-60s %10.2f %-6s %s %s\n", qPrintable(label), share, "%", "target < 5 %", share < 5.0 ? "PASS" : "FAIL");
    std::printf("%-60s %10lld %-6s %s %s\n", "(w) status datagrams lost", qlonglong(lost), "", "target 0",
        lost == 0 && listed == Devices ? "PASS" : "FAIL");
    std::fflush(stdout);
    window.close();
    return 0;
}
