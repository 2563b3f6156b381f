#include "ToolChangeScanner.h"

#include "EditorText.h"
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

namespace {

QByteArrayView TrimLowUtf8(QByteArrayView line)
{
    qsizetype b = 0, e = line.size();
    while (b < e && static_cast<unsigned char>(line[b]) <= 32)
        ++b;
    while (e > b && static_cast<unsigned char>(line[e - 1]) <= 32)
        --e;
    return line.sliced(b, e - b);
}

// "^[O:]\d+" on the trimmed line, without a match call.
bool IsProgramNumberUtf8(QByteArrayView line)
{
    const QByteArrayView t = TrimLowUtf8(line);
    return t.size() >= 2 && (t[0] == 'O' || t[0] == ':') && t[1] >= '0' && t[1] <= '9';
}

// Cheap pre-check on the bytes: only lines holding both letters become a string.
bool IsToolChangeUtf8(QByteArrayView line)
{
    if (!line.contains('T') || !line.contains('M'))
        return false;
    return IsToolChangeLine(QString::fromUtf8(line));
}

} // namespace

TToolChangeScan ScanToolChangeText(const QByteArray& text, int lineBreakLength)
{
    TToolChangeScan scan;
    scan.Text = text;

    // Blank lines and program-number lines in one pass; a blank line is never
    // a program number, so the count holds for the text without them.
    bool anyBlank = false;
    int programNumbers = 0;
    ForEachUtf8Line(text, [&](QByteArrayView line) {
        if (IsBlankUtf8(line))
            anyBlank = true;
        else if (IsProgramNumberUtf8(line))
            ++programNumbers;
    });
    // Blank lines are dropped; without any the text is taken as it is.
    if (anyBlank) {
        QByteArray kept;
        kept.reserve(text.size());
        ForEachUtf8Line(text, [&](QByteArrayView line) {
            if (IsBlankUtf8(line))
                return;
            if (!kept.isEmpty())
                kept.append("\r\n");
            kept.append(line);
        });
        scan.Text = kept;
        scan.LinesRewritten = true;
        lineBreakLength = 2;
    }
    if (programNumbers >= 2) {
        scan.MultipleProgramNumbers = true;
        return scan;
    }

    // Offsets count UTF-16 units; in an ASCII text those are the bytes.
    const bool ascii = std::none_of(
        scan.Text.cbegin(), scan.Text.cend(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    qint64 cur = 0, prev = 0;
    qint32 lineNumber = 0;
    ForEachUtf8Line(scan.Text, [&](QByteArrayView line) {
        ++lineNumber;
        if (IsToolChangeUtf8(line)) {
            scan.Rows.append({ QString::fromUtf8("Satır %1, bayt %2: %3")
                                   .arg(lineNumber)
                                   .arg(cur)
                                   .arg(QString::fromUtf8(TrimLowUtf8(line))),
                lineNumber });
            scan.Candidates.append({ lineNumber, lineNumber > 1 ? prev : cur });
        }
        prev = cur;
        cur += (ascii ? line.size() : Utf16Length(line)) + lineBreakLength;
    });
    return scan;
}

TToolChangeScan ScanToolChangeLines(const QStringList& lines, int lineBreakLength)
{
    QByteArray text = JoinUtf8Lines(lines, TLineBreakStyle::Lf);
    if (!lines.isEmpty() && lines.last().isEmpty())
        text.append('\n'); // a last empty line is a line of its own here
    TToolChangeScan scan = ScanToolChangeText(text, lineBreakLength);
    scan.Lines = scan.LinesRewritten ? SplitUtf8Lines(scan.Text) : lines;
    return scan;
}
