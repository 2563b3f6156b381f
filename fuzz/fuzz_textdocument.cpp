#include "content/ProgramText.h"
#include "content/TextDocument.h"
#include "tests/support/ReferencePaths.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const TTextDocument document = ReadTextDocument(bytes);
    const QByteArray written = WriteTextDocument(document);
    // Whatever was read, writing and reading again gives the same lines.
    const TTextDocument again = ReadTextDocument(written);
    if (document.Encoding != TTextEncoding::Ansi && again.Lines.size() != document.Lines.size())
        __builtin_trap();
    const QStringList normalized = NormalizeProgramForUpload(document.Lines, size % 2 == 0);
    if (normalized.isEmpty())
        __builtin_trap();
    InsertWordSpaces(document.Lines.join('\n'));
    ProgramUploadBytes(normalized);
    return 0;
}
