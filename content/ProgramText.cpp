#include "ProgramText.h"

#include "CodePage.h"
#include "EditorText.h"
#include "LargeBuffer.h"
#include "TextDocument.h"
#include "TextUtil.h"
#include "WordSpaces.h"

#include <algorithm>

QChar FoldTurkishLetter(QChar ch)
{
    switch (ch.unicode()) {
    case 0x00C7:
    case 0x00E7:
        return u'C';
    case 0x011E:
    case 0x011F:
        return u'G';
    case 0x0130:
    case 0x0131:
        return u'I';
    case 0x00D6:
    case 0x00F6:
        return u'O';
    case 0x015E:
    case 0x015F:
        return u'S';
    case 0x00DC:
    case 0x00FC:
        return u'U';
    default:
        return ch;
    }
}

QString AsciiUpperCase(QStringView text)
{
    QString result = text.toString();
    for (QChar& c : result)
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - 32);
    return result;
}

QString JoinCrLf(const QStringList& lines)
{
    return JoinTextLines(lines, TLineBreakStyle::CrLf, true);
}

QString SplitPercentLines(QStringView text, bool keepPercentLines)
{
    QStringList result;
    for (const QString& line : SplitTextLines(text)) {
        if (keepPercentLines && TrimLeftLow(line).startsWith(u'%')) {
            result.append(line);
            continue;
        }
        const qsizetype p = line.indexOf(u'%');
        if (p >= 0 && TrimLow(line) != u"%") {
            const QStringView before = TrimLow(QStringView(line).left(p));
            const QStringView after = TrimLow(QStringView(line).mid(p + 1));
            if (!before.isEmpty())
                result.append(before.toString());
            result.append(QStringLiteral("%"));
            if (!after.isEmpty())
                result.append(after.toString());
            continue;
        }
        result.append(line);
    }
    return JoinCrLf(result);
}

namespace {

// Whether any ASCII letter follows a digit or '.': without one nothing is inserted.
bool MayNeedWordSpaces(QStringView text)
{
    const char16_t* p = text.utf16();
    for (qsizetype i = 1; i < text.size(); ++i) {
        const char16_t c = p[i] | 0x20;
        if (c >= 'a' && c <= 'z') {
            const char16_t before = p[i - 1];
            if ((before >= '0' && before <= '9') || before == '.')
                return true;
        }
    }
    return false;
}

} // namespace

QString InsertWordSpaces(const QString& text)
{
    if (!MayNeedWordSpaces(text))
        return text; // shared, not copied
    return InsertWordSpaces(QStringView(text));
}

QString InsertWordSpaces(QStringView text)
{
    // At most one space per character: write into a buffer of twice the size.
    QString result(text.size() * 2, Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(result.data());
    TWordSpacer spacer;
    for (const QChar ch : text) {
        const char16_t c = ch.unicode();
        if (spacer.SpaceBefore(c))
            *out++ = u' ';
        *out++ = c;
    }
    result.truncate(out - reinterpret_cast<const char16_t*>(result.constData()));
    return result;
}

namespace {

QByteArrayView TrimLeftLowUtf8(QByteArrayView s)
{
    while (!s.isEmpty() && static_cast<unsigned char>(s.front()) <= 32)
        s = s.sliced(1);
    return s;
}

QByteArrayView TrimRightLowUtf8(QByteArrayView s)
{
    while (!s.isEmpty() && static_cast<unsigned char>(s.back()) <= 32)
        s.chop(1);
    return s;
}

QByteArrayView TrimLowUtf8(QByteArrayView s)
{
    return TrimRightLowUtf8(TrimLeftLowUtf8(s));
}

// The line's Turkish letters folded and ASCII letters in upper case, written
// at o; returns the end of what was written (never longer than the line).
char* FoldUpperUtf8(QByteArrayView line, char* o)
{
    const auto* in = reinterpret_cast<const unsigned char*>(line.data());
    const qsizetype size = line.size();
    for (qsizetype i = 0; i < size; ++i) {
        const unsigned char b = in[i];
        if (b < 0x80) {
            *o++ = char(b >= 'a' && b <= 'z' ? b - 32 : b);
            continue;
        }
        // Every Turkish letter is two bytes, C3..C5 and one more.
        if (b >= 0xC3 && b <= 0xC5 && i + 1 < size) {
            const char16_t c = char16_t(((b & 0x1F) << 6) | (in[i + 1] & 0x3F));
            const QChar folded = FoldTurkishLetter(QChar(c));
            if (folded.unicode() != c) {
                *o++ = char(folded.unicode());
                ++i;
                continue;
            }
        }
        *o++ = char(b);
    }
    return o;
}

// The upload's '%' rule on one line, each resulting line followed by CR LF.
void AppendPercentSplit(QByteArrayView line, bool keepPercentLines, QByteArray& out)
{
    const auto put = [&](QByteArrayView piece) {
        out.append(piece);
        out.append("\r\n");
    };
    if (keepPercentLines && TrimLeftLowUtf8(line).startsWith('%'))
        return put(line);
    const qsizetype p = line.indexOf('%');
    if (p < 0 || TrimLowUtf8(line) == "%")
        return put(line);
    const QByteArrayView before = TrimLowUtf8(line.first(p));
    const QByteArrayView after = TrimLowUtf8(line.sliced(p + 1));
    if (!before.isEmpty())
        put(before);
    put("%");
    if (!after.isEmpty())
        put(after);
}

} // namespace

QByteArray NormalizeTextForUpload(QByteArrayView text, bool keepPercentLines)
{
    QByteArray out;
    out.reserve(text.size() + text.size() / 16 + 16);
    AdviseHugePages(out);
    QByteArray folded;
    bool first = true, lastEndsWithPercent = true;
    ForEachUtf8Line(text, [&](QByteArrayView line) {
        if (IsBlankUtf8(line))
            return;
        // Folded straight into the output with its CR LF; a line holding a
        // '%' (and the first line) is taken back and goes through the rules.
        const qsizetype at = out.size();
        out.resize(at + line.size() + 2);
        char* const begin = out.data() + at;
        char* end = FoldUpperUtf8(line, begin);
        const QByteArrayView written(begin, end - begin);
        lastEndsWithPercent = TrimRightLowUtf8(written).endsWith('%');
        if (!first && !written.contains('%')) {
            *end++ = '\r';
            *end++ = '\n';
            out.truncate(end - out.constData());
            return;
        }
        folded = written.toByteArray();
        out.truncate(at);
        if (first && !TrimLeftLowUtf8(folded).startsWith('%'))
            AppendPercentSplit("%", keepPercentLines, out);
        first = false;
        AppendPercentSplit(folded, keepPercentLines, out);
    });
    if (first)
        AppendPercentSplit("%", keepPercentLines, out);
    else if (!lastEndsWithPercent)
        AppendPercentSplit("%", keepPercentLines, out);
    out.chop(2); // the editor holds no break after the last line
    return out;
}

QByteArray UploadBytesOfText(QByteArrayView text)
{
    QByteArray bytes;
    const bool ascii = IsAsciiUtf8(text);
    bytes.reserve(text.size() + 2);
    AdviseHugePages(bytes);
    if (ascii) {
        bytes.append(text);
    } else {
        // Never longer than the text: a character of four bytes gives two.
        bytes.resize(text.size());
        char* out = bytes.data();
        for (const char ch : text) {
            const auto b = static_cast<unsigned char>(ch);
            if (b < 0x80) {
                *out++ = ch;
            } else if ((b & 0xC0) != 0x80) {
                *out++ = '?'; // one per UTF-16 unit
                if (b >= 0xF0)
                    *out++ = '?';
            }
        }
        bytes.truncate(out - bytes.data());
    }
    bytes.append("\r\n");
    return bytes;
}
