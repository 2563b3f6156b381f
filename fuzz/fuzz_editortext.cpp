// The one-pass reader the editor opens files with, held against the reference
// reader: ReadEditorText gives ReadTextDocument's lines (each through
// InsertWordSpaces when asked) joined by the shown line break, with the same
// encoding, mark and breaks; TEditorTextReader's pieces, joined, give the same
// text whenever it says they do.
#include "content/EditorText.h"
#include "content/ProgramText.h"
#include "content/TextDocument.h"
#include "tests/support/ReferencePaths.h"

namespace {

QByteArray WithoutMarks(QByteArray text)
{
    return text.replace("\xEF\xBB\xBF", "");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte chooses word spaces and the piece size; the rest is the file.
    const bool wordSpaces = data[0] & 1;
    const qsizetype pieceBytes = 1 + (data[0] >> 1);
    const QByteArray bytes = QByteArray(reinterpret_cast<const char*>(data) + 1, qsizetype(size) - 1);

    const TTextDocument reference = ReadTextDocument(bytes);
    QStringList lines = reference.Lines;
    if (wordSpaces)
        for (QString& line : lines)
            line = InsertWordSpaces(line);
    const TEditorText text = ReadEditorText(bytes, wordSpaces);
    if (text.Encoding != reference.Encoding || text.HasByteOrderMark != reference.HasByteOrderMark
        || text.LineBreak != reference.LineBreak || text.TrailingLineBreak != reference.TrailingLineBreak)
        __builtin_trap();
    // Byte order marks after the first are where the readers may differ (the
    // reference drops one that directly follows the first); nothing else is.
    if (WithoutMarks(text.Utf8) != WithoutMarks(JoinUtf8Lines(lines, ShownLineBreak(reference.LineBreak))))
        __builtin_trap();

    TEditorTextReader reader(bytes, wordSpaces);
    QByteArray joined;
    while (!reader.AtEnd())
        joined += reader.Next(pieceBytes);
    if (reader.Facts().Encoding != text.Encoding || reader.Facts().LineBreak != text.LineBreak
        || reader.Facts().TrailingLineBreak != text.TrailingLineBreak)
        __builtin_trap();
    if (reader.PiecesAreText() && joined != text.Utf8)
        __builtin_trap();
    if (!reader.PiecesAreText()
        && JoinUtf8Lines(joined, LineBreakText(ShownLineBreak(text.LineBreak)).toUtf8()) != text.Utf8)
        __builtin_trap();
    return 0;
}
