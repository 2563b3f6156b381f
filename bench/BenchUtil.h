#pragma once
// Helpers of the benchmark programs: best-of-N timing and external tools.
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <cstdlib>
#include <functional>

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

// Stops the benchmark with a clear message when the G-code corpus is missing:
// figures over made-up programs would mean nothing.
inline void RequireCorpus(const QString& folder)
{
    if (CorpusFiles(folder).isEmpty()) {
        std::fprintf(stderr,
            "the G-code corpus %s is missing or empty; fetch it or configure with -DQUILLEX_GCODE_DATA=<folder>\n",
            qPrintable(folder));
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
        all = "G1 X1 Y2 Z3 F100\n";
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
