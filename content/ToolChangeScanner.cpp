#include "ToolChangeScanner.h"

#include "Regex.h"
#include "TextUtil.h"

#include <algorithm>

namespace {

const TRegexPattern& ProgramNumberPattern()
{
    static const TRegexPattern pattern(QStringLiteral("^[O:]\\d+"));
    return pattern;
}

const TRegexPattern& ToolWordPattern()
{
    static const TRegexPattern pattern(QStringLiteral("\\bT\\d+\\b"));
    return pattern;
}

const TRegexPattern& ToolChangeWordPattern()
{
    static const TRegexPattern pattern(QStringLiteral("\\bM0*6\\b"));
    return pattern;
}

} // namespace

bool IsProgramNumberLine(QStringView line)
{
    const QStringView trimmed = TrimLow(line);
    // The pattern is anchored on 'O' or ':'; other lines need no match call.
    if (trimmed.isEmpty() || (trimmed[0] != u'O' && trimmed[0] != u':'))
        return false;
    return ProgramNumberPattern().Matches(trimmed);
}

bool HasToolWord(QStringView line)
{
    return ToolWordPattern().Matches(line);
}

bool HasToolChangeWord(QStringView line)
{
    return ToolChangeWordPattern().Matches(line);
}

bool IsToolChangeLine(QStringView line)
{
    // Cheap pre-check: without both letters neither pattern can match.
    if (!line.contains(u'T') || !line.contains(u'M'))
        return false;
    return HasToolWord(line) && HasToolChangeWord(line);
}

TToolChangeScan ScanToolChangeLines(const QStringList& lines, int lineBreakLength)
{
    TToolChangeScan scan;

    // Blank lines are dropped; without any the lines are taken as they are.
    const auto blank = [](const QString& line) { return TrimLow(line).isEmpty(); };
    scan.LinesRewritten = std::any_of(lines.begin(), lines.end(), blank);
    if (scan.LinesRewritten) {
        QStringList kept;
        kept.reserve(lines.size());
        for (const QString& line : lines)
            if (!blank(line))
                kept.append(line);
        scan.Lines = kept;
        lineBreakLength = 2;
    } else {
        scan.Lines = lines;
    }

    int programNumbers = 0;
    for (const QString& line : scan.Lines) {
        if (IsProgramNumberLine(line) && ++programNumbers >= 2) {
            scan.MultipleProgramNumbers = true;
            return scan;
        }
    }

    qint64 cur = 0, prev = 0;
    for (qsizetype i = 0; i < scan.Lines.size(); ++i) {
        const QString& line = scan.Lines[i];
        if (IsToolChangeLine(line)) {
            const auto lineNumber = qint32(i + 1);
            scan.Rows.append(
                { QString::fromUtf8("Satır %1, bayt %2: %3").arg(lineNumber).arg(cur).arg(TrimLow(line).toString()),
                    lineNumber });
            scan.Candidates.append({ lineNumber, i > 0 ? prev : cur });
        }
        prev = cur;
        cur += line.size() + lineBreakLength;
    }
    return scan;
}
