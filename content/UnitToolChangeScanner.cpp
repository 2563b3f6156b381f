#include "UnitToolChangeScanner.h"

#include "UnitRegex.h"
#include "UnitTextUtil.h"

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

bool HasToolWord(QStringView line) { return ToolWordPattern().Matches(line); }

bool HasToolChangeWord(QStringView line) { return ToolChangeWordPattern().Matches(line); }

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

    QStringList kept;
    kept.reserve(lines.size());
    for (const QString& line : lines)
        if (!TrimLow(line).isEmpty())
            kept.append(line);
    scan.LinesRewritten = kept.size() < lines.size();
    scan.Lines = scan.LinesRewritten ? kept : lines;
    if (scan.LinesRewritten)
        lineBreakLength = 2;

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
            scan.Rows.append({ QString::fromUtf8("Satır %1, bayt %2: %3")
                                   .arg(lineNumber)
                                   .arg(cur)
                                   .arg(TrimLow(line).toString()),
                lineNumber });
            scan.Candidates.append({ lineNumber, i > 0 ? prev : cur });
        }
        prev = cur;
        cur += line.size() + lineBreakLength;
    }
    return scan;
}
