#include "ToolpathCommands.h"

#include "CliOutput.h"

#include "content/UnitMazatrolCmt.h"
#include "document/ProgramDocument.h"
#include "document/UploadPlan.h"
#include "toolpath/GCodeInterpreter.h"
#include "toolpath/RestartCheck.h"

#include <QJsonArray>
#include <QJsonObject>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>

namespace {

// Rapids of a machining centre, in the program's units per minute, when --rapid-rate is not given.
constexpr double DefaultRapidRate = 10000;

struct THelp {
    const char* Name;
    const char* Text;
};

const THelp Helps[] = {
    { "toolpath",
        "Usage: quillex-cli toolpath FILE|- [--moves] [--svg OUT] [--rapid-rate R]\n"
        "Interprets FILE as the window opens it and prints the path's extents, its rapid and feed\n"
        "lengths, the move count, an estimated machining time (feeds as programmed, rapids at R\n"
        "units per minute, 10000 by default) and the warnings, each with its line. --moves prints\n"
        "every move instead, canned cycles expanded, one line each in the program's units:\n"
        "  LINE rapid X Y Z | LINE feed X Y Z | LINE arc X Y Z CX CY CZ ROT\n"
        "(ROT +1 for G3, -1 for G2, +-(n+1) with n extra turns). --svg draws the top view.\n"
        "Exit code 0 also when warnings were found.\n"
        "Example: quillex-cli toolpath O1000.nc --svg O1000.svg\n" },
    { "resume-check",
        "Usage: quillex-cli resume-check FILE|- [--siemens]\n"
        "Checks every start-from point of FILE (the line before each tool change): prints its\n"
        "number, the tool change's line and tool, and each modal setting the program makes only\n"
        "before that point, or the all-clear line.\n"
        "Exit codes: 0 no warnings, 4 warnings found (or a point that could not be checked),\n"
        "1 the file could not be read.\n"
        "Example: quillex-cli resume-check O1000.nc --json\n" },
};

// Opened as the window opens it; false (with the exit code) for what is not a G-code text.
bool OpenProgram(const TCliArgs& args, QByteArray bytes, TPlainTextStore& store, QByteArray& text, int& rc)
{
    const bool siemens = args.IsSet("siemens");
    TProgramDocument document(store);
    document.OpenBytes(std::move(bytes), siemens);
    if (document.Mode() == TDocumentMode::Cmt) {
        rc = Fail(ExitFailed, "not_interpreted",
            QString::fromUtf8("Mazatrol CMT dosyası G-kodu değil; takım yolu yorumlanmıyor."));
        return false;
    }
    if (siemens) {
        rc = Fail(ExitFailed, "not_interpreted",
            QString::fromUtf8("SIEMENS kontrolünün programı yorumlanmıyor; takım yolu ve güvenlik kontrolü yok."));
        return false;
    }
    text = store.Text();
    return true;
}

// Whether the file's own bytes may be interpreted instead of the editor's
// text. The editor decodes the file, breaks its lines anew, drops blank lines
// (the interpreter then leaves them out of its numbers) and puts blanks
// between words; of that, the interpreter meets only the blanks, in the word
// a warning quotes (a run that warns is made again from the editor's text),
// and bytes of 0x80 and above, which it never reads as a word, a number or a
// break, only within comments and words it does not interpret. Left to the
// editor: byte order marks, CMT files, SIEMENS programs, and lines where such
// bytes could be more: U+2028 (a break only in UTF-8) and parameter names (two
// bad UTF-8 sequences may decode to one name).
bool InterpretedAsRead(const TCliArgs& args, const QByteArray& bytes)
{
    if (args.IsSet("siemens") || IsCmtData(bytes.left(CmtSniffLength)))
        return false;
    for (const char* mark : { "\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF" })
        if (bytes.startsWith(mark))
            return false;
    const char* const begin = bytes.constData();
    const char* const end = begin + bytes.size();
    for (const char* p = begin; p < end;) {
        // Eight ASCII bytes at a time up to the next byte of 0x80 or more.
        quint64 word;
        if (end - p >= 8 && (std::memcpy(&word, p, 8), !(word & 0x8080808080808080ULL))) {
            p += 8;
            continue;
        }
        if (static_cast<unsigned char>(*p) < 0x80) {
            ++p;
            continue;
        }
        const char* lineBegin = p;
        while (lineBegin > begin && lineBegin[-1] != '\n' && lineBegin[-1] != '\r')
            --lineBegin;
        const char* lineEnd = p;
        while (lineEnd < end && *lineEnd != '\n' && *lineEnd != '\r')
            ++lineEnd;
        const QByteArrayView line(lineBegin, lineEnd - lineBegin);
        if (line.contains('<') || line.contains("\xE2\x80\xA8"))
            return false;
        p = lineEnd;
    }
    return true;
}

QString Number(double value)
{
    return QString::number(std::fabs(value) < 0.00005 ? 0.0 : value, 'f', 4);
}

QString Duration(double seconds)
{
    const qint64 s = qint64(std::llround(seconds));
    return QString("%1:%2:%3").arg(s / 3600).arg(s / 60 % 60, 2, 10, QChar('0')).arg(s % 60, 2, 10, QChar('0'));
}

QByteArray TopViewSvg(const TToolpath& path, const TToolpathSummary& summary)
{
    const double margin = 5;
    const double width = summary.Empty ? 1 : std::max(summary.Max.X - summary.Min.X, 1e-3);
    const double height = summary.Empty ? 1 : std::max(summary.Max.Y - summary.Min.Y, 1e-3);
    const double scale = 1000 / std::max(width, height);
    const auto x = [&](double v) { return QByteArray::number(margin + (v - summary.Min.X) * scale, 'f', 2); };
    const auto y = [&](double v) { return QByteArray::number(margin + (summary.Max.Y - v) * scale, 'f', 2); };
    QByteArray out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\""
        + QByteArray::number(width * scale + 2 * margin, 'f', 0) + "\" height=\""
        + QByteArray::number(height * scale + 2 * margin, 'f', 0) + "\">\n";
    // One polyline per run of moves of one kind: rapids dashed, the rest solid.
    QByteArray points;
    bool rapidRun = false;
    const auto flush = [&] {
        if (points.count(' ') > 1)
            out += QByteArray("<polyline fill=\"none\" stroke-width=\"1\" ")
                + (rapidRun ? "stroke=\"#d08000\" stroke-dasharray=\"4 3\"" : "stroke=\"#0050c0\"") + " points=\""
                + points.trimmed() + "\"/>\n";
        points.clear();
    };
    TPoint3 at;
    std::vector<TPoint3> arc;
    for (const TToolpathMove& move : path.Moves()) {
        if (move.Kind == TMoveKind::Dwell)
            continue;
        const bool rapid = move.Kind == TMoveKind::Rapid || move.Kind == TMoveKind::Machine;
        if (rapid != rapidRun || points.isEmpty()) {
            flush();
            rapidRun = rapid;
            points = x(at.X) + ',' + y(at.Y) + ' ';
        }
        arc.clear();
        if (move.Kind == TMoveKind::Arc)
            ArcPoints(move, at, 0.05, arc);
        else
            arc.push_back({ move.EndX(), move.EndY(), move.EndZ() });
        for (const TPoint3& p : arc)
            points += x(p.X) + ',' + y(p.Y) + ' ';
        at = arc.back();
    }
    flush();
    return out + "</svg>\n";
}

int Toolpath(const TCliArgs& args)
{
    if (args.Args.size() != 1)
        return Usage("toolpath: FILE expected");
    bool ok = true;
    const double rapidRate = args.IsSet("rapid-rate") ? args.Value("rapid-rate").toDouble(&ok) : DefaultRapidRate;
    if (!ok || rapidRate <= 0)
        return Usage("toolpath: --rapid-rate needs a positive number");
    if (args.IsSet("svg") && args.Value("svg").isEmpty())
        return Usage("toolpath: --svg needs a file");
    Report().Fields = { { "file", args.Args[0] } };
    QByteArray bytes;
    if (QString error; !ReadInput(args.Args[0], bytes, error))
        return Fail(ExitFailed, "file_error", args.Args[0] + ": " + error);
    // The figures alone are summed up as the moves are made, on a second
    // thread: the move list is kept only for what draws or prints every move.
    const bool everyMove = args.IsSet("moves") || args.IsSet("svg");
    std::optional<TToolpathSummaryThread> summarizer;
    const auto interpret = [&](const QByteArray& text, bool asRead) {
        TInterpreterOptions options;
        options.SkipBlankLines = asRead;
        if (!everyMove) {
            summarizer.reset();
            summarizer.emplace(rapidRate);
            options.KeepMoves = false;
            options.OnMove = [&summarizer](const TToolpathMove& move) { summarizer->Add(move); };
        }
        return InterpretProgram(text, options);
    };
    std::optional<TToolpath> interpreted;
    if (InterpretedAsRead(args, bytes)) {
        interpreted = interpret(bytes, true);
        if (!interpreted->Warnings().isEmpty())
            interpreted.reset();
    }
    if (!interpreted) {
        TPlainTextStore store;
        QByteArray text;
        if (int rc; !OpenProgram(args, std::move(bytes), store, text, rc))
            return rc;
        interpreted = interpret(text, false);
    }
    bytes.clear();
    const TToolpath& path = *interpreted;

    QJsonArray warnings;
    QByteArray warningLines;
    for (const TToolpathWarning& w : path.Warnings()) {
        warnings.append(QJsonObject { { "line", w.Line }, { "text", w.Text } });
        warningLines += QString::fromUtf8("Uyarı, satır %1: %2\n").arg(w.Line).arg(w.Text).toUtf8();
    }
    Report().Fields.insert("warnings", warnings);
    if (path.Stopped())
        Report().Fields.insert("stopped_line", path.StoppedLine());

    if (args.IsSet("moves")) {
        const QByteArray moves = MoveListText(path);
        if (!Report().Json)
            std::fwrite(moves.constData(), 1, size_t(moves.size()), stdout);
        else
            Report().Fields.insert("moves", QString::fromLatin1(moves));
        if (!Report().Json)
            std::fputs(warningLines.constData(), stderr);
        return Succeed(QString());
    }
    const TToolpathSummary summary = everyMove ? SummarizeToolpath(path, rapidRate) : summarizer->Finish();
    if (args.IsSet("svg")) {
        QString error;
        if (!WriteOutput(args.Value("svg"), TopViewSvg(path, summary), error))
            return Fail(ExitFailed, "file_error", args.Value("svg") + ": " + error);
    }
    QJsonObject extents;
    if (!summary.Empty)
        extents = QJsonObject { { "min", QJsonArray { summary.Min.X, summary.Min.Y, summary.Min.Z } },
            { "max", QJsonArray { summary.Max.X, summary.Max.Y, summary.Max.Z } } };
    Report().Fields.insert("extents", extents);
    Report().Fields.insert("moves", qint64(summary.MoveCount));
    Report().Fields.insert("rapid_length", summary.RapidLength);
    Report().Fields.insert("feed_length", summary.FeedLength);
    Report().Fields.insert("seconds", summary.Seconds);
    if (!summary.Empty) {
        Data("X " + Number(summary.Min.X) + " .. " + Number(summary.Max.X));
        Data("Y " + Number(summary.Min.Y) + " .. " + Number(summary.Max.Y));
        Data("Z " + Number(summary.Min.Z) + " .. " + Number(summary.Max.Z));
    }
    Data(QString::fromUtf8("Hareket: %1").arg(summary.MoveCount));
    Data(QString::fromUtf8("Hızlı hareket yolu: %1").arg(Number(summary.RapidLength)));
    Data(QString::fromUtf8("İlerleme yolu: %1").arg(Number(summary.FeedLength)));
    Data(QString::fromUtf8("Tahmini süre: %1").arg(Duration(summary.Seconds)));
    if (!Report().Json)
        std::fputs(warningLines.constData(), stdout);
    return Succeed(QString());
}

int ResumeCheck(const TCliArgs& args)
{
    if (args.Args.size() != 1)
        return Usage("resume-check: FILE expected");
    Report().Fields = { { "file", args.Args[0] } };
    TPlainTextStore store;
    QByteArray bytes;
    QString error;
    if (!ReadInput(args.Args[0], bytes, error))
        return Fail(ExitFailed, "file_error", args.Args[0] + ": " + error);
    TProgramDocument document(store);
    document.OpenBytes(std::move(bytes), args.IsSet("siemens"));
    const QList<TStartFromCandidate> candidates = document.ToolChangeCandidates();
    QString refusal;
    if (document.Mode() == TDocumentMode::Cmt)
        refusal = QString::fromUtf8("Mazatrol CMT dosyası G-kodu değil; güvenlik kontrolü yapılamadı.");
    else if (args.IsSet("siemens"))
        refusal = QString::fromUtf8("SIEMENS kontrolünün programı yorumlanmıyor; güvenlik kontrolü yapılamadı.");
    const TToolpath path = refusal.isEmpty() ? InterpretProgram(store.Text()) : TToolpath();
    QJsonArray points;
    bool anyWarning = false;
    for (int i = 0; i < candidates.size(); ++i) {
        TRestartCheck check;
        if (refusal.isEmpty()) {
            check = CheckRestart(path, candidates[i].LineNumber);
        } else {
            check.ToolChangeLine = candidates[i].LineNumber;
            check.ResumeLine = std::max(1, check.ToolChangeLine - 1);
            check.Warnings = QStringList { refusal };
        }
        anyWarning = anyWarning || !check.Warnings.isEmpty();
        const QStringList shown
            = check.Warnings.isEmpty() ? QStringList { QString::fromUtf8(RestartAllClear) } : check.Warnings;
        const QString tool = "T" + QString::number(check.Tool);
        for (const QString& line : shown)
            Data(QString("%1\t%2\t%3\t%4").arg(i + 1).arg(check.ToolChangeLine).arg(tool, line));
        points.append(QJsonObject { { "number", i + 1 }, { "line", check.ToolChangeLine },
            { "resume_line", check.ResumeLine }, { "tool", check.Tool }, { "checked", check.Checked },
            { "warnings", QJsonArray::fromStringList(check.Warnings) } });
    }
    Report().Fields.insert("points", points);
    if (anyWarning) {
        Report().Code = "warnings";
        Report().Message = QString::fromUtf8("Devam noktalarında uyarı var.");
        return ExitWarnings;
    }
    return Succeed(QString());
}

} // namespace

const char* const ToolpathCommandsSummary = R"(Toolpath commands (no device needed):
  toolpath FILE [--moves] [--svg OUT] [--rapid-rate R]   the interpreted path
  resume-check FILE [--siemens]         the safety check of every start-from point (exit 4: warnings)
)";

const char* ToolpathCommandHelp(const QString& command)
{
    for (const THelp& help : Helps)
        if (command == help.Name)
            return help.Text;
    return nullptr;
}

int RunToolpathCommand(const TCliArgs& args)
{
    int rc = -1;
    if (args.Verb == "toolpath")
        rc = Toolpath(args);
    else if (args.Verb == "resume-check")
        rc = ResumeCheck(args);
    if (rc >= 0 && std::fflush(stdout) != 0)
        return ExitFailed;
    return rc;
}
