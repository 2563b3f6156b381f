#include "EditorText.h"

#include "CodePage.h"
#include "LargeBuffer.h"
#include "WordSpaces.h"

#include <QUtf8StringView>

#include <algorithm>

namespace {

// Writes the UTF-8 form of a BMP character.
char* PutUtf8(char* out, char16_t c)
{
    if (c < 0x80) {
        *out++ = char(c);
    } else if (c < 0x800) {
        *out++ = char(0xC0 | (c >> 6));
        *out++ = char(0x80 | (c & 0x3F));
    } else {
        *out++ = char(0xE0 | (c >> 12));
        *out++ = char(0x80 | ((c >> 6) & 0x3F));
        *out++ = char(0x80 | (c & 0x3F));
    }
    return out;
}

struct TBreaksSeen {
    bool CrLf = false, LoneCr = false, LoneLf = false, Separator = false;

    TLineBreakStyle Style() const
    {
        const bool cr = CrLf || LoneCr, lf = CrLf || LoneLf;
        if (Separator)
            return TLineBreakStyle::LineSeparator;
        if (cr && !lf)
            return TLineBreakStyle::Cr;
        if (lf && !cr)
            return TLineBreakStyle::Lf;
        return TLineBreakStyle::CrLf;
    }
    // Whether every break is already written as the style shows it.
    bool AllShownAs(TLineBreakStyle shown) const
    {
        return !Separator && (shown != TLineBreakStyle::CrLf || (!LoneCr && !LoneLf));
    }
};

// The pass itself: source is UTF-8, or with ansi set one byte per character
// in the code page. Breaks are copied as they are; the caller joins the lines
// anew in the rare text whose breaks differ from the shown one.
QByteArray DecodePass(QByteArrayView source, bool ansi, bool wordSpaces, TBreaksSeen& seen)
{
    const auto* in = reinterpret_cast<const unsigned char*>(source.data());
    const qsizetype size = source.size();
    qsizetype high = 0;
    if (ansi)
        high = std::count_if(in, in + size, [](unsigned char b) { return b >= 0x80; });
    // At most one blank per character, three bytes for a code-page letter; pages
    // of the buffer never written are never touched.
    QByteArray text((wordSpaces ? 2 * size : size) + 2 * high, Qt::Uninitialized);
    AdviseHugePages(text);
    char* const begin = text.data();
    char* out = begin;
    TWordSpacer spacer;
    const char16_t* table = ansi && high > 0 ? AnsiToUnicodeTable() : nullptr;
    for (qsizetype i = 0; i < size; ++i) {
        const unsigned char b = in[i];
        if (b == '\n' || b == '\r') {
            if (b == '\r' && i + 1 < size && in[i + 1] == '\n') {
                seen.CrLf = true;
                *out++ = '\r';
                ++i;
            } else {
                (b == '\r' ? seen.LoneCr : seen.LoneLf) = true;
            }
            *out++ = char(in[i]);
            spacer.NewLine();
            continue;
        }
        if (b == 0xE2 && !ansi && i + 2 < size && in[i + 1] == 0x80 && in[i + 2] == 0xA8) {
            seen.Separator = true;
            out = std::copy(in + i, in + i + 3, out);
            i += 2;
            spacer.NewLine();
            continue;
        }
        const char16_t c = (table && b >= 0x80) ? table[b] : char16_t(b);
        if (wordSpaces && spacer.SpaceBefore(c))
            *out++ = ' ';
        if (table && b >= 0x80)
            out = PutUtf8(out, c);
        else
            *out++ = char(b);
    }
    text.truncate(out - begin);
    return text;
}

} // namespace

TLineBreakStyle ShownLineBreak(TLineBreakStyle style)
{
    return style == TLineBreakStyle::LineSeparator ? TLineBreakStyle::CrLf : style;
}

TEditorText ReadEditorText(const QByteArray& bytes, bool wordSpaces)
{
    TEditorText result;
    result.Encoding = DetectEncoding(bytes, result.HasByteOrderMark);
    QByteArrayView source(bytes);
    QByteArray converted;
    bool ansi = false;
    switch (result.Encoding) {
    case TTextEncoding::Ansi:
        ansi = true;
        break;
    case TTextEncoding::Utf8:
        source = source.sliced(result.HasByteOrderMark ? 3 : 0);
        // Valid UTF-8 already is the editor's text; anything else is decoded
        // (U+FFFD for each bad sequence) and written anew.
        if (!QUtf8StringView(source).isValidUtf8()) {
            converted = QString::fromUtf8(source).toUtf8();
            source = converted;
        }
        break;
    case TTextEncoding::Utf16LE:
    case TTextEncoding::Utf16BE:
        converted = DecodeText(bytes, result.Encoding, result.HasByteOrderMark).toUtf8();
        source = converted;
        break;
    }
    TBreaksSeen seen;
    result.Utf8 = DecodePass(source, ansi, wordSpaces, seen);
    converted.clear();
    result.LineBreak = seen.Style();
    const QByteArray& t = result.Utf8;
    result.TrailingLineBreak = t.endsWith('\n') || t.endsWith('\r') || t.endsWith("\xE2\x80\xA8");
    const TLineBreakStyle shown = ShownLineBreak(result.LineBreak);
    if (!seen.AllShownAs(shown)) {
        result.Utf8 = JoinUtf8Lines(result.Utf8, LineBreakText(shown).toUtf8());
    } else if (result.TrailingLineBreak) {
        // The editor holds no break after the last line.
        result.Utf8.truncate(t.size() - (t.endsWith("\r\n") ? 2 : 1));
    }
    return result;
}

qsizetype Utf16Length(QByteArrayView utf8)
{
    qsizetype units = 0;
    for (const char ch : utf8) {
        const auto b = static_cast<unsigned char>(ch);
        units += (b & 0xC0) != 0x80; // one per sequence start
        units += b >= 0xF0; // and a second for a character outside the BMP
    }
    return units;
}

bool IsBlankUtf8(QByteArrayView utf8)
{
    return std::all_of(utf8.begin(), utf8.end(), [](char c) { return static_cast<unsigned char>(c) <= 32; });
}

QByteArray JoinUtf8Lines(const QStringList& lines, TLineBreakStyle style)
{
    const QByteArray lineBreak = LineBreakText(style).toUtf8();
    QByteArray text;
    qsizetype total = 0;
    for (const QString& line : lines)
        total += line.size() + lineBreak.size();
    text.reserve(total);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i > 0)
            text += lineBreak;
        text += lines[i].toUtf8();
    }
    return text;
}

QByteArray JoinUtf8Lines(QByteArrayView text, QByteArrayView lineBreak)
{
    QByteArray joined;
    joined.reserve(text.size() + text.size() / 8);
    bool first = true;
    ForEachUtf8Line(text, [&](QByteArrayView line) {
        if (!first)
            joined.append(lineBreak);
        joined.append(line);
        first = false;
    });
    return joined;
}

QStringList SplitUtf8Lines(QByteArrayView text)
{
    QStringList lines;
    ForEachUtf8Line(text, [&](QByteArrayView line) { lines.append(QString::fromUtf8(line)); });
    return lines;
}
