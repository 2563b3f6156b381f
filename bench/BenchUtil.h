#pragma once
// Helpers of the benchmark programs: best-of-N timing and external tools.
#include "content/TextDocument.h"
#include "tests/Loopback.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <sys/resource.h>
#include <vector>

inline double BestSeconds(int runs, const std::function<void()>& work)
{
    double best = 1e9;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        best = qMin(best, timer.nsecsElapsed() / 1e9);
    }
    return best;
}

// Wall time of a command whose output goes to /dev/null; best of runs.
inline double CommandSeconds(
    int runs, const QString& program, const QStringList& arguments, const QString& inputFile = {})
{
    return BestSeconds(runs, [&] {
        QProcess process;
        process.setStandardOutputFile(QProcess::nullDevice());
        if (!inputFile.isEmpty())
            process.setStandardInputFile(inputFile);
        process.start(program, arguments);
        if (!process.waitForFinished(600000) || process.exitStatus() != QProcess::NormalExit)
            qFatal("%s failed", qPrintable(program));
    });
}

inline QStringList CorpusFiles(const QString& folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (!path.endsWith(".md"))
            files << path;
    }
    files.sort();
    return files;
}

// Writes a benchmark's input file; a benchmark cannot go on without it.
inline void WriteBenchFile(const QString& path, const QByteArray& bytes)
{
    QString error;
    if (!WriteWholeFile(path, bytes, error))
        qFatal("cannot write %s: %s", qPrintable(path), qPrintable(error));
}

// Stops the benchmark with a clear message when the corpus is missing.
inline void RequireCorpus(const QString& corpus, const QStringList& files)
{
    if (files.isEmpty()) {
        std::fprintf(stderr, "no G-code corpus at %s: the benchmarks need ../shared/data/gcode/\n", qPrintable(corpus));
        std::exit(1);
    }
}

// The corpus programs one after another until size bytes, LF line ends.
inline QByteArray BuildCorpusProgram(const QString& corpus, qsizetype size)
{
    QByteArray all;
    for (const QString& path : CorpusFiles(corpus)) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            all += file.readAll();
    }
    all.replace("\r\n", "\n");
    if (all.isEmpty())
        RequireCorpus(corpus, {});
    QByteArray program;
    program.reserve(size);
    while (program.size() < size)
        program += all.left(size - program.size());
    return program;
}

inline void PrintFigure(const char* label, double value, const char* unit, const char* target)
{
    std::printf("%-60s %10.3f %-6s %s\n", label, value, unit, target);
    std::fflush(stdout);
}

// A ratio with both sides and its verdict against the target.
inline void PrintRatio(const char* label, double ours, double peer, double target)
{
    const double ratio = ours / peer;
    std::printf("%-60s %7.3f  (%.3f s / %.3f s)  target <= %.2f  %s\n", label, ratio, ours, peer, target,
        ratio <= target ? "PASS" : "FAIL");
    std::fflush(stdout);
}

// The whole process's peak resident memory so far.
inline qint64 PeakMemoryBytes()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return qint64(usage.ru_maxrss) * 1024;
}

inline void PrintPeak(const char* label, qint64 peak, qint64 fileSize, int baseMiB, int perByte)
{
    const qint64 limit = qint64(baseMiB) * 1024 * 1024 + perByte * fileSize;
    std::printf("%-60s %7.1f MiB  target <= %.1f MiB (%d MiB + %d x size)  %s\n", label, peak / 1048576.0,
        limit / 1048576.0, baseMiB, perByte, peak <= limit ? "PASS" : "FAIL");
    std::fflush(stdout);
}

// One timed run: wall time and the whole process's CPU time, in seconds.
struct TTimes {
    double Wall = 0;
    double Cpu = 0;
};

inline double ProcessCpuSeconds()
{
    timespec now {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + now.tv_nsec / 1e9;
}

// CPU time of the child processes waited for so far.
inline double ChildrenCpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The work's wall time and CPU time, this process's and its commands' alike.
inline TTimes Measure(const std::function<void()>& work)
{
    const double cpu = ProcessCpuSeconds() + ChildrenCpuSeconds();
    QElapsedTimer timer;
    timer.start();
    work();
    return { timer.nsecsElapsed() / 1e9, ProcessCpuSeconds() + ChildrenCpuSeconds() - cpu };
}

// A command run to its end with its output thrown away, as work to measure.
inline std::function<void()> Command(const QString& program, const QStringList& arguments, const QString& input = {})
{
    return [=] {
        QProcess process;
        process.setStandardOutputFile(QProcess::nullDevice());
        if (!input.isEmpty())
            process.setStandardInputFile(input);
        process.start(program, arguments);
        if (!process.waitForFinished(600000) || process.exitStatus() != QProcess::NormalExit)
            qFatal("%s failed", qPrintable(program));
    };
}

// How many pairs a benchmark takes in turns: QUILLEX_BENCH_PAIRS, 5 by default.
inline int BenchPairs()
{
    return qMax(
        1, qEnvironmentVariableIsSet("QUILLEX_BENCH_PAIRS") ? qEnvironmentVariableIntValue("QUILLEX_BENCH_PAIRS") : 5);
}

// The machine's load averages, printed beside a figure taken on a shared machine.
inline QByteArray LoadAverage()
{
    QFile file("/proc/loadavg");
    return file.open(QIODevice::ReadOnly) ? file.readLine().split(' ').mid(0, 3).join(' ') : QByteArray("?");
}

inline double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct TPairs {
    std::vector<TTimes> Ours, Peer;
};

// Each side once to warm the caches, then BenchPairs() pairs in turns, so
// that a busy stretch of a shared machine meets both sides alike.
inline TPairs TakePairs(const std::function<void()>& ours, const std::function<void()>& peer)
{
    ours();
    peer();
    TPairs pairs;
    for (int i = 0; i < BenchPairs(); ++i) {
        pairs.Ours.push_back(Measure(ours));
        pairs.Peer.push_back(Measure(peer));
    }
    return pairs;
}

// Pairs taken in turns (ours, peer, ours, peer, ...): the ratio of each pair,
// min / median / max of the wall and of the CPU time, the median times, and
// the verdict of the median wall ratio; a target of 0 marks a figure given
// as information.
inline void PrintPairs(
    const char* label, const std::vector<TTimes>& ours, const std::vector<TTimes>& peer, double target = 0)
{
    std::vector<double> wall, cpu, ourWall, peerWall;
    for (size_t i = 0; i < ours.size() && i < peer.size(); ++i) {
        wall.push_back(ours[i].Wall / peer[i].Wall);
        cpu.push_back(peer[i].Cpu > 0 ? ours[i].Cpu / peer[i].Cpu : 0);
        ourWall.push_back(ours[i].Wall);
        peerWall.push_back(peer[i].Wall);
    }
    if (wall.empty())
        return;
    const auto [wallMin, wallMax] = std::minmax_element(wall.begin(), wall.end());
    const auto [cpuMin, cpuMax] = std::minmax_element(cpu.begin(), cpu.end());
    const double median = Median(wall);
    const QByteArray verdict = target <= 0
        ? QByteArray("information")
        : "target <= " + QByteArray::number(target, 'f', 2) + (median <= target ? "  PASS" : "  FAIL");
    std::printf("%-52s wall %6.3f / %6.3f / %6.3f  cpu %6.3f / %6.3f / %6.3f  (%.3f s / %.3f s median, %zu pairs, "
                "load %s)  %s\n",
        label, *wallMin, median, *wallMax, *cpuMin, Median(cpu), *cpuMax, Median(ourWall), Median(peerWall),
        wall.size(), LoadAverage().constData(), verdict.constData());
    std::fflush(stdout);
}

inline void PrintPairs(const char* label, const TPairs& pairs, double target = 0)
{
    PrintPairs(label, pairs.Ours, pairs.Peer, target);
}

// The status port the benchmark's window or devices use: QUILLEX_STATUS_PORT
// when set, so that people sharing a machine can each name their own;
// otherwise a port free right now.
inline quint16 BenchStatusPort()
{
    const int port = qEnvironmentVariableIntValue("QUILLEX_STATUS_PORT");
    if (port > 0 && port < 65536)
        return quint16(port);
    if (qEnvironmentVariableIsSet("QUILLEX_STATUS_PORT"))
        qFatal("QUILLEX_STATUS_PORT must be a port number from 1 to 65535");
    return FreeUdpPort();
}

// The loopback address the benchmark's device uses: QUILLEX_BENCH_ADDRESS
// when set (an address of 127.0.0.0/8); otherwise one of this run's own
// block (see tests/Loopback.h). Benchmarks with many devices take theirs
// from the same 127.A block.
inline QString BenchAddress(const char* lastTwo)
{
    if (!qEnvironmentVariableIsSet("QUILLEX_BENCH_ADDRESS"))
        return RunIp(lastTwo);
    const QString address = qEnvironmentVariable("QUILLEX_BENCH_ADDRESS");
    if (!QHostAddress(address).isLoopback() || QHostAddress(address).protocol() != QHostAddress::IPv4Protocol)
        qFatal("QUILLEX_BENCH_ADDRESS must be an address of 127.0.0.0/8");
    return address;
}

inline int BenchLoopbackSecond()
{
    return qEnvironmentVariableIsSet("QUILLEX_BENCH_ADDRESS") ? BenchAddress("").section('.', 1, 1).toInt()
                                                              : RunLoopbackBlock().Second;
}
