// Find, replace and renumber over any bytes: the first byte picks the options,
// the bytes up to the first line feed are the pattern, the rest is the text
// (not always valid UTF-8). Every match lies in the text, replace all
// accounts for every byte it keeps, and renumbering changes only N words.
#include "content/BlockRenumber.h"
#include "content/TextSearch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));
    const qsizetype split = bytes.indexOf('\n');
    const QByteArray pattern = split < 0 ? bytes : bytes.left(split);
    const QByteArray text = split < 0 ? QByteArray() : bytes.mid(split + 1);
    const TTextSearch search({ QString::fromUtf8(pattern), bool(data[0] & 1), bool(data[0] & 2), bool(data[0] & 4) });

    const qsizetype count = search.CountMatches(text);
    const TReplaceAllResult replaced = search.ReplaceAll(text, "<$1>");
    if (replaced.Count != count || replaced.SpanStart < 0 || replaced.SpanEnd > text.size()
        || replaced.SpanStart > replaced.SpanEnd)
        __builtin_trap();
    for (qsizetype from : { qsizetype(0), text.size() / 2, text.size() }) {
        if (const auto next = search.FindNext(text, from))
            if (next->Match.Start < 0 || next->Match.End() > text.size()
                || (!next->Wrapped && next->Match.Start < from))
                __builtin_trap();
        if (const auto previous = search.FindPrevious(text, from))
            if (previous->Match.Start < 0 || previous->Match.End() > text.size()
                || (!previous->Wrapped && previous->Match.Start >= from))
                __builtin_trap();
    }

    const QStringList lines = QString::fromUtf8(text).split(u'\n');
    for (const TLineEdit& edit : RenumberBlocks(lines, { 1, 1, bool(data[0] & 8) })) {
        if (edit.Line < 0 || edit.Line >= lines.size() || IsRenumberSkippedLine(lines[edit.Line]))
            __builtin_trap();
    }
    return 0;
}
