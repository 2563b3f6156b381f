#pragma once
// The editor's text as one UTF-8 buffer: lines joined by the shown line break,
// none after the last line. A file becomes that text in one pass over its
// bytes (decoding, word spaces and line breaks together), and the text is read
// line by line as views into the buffer, so that no string per line is built
// unless something needs one.
#include "TextDocument.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <cstring>

struct TEditorText {
    QByteArray Utf8;
    TTextEncoding Encoding = TTextEncoding::Ansi;
    bool HasByteOrderMark = false;
    TLineBreakStyle LineBreak = TLineBreakStyle::CrLf; // the file's style
    bool TrailingLineBreak = false;
};

// The line break the editor shows for a style: U+2028 is not a line end to
// the editor, so such documents show with CR LF (and are saved with U+2028).
TLineBreakStyle ShownLineBreak(TLineBreakStyle style);

// A file's bytes as the editor shows them, with word spaces inserted when asked.
// The file's lines once decoded (split at CR LF, lone CR, lone LF and
// U+2028), each through InsertWordSpaces, joined by the shown break.
TEditorText ReadEditorText(const QByteArray& bytes, bool wordSpaces);

// The line breaks met in a text, and the style they make.
struct TLineBreaksSeen {
    bool CrLf = false, LoneCr = false, LoneLf = false, Separator = false;

    TLineBreakStyle Style() const;
    // Whether every break is already written as the style shows it.
    bool AllShownAs(TLineBreakStyle shown) const;
};

// ReadEditorText in pieces, so that one piece can go into the editor while
// the next is decoded. Each piece holds whole lines with their breaks, cut
// after the first break past the size asked for; the last piece ends without
// the file's trailing break. Joined, the pieces are ReadEditorText's text
// whenever PiecesAreText() holds once all are read; otherwise the file's
// breaks differ from the shown one and its lines must be joined anew.
// Bytes the reader alone holds are given back to the system as they are read,
// so that the file and the text are not held whole side by side.
class TEditorTextReader {
public:
    TEditorTextReader(QByteArray bytes, bool wordSpaces);

    bool AtEnd() const { return FNext >= FSource.size(); }
    // The next piece, from about that many bytes of the file; a buffer handed
    // in has its room used again.
    QByteArray Next(qsizetype sourceBytes, QByteArray buffer = {});
    // Encoding, mark and breaks (complete once all is read); Utf8 stays empty.
    const TEditorText& Facts() const { return FFacts; }
    bool PiecesAreText() const;
    // About the whole text's size (a little more), from samples across it.
    qsizetype EstimatedTextSize() const;

private:
    qsizetype PieceEnd(qsizetype from, qsizetype want) const; // just past a line break
    void ReleaseRead();

    QByteArray FBytes;
    TEditorText FFacts;
    QByteArray FConverted; // the source when it had to be decoded first
    QByteArrayView FSource;
    bool FAnsi = false;
    const bool FWordSpaces;
    qsizetype FNext = 0;
    qsizetype FReleased = 0; // bytes of the source given back
    TLineBreaksSeen FSeen;
};

// Calls line(QByteArrayView) for every line of a UTF-8 text split at CR LF,
// lone CR, lone LF and U+2028; a break at the very end opens no empty line.
template <typename F> void ForEachUtf8Line(QByteArrayView text, F&& line)
{
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const qsizetype size = text.size();
    qsizetype start = 0;
    if (!text.contains('\r') && !text.contains('\xE2')) {
        // LF alone: each line end is found by memchr.
        while (start < size) {
            const auto* lf = static_cast<const unsigned char*>(std::memchr(p + start, '\n', size_t(size - start)));
            const qsizetype end = lf ? lf - p : size;
            line(text.sliced(start, end - start));
            start = end + 1;
        }
        return;
    }
    for (qsizetype i = 0; i < size; ++i) {
        const unsigned char c = p[i];
        if (c > '\r' && c != 0xE2)
            continue;
        qsizetype breakLength;
        if (c == '\n')
            breakLength = 1;
        else if (c == '\r')
            breakLength = (i + 1 < size && p[i + 1] == '\n') ? 2 : 1;
        else if (c == 0xE2 && i + 2 < size && p[i + 1] == 0x80 && p[i + 2] == 0xA8)
            breakLength = 3;
        else
            continue;
        line(text.sliced(start, i - start));
        i += breakLength - 1;
        start = i + 1;
    }
    if (start < size)
        line(text.sliced(start));
}

// Characters of the line as the editor counts them (UTF-16 units).
qsizetype Utf16Length(QByteArrayView utf8);
bool IsAsciiUtf8(QByteArrayView utf8); // no byte of 0x80 or more
bool IsBlankUtf8(QByteArrayView utf8); // only characters of code 32 or less

// Lines joined by a break, none after the last.
QByteArray JoinUtf8Lines(const QStringList& lines, TLineBreakStyle style);
QByteArray JoinUtf8Lines(QByteArrayView text, QByteArrayView lineBreak); // the text's lines, joined anew
QStringList SplitUtf8Lines(QByteArrayView text);
qsizetype Utf8LineCount(QByteArrayView text); // the lines SplitUtf8Lines gives, counted
