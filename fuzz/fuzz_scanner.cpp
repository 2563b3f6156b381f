#include "content/TextDocument.h"
#include "content/ToolChangeScanner.h"
#include "tests/support/ReferencePaths.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const TTextDocument document = ReadTextDocument(bytes);
    const TToolChangeScan scan = ScanToolChangeLines(document.Lines, 1 + int(size % 2));
    if (scan.Rows.size() != scan.Candidates.size() || scan.Lines.size() > document.Lines.size())
        __builtin_trap();
    qint32 last = 0;
    for (const TStartFromCandidate& c : scan.Candidates) {
        if (c.LineNumber <= last || c.LineNumber > scan.Lines.size() || c.UncompressedOffset < 0)
            __builtin_trap();
        last = c.LineNumber;
    }
    return 0;
}
