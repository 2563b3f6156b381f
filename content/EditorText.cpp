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

// The pass itself: source is UTF-8, or with ansi set one byte per character
// in the code page. Breaks are copied as they are; the caller joins the lines
// anew in the rare text whose breaks differ from the shown one.
QByteArray DecodePass(QByteArrayView source, bool ansi, bool wordSpaces, TLineBreaksSeen& seen, QByteArray text)
{
    const auto* in = reinterpret_cast<const unsigned char*>(source.data());
    const qsizetype size = source.size();
    qsizetype high = 0;
    if (ansi)
        high = std::count_if(in, in + size, [](unsigned char b) { return b >= 0x80; });
    // At most one blank per character, three bytes for a code-page letter; pages
    // of the buffer never written are never touched. A buffer handed in is
    // written over, its room used again.
    const qsizetype room = (wordSpaces ? 2 * size : size) + 2 * high;
    if (text.capacity() < room || !text.isDetached())
        text = QByteArray();
    text.resize(room);
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

TLineBreakStyle TLineBreaksSeen::Style() const
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

bool TLineBreaksSeen::AllShownAs(TLineBreakStyle shown) const
{
    return !Separator && (shown != TLineBreakStyle::CrLf || (!LoneCr && !LoneLf));
}

TEditorTextReader::TEditorTextReader(QByteArray file, bool wordSpaces)
    : FBytes(std::move(file))
    , FWordSpaces(wordSpaces)
{
    const QByteArray& bytes = FBytes;
    FFacts.Encoding = DetectEncoding(bytes, FFacts.HasByteOrderMark);
    FSource = bytes;
    switch (FFacts.Encoding) {
    case TTextEncoding::Ansi:
        FAnsi = true;
        break;
    case TTextEncoding::Utf8:
        FSource = FSource.sliced(FFacts.HasByteOrderMark ? 3 : 0);
        // Valid UTF-8 already is the editor's text; anything else is decoded
        // (U+FFFD for each bad sequence) and written anew.
        if (!QUtf8StringView(FSource).isValidUtf8()) {
            FConverted = QString::fromUtf8(FSource).toUtf8();
            FSource = FConverted;
        }
        break;
    case TTextEncoding::Utf16LE:
    case TTextEncoding::Utf16BE:
        FConverted = DecodeText(bytes, FFacts.Encoding, FFacts.HasByteOrderMark).toUtf8();
        FSource = FConverted;
        break;
    }
    if (!FConverted.isEmpty())
        FBytes.clear();
    FFacts.LineBreak = FSeen.Style();
}

qsizetype TEditorTextReader::PieceEnd(qsizetype from, qsizetype want) const
{
    const auto* in = reinterpret_cast<const unsigned char*>(FSource.data());
    const qsizetype size = FSource.size();
    if (want >= size - from)
        return size;
    // Just past the first line break that ends at or after the wanted size; a
    // CR LF or U+2028 is never cut.
    for (qsizetype i = from + qMax<qsizetype>(want, 1) - 1; i < size; ++i) {
        const unsigned char b = in[i];
        if (b == '\n')
            return i + 1;
        if (b == '\r')
            return (i + 1 < size && in[i + 1] == '\n') ? i + 2 : i + 1;
        if (b == 0xE2 && !FAnsi && i + 2 < size && in[i + 1] == 0x80 && in[i + 2] == 0xA8)
            return i + 3;
    }
    return size;
}

QByteArray TEditorTextReader::Next(qsizetype sourceBytes, QByteArray buffer)
{
    const qsizetype end = PieceEnd(FNext, sourceBytes);
    QByteArray piece = DecodePass(FSource.sliced(FNext, end - FNext), FAnsi, FWordSpaces, FSeen, std::move(buffer));
    FNext = end;
    ReleaseRead();
    FFacts.LineBreak = FSeen.Style();
    if (AtEnd()) {
        FFacts.TrailingLineBreak = piece.endsWith('\n') || piece.endsWith('\r') || piece.endsWith("\xE2\x80\xA8");
        // The editor holds no break after the last line.
        if (PiecesAreText() && FFacts.TrailingLineBreak)
            piece.truncate(piece.size() - (piece.endsWith("\r\n") ? 2 : 1));
    }
    return piece;
}

void TEditorTextReader::ReleaseRead()
{
    // Only a file the reader alone holds: nobody reads those bytes again.
    if (FBytes.isEmpty() || !FBytes.isDetached())
        return;
    const auto begin = reinterpret_cast<std::uintptr_t>(FSource.data());
    // Whole steps only, on their boundaries, where a huge page goes back as
    // one; the first, which also holds the buffer's header, is never given back.
    constexpr std::uintptr_t Step = LargeBufferReleaseStep;
    const std::uintptr_t from = (begin + FReleased + Step - 1) & ~(Step - 1);
    const std::uintptr_t to = (begin + FNext) & ~(Step - 1);
    if (to > from) {
        ReleasePages(reinterpret_cast<void*>(from), to - from);
        FReleased = qsizetype(to - begin);
    }
}

bool TEditorTextReader::PiecesAreText() const
{
    return FSeen.AllShownAs(ShownLineBreak(FSeen.Style()));
}

qsizetype TEditorTextReader::EstimatedTextSize() const
{
    // Lines from across the file decoded for a count: a program's start
    // (header, comments) grows differently from its body. A little more than
    // they promise: too little room makes the editor move the whole text
    // into a larger buffer.
    constexpr int Samples = 16;
    constexpr qsizetype SampleBytes = 16 * 1024;
    const qsizetype size = FSource.size();
    qsizetype in = 0, out = 0;
    for (int i = 0; i < Samples && in < size; ++i) {
        const qsizetype from = i == 0 ? 0 : PieceEnd(size / Samples * i, 1); // a line's start
        // A sample stops within its bytes even inside a line: one line of
        // many MiB would otherwise be decoded whole for a count.
        const qsizetype to = std::min(PieceEnd(from, SampleBytes), std::min(size, from + SampleBytes));
        TLineBreaksSeen seen;
        out += DecodePass(FSource.sliced(from, to - from), FAnsi, FWordSpaces, seen, {}).size();
        in += to - from;
    }
    if (in == 0)
        return 0;
    return qsizetype(double(size) * double(out) / double(in) * 1.03) + 4096;
}

TEditorText ReadEditorText(const QByteArray& bytes, bool wordSpaces)
{
    QByteArray text;
    TEditorText result;
    bool joinAnew = false;
    {
        TEditorTextReader reader(bytes, wordSpaces);
        // A source decoded first (invalid UTF-8 made U+FFFD, ANSI made UTF-8)
        // is longer than the file: one piece of the file's size is not all of it.
        text = reader.Next(bytes.size());
        while (!reader.AtEnd())
            text += reader.Next(bytes.size());
        result = reader.Facts();
        joinAnew = !reader.PiecesAreText();
    } // a converted source is released before the lines are joined anew
    result.Utf8
        = joinAnew ? JoinUtf8Lines(text, LineBreakText(ShownLineBreak(result.LineBreak)).toUtf8()) : std::move(text);
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

bool IsAsciiUtf8(QByteArrayView utf8)
{
    // Eight bytes at a time: a text of tens of MiB is checked in a few ms.
    const char* p = utf8.data();
    const qsizetype size = utf8.size();
    qsizetype i = 0;
    for (; i + 8 <= size; i += 8) {
        quint64 word;
        std::memcpy(&word, p + i, 8);
        if (word & 0x8080808080808080ULL)
            return false;
    }
    for (; i < size; ++i)
        if (static_cast<unsigned char>(p[i]) >= 0x80)
            return false;
    return true;
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

qsizetype Utf8LineCount(QByteArrayView text)
{
    qsizetype lines = 0;
    ForEachUtf8Line(text, [&](QByteArrayView) { ++lines; });
    return lines;
}

QStringList SplitUtf8Lines(QByteArrayView text)
{
    QStringList lines;
    ForEachUtf8Line(text, [&](QByteArrayView line) { lines.append(QString::fromUtf8(line)); });
    return lines;
}
