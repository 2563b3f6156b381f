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

    // out: standard error, or another stream the progress goes to.
    explicit TProgressPrinter(TProgressMode mode, std::FILE* out = stderr)
        : Mode(
            mode == TProgressMode::Auto ? (::isatty(::fileno(out)) ? TProgressMode::Bar : TProgressMode::Lines) : mode)
        , FOut(out)
    {
    }
    ~TProgressPrinter()
    {
        if (FBarShown)
            std::fputs("\n", FOut);
    }
    TProgressPrinter(const TProgressPrinter&) = delete;
    TProgressPrinter& operator=(const TProgressPrinter&) = delete;

    // stage: "upload", "download" or "verify".
    void Percent(const char* stage, qint32 percent)
    {
        if (Mode == TProgressMode::Bar) {
            const int filled = qBound(0, percent, 100) / 5;
            Show(QString("[%1%2] %3%").arg(QString(filled, u'#'), QString(20 - filled, u'.')).arg(percent, 3));
        } else {
            Line(stage, percent);
        }
        std::fflush(FOut);
    }

    void Erase(qint64 done, qint64 total)
    {
        const qint32 percent = total > 0 ? qint32(double(done) * 100.0 / double(total) + 0.5) : -1;
        if (Mode == TProgressMode::Bar) {
            const QString text = percent >= 0 ? QString::fromUtf8("Flash siliniyor (%%1)").arg(percent)
                                              : QString::fromUtf8("Flash siliniyor");
            Show(text);
        } else {
            Line("erase", percent);
        }
        std::fflush(FOut);
    }

private:
    // The live line anew, over the one shown: blanks cover what a longer
    // line before it left, so no tail of the bar stays beside the erase text.
    void Show(const QString& text)
    {
        const qsizetype width = text.size();
        const QString shown = text + QString(qMax<qsizetype>(0, FShownWidth - width), u' ');
        std::fprintf(FOut, "\r%s", shown.toUtf8().constData());
        FShownWidth = width;
        FBarShown = true;
    }

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
            std::fprintf(FOut, "%s %d%%\n", stage, percent);
        else
            std::fprintf(FOut, "%s\n", stage);
    }

    std::FILE* FOut;
    QHash<QByteArray, qint32> FLast;
    qsizetype FShownWidth = 0; // characters of the live line on the terminal
    bool FBarShown = false;
};
