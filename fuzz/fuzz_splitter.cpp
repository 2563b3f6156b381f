#include "content/ProgramSplitter.h"
#include "content/TextDocument.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const QStringList lines = ReadTextDocument(bytes).Lines;
    qsizetype kept = 0;
    for (const TSplitProgram& program : SplitPrograms(lines)) {
        if (program.Lines.size() < 3 || program.Lines.first() != u"%" || program.Lines.last() != u"%")
            __builtin_trap();
        kept += program.Lines.size() - 2;
    }
    if (kept > lines.size())
        __builtin_trap();
    return 0;
}
