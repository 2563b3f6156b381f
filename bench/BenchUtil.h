#pragma once
// Helpers of the benchmark programs: best-of-N timing and external tools.
#include "content/TextDocument.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sys/resource.h>

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
