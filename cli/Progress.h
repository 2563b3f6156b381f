#pragma once
// Transfer progress on standard error: a live bar on a terminal; elsewhere one
// line per whole percent that changed, "upload 37%", "erase 61%", "download 5%",
// "verify 80%",
// so that scripts can read it; or nothing.
#include <QByteArray>
#include <QHash>
#include <QString>

#include <cstdio>
#include <unistd.h>

enum class TProgressMode { Auto, Bar, Lines, None };

class TProgressPrinter {
public:
    TProgressMode Mode;

    explicit TProgressPrinter(TProgressMode mode)
        : Mode(
            mode == TProgressMode::Auto ? (::isatty(STDERR_FILENO) ? TProgressMode::Bar : TProgressMode::Lines) : mode)
    {
    }
    ~TProgressPrinter()
    {
        if (FBarShown)
            std::fputs("\n", stderr);
    }
    TProgressPrinter(const TProgressPrinter&) = delete;
    TProgressPrinter& operator=(const TProgressPrinter&) = delete;

    // stage: "upload", "download" or "verify".
    void Percent(const char* stage, qint32 percent)
    {
        if (Mode == TProgressMode::Bar) {
            const int filled = qBound(0, percent, 100) / 5;
            std::fprintf(stderr, "\r[%s%s] %3d%%", QByteArray(filled, '#').constData(),
                QByteArray(20 - filled, '.').constData(), percent);
            FBarShown = true;
        } else {
            Line(stage, percent);
        }
        std::fflush(stderr);
    }

    void Erase(qint64 done, qint64 total)
    {
        const qint32 percent = total > 0 ? qint32(double(done) * 100.0 / double(total) + 0.5) : -1;
        if (Mode == TProgressMode::Bar) {
            const QString text = percent >= 0 ? QString::fromUtf8("Flash siliniyor (%%1)").arg(percent)
                                              : QString::fromUtf8("Flash siliniyor");
            std::fprintf(stderr, "\r%s   ", text.toUtf8().constData());
            FBarShown = true;
        } else {
            Line("erase", percent);
        }
        std::fflush(stderr);
    }

private:
    // One line per change; a stage without a known total prints its name once.
    void Line(const char* stage, qint32 percent)
    {
        if (Mode != TProgressMode::Lines)
            return;
        const auto last = FLast.constFind(stage);
        if (last != FLast.constEnd() && *last == percent)
            return;
        FLast.insert(stage, percent);
        if (percent >= 0)
            std::fprintf(stderr, "%s %d%%\n", stage, percent);
        else
            std::fprintf(stderr, "%s\n", stage);
    }

    QHash<QByteArray, qint32> FLast;
    bool FBarShown = false;
};
