#include "ToolChangeScanner.h"

#include "EditorText.h"
#include "Regex.h"
#include "TextUtil.h"

#include <QStringDecoder>

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

// \b of the patterns: they see only ASCII letters, digits and '_' as word
// characters, so every byte of a UTF-8 sequence is a non-word character, as
// its code units are in UTF-16.
bool IsWordByte(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

bool IsDigitByte(char c)
{
    return c >= '0' && c <= '9';
}

// "\bT\d+\b" on the bytes.
bool HasToolWordUtf8(QByteArrayView line)
{
    const qsizetype n = line.size();
    for (qsizetype i = line.indexOf('T'); i >= 0; i = line.indexOf('T', i + 1)) {
        if ((i > 0 && IsWordByte(line[i - 1])) || i + 1 >= n || !IsDigitByte(line[i + 1]))
            continue;
        qsizetype j = i + 1;
        while (j < n && IsDigitByte(line[j]))
            ++j;
        if (j == n || !IsWordByte(line[j]))
            return true;
    }
    return false;
}

// "\bM0*6\b" on the bytes.
bool HasToolChangeWordUtf8(QByteArrayView line)
{
    const qsizetype n = line.size();
    for (qsizetype i = line.indexOf('M'); i >= 0; i = line.indexOf('M', i + 1)) {
        if (i > 0 && IsWordByte(line[i - 1]))
            continue;
        qsizetype j = i + 1;
        while (j < n && line[j] == '0')
            ++j;
        if (j < n && line[j] == '6' && (j + 1 == n || !IsWordByte(line[j + 1])))
            return true;
    }
    return false;
}

bool AnyBlankUtf8Line(QByteArrayView text)
{
    bool any = false;
    ForEachUtf8Line(text, [&](QByteArrayView line) { any = any || IsBlankUtf8(line); });
    return any;
}

} // namespace

// "Satır %1, bayt %2: %3" made in one allocation: the line may be many MiB.
QByteArray ToolChangeRowPrefix(qint32 lineNumber, qint64 offset)
{
    return QString::fromUtf8("Satır %1, bayt %2: ").arg(lineNumber).arg(offset).toUtf8();
}

QString ToolChangeRowText(qint32 lineNumber, qint64 offset, QByteArrayView line)
{
    const QString prefix = QString::fromUtf8(ToolChangeRowPrefix(lineNumber, offset));
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text(prefix.size() + decoder.requiredSpace(line.size()), Qt::Uninitialized);
    std::copy(prefix.cbegin(), prefix.cend(), text.begin());
    const QChar* end = decoder.appendToBuffer(text.data() + prefix.size(), line);
    text.truncate(end - text.constData());
    return text;
}

qsizetype DecimalWidth(qint64 value)
{
    qsizetype width = value < 0 ? 2 : 1;
    for (quint64 rest = value < 0 ? 0 - quint64(value) : quint64(value); rest >= 10; rest /= 10)
        ++width;
    return width;
}

void TToolChangeRows::Append(qint32 lineNumber, qint64 offset, QByteArrayView trimmedLine)
{
    qsizetype length = trimmedLine.size();
    if (length > MaxLineBytes) {
        length = MaxLineBytes;
        while (length > 0 && (static_cast<unsigned char>(trimmedLine[length]) & 0xC0) == 0x80)
            --length; // the cut falls before a character, not inside it
    }
    FRows.append({ offset, FLines.size(), lineNumber, qint32(length) });
    FLines.append(trimmedLine.first(length));
}

void TToolChangeRows::clear()
{
    FRows.clear();
    FLines.clear();
}

QString TToolChangeRows::Text(qsizetype row) const
{
    return ToolChangeRowText(FRows[row].LineNumber, FRows[row].Offset, Line(row));
}

qsizetype TToolChangeRows::TextLength(qsizetype row) const
{
    // "Satır " and ", bayt " and ": " around the two numbers.
    constexpr qsizetype Fixed = 6 + 7 + 2;
    const QByteArrayView line = Line(row);
    return Fixed + DecimalWidth(FRows[row].LineNumber) + DecimalWidth(FRows[row].Offset)
        + (IsAsciiUtf8(line) ? line.size() : Utf16Length(line));
}

bool IsToolChangeLineUtf8(QByteArrayView line)
{
    return HasToolWordUtf8(line) && HasToolChangeWordUtf8(line);
}

TToolChangeScanner::TToolChangeScanner(int lineBreakLength)
    : FLineBreakLength(lineBreakLength)
{
}

void TToolChangeScanner::AddLines(QByteArrayView lines)
{
    // Offsets count UTF-16 units; in ASCII lines those are the bytes.
    const bool ascii = IsAsciiUtf8(lines);
    ForEachUtf8Line(lines, [&](QByteArrayView line) {
        if (IsBlankUtf8(line)) {
            ++FBlankLines;
            return;
        }
        if (IsProgramNumberUtf8(line))
            ++FProgramNumbers;
        ++FLineNumber;
        if (IsToolChangeLineUtf8(line)) {
            FRows.Append(FLineNumber, FOffset, TrimLowUtf8(line));
            FCandidates.append({ FLineNumber, FLineNumber > 1 ? FPreviousOffset : FOffset });
        }
        FPreviousOffset = FOffset;
        FOffset += (ascii ? line.size() : Utf16Length(line)) + FLineBreakLength;
    });
}

TToolChangeScan TToolChangeScanner::Result() const
{
    TToolChangeScan scan;
    scan.LinesRewritten = FBlankLines > 0;
    scan.MultipleProgramNumbers = FProgramNumbers >= 2;
    if (!scan.MultipleProgramNumbers) {
        scan.Rows = FRows;
        scan.Candidates = FCandidates;
    }
    return scan;
}

void ForEachToolChangeHit(
    QByteArrayView text, int lineBreakLength, const std::function<bool(const TToolChangeHit&)>& onHit)
{
    // A first pass decides what the scan of the whole text would: blank
    // lines dropped (the break is then CR LF), or a multi-program text.
    bool anyBlank = false;
    int programNumbers = 0;
    ForEachUtf8Line(text, [&](QByteArrayView line) {
        if (IsBlankUtf8(line))
            anyBlank = true;
        else if (IsProgramNumberUtf8(line))
            ++programNumbers;
    });
    if (programNumbers >= 2)
        return;
    const int breakLength = anyBlank ? 2 : lineBreakLength;
    const bool ascii = IsAsciiUtf8(text);
    qint32 lineNumber = 0;
    qint64 offset = 0, previousOffset = 0;
    bool going = true;
    ForEachUtf8Line(text, [&](QByteArrayView line) {
        if (!going || IsBlankUtf8(line))
            return;
        ++lineNumber;
        if (IsToolChangeLineUtf8(line))
            going = onHit({ lineNumber, offset, lineNumber > 1 ? previousOffset : offset, TrimLowUtf8(line) });
        previousOffset = offset;
        offset += (ascii ? line.size() : Utf16Length(line)) + breakLength;
    });
}

QByteArray DropBlankLines(QByteArrayView text)
{
    QByteArray kept;
    kept.reserve(text.size());
    ForEachUtf8Line(text, [&](QByteArrayView line) {
        if (IsBlankUtf8(line))
            return;
        if (!kept.isEmpty())
            kept.append("\r\n");
        kept.append(line);
    });
    return kept;
}

TToolChangeScan ScanToolChangeText(const QByteArray& text, int lineBreakLength)
{
    // Blank lines are dropped, and the text's break is CR LF from then on;
    // without any the text is taken as it is.
    const bool anyBlank = AnyBlankUtf8Line(text);
    TToolChangeScanner scanner(anyBlank ? 2 : lineBreakLength);
    const QByteArray kept = anyBlank ? DropBlankLines(text) : text;
    scanner.AddLines(kept);
    TToolChangeScan scan = scanner.Result();
    scan.LinesRewritten = anyBlank;
    scan.Text = kept;
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
