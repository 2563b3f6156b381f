// The byte normaliser the upload runs on the editor's text, held against the
// reference that works line by line: NormalizeTextForUpload gives
// NormalizeProgramForUpload's lines joined by CR LF, and UploadBytesOfText
// gives ProgramUploadBytes of those lines.
#include "content/EditorText.h"
#include "content/ProgramText.h"
#include "content/TextDocument.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const bool keepPercentLines = data[0] & 1;
    const QByteArray bytes = QByteArray(reinterpret_cast<const char*>(data) + 1, qsizetype(size) - 1);
    // The editor's text as the window holds it, and its lines.
    const QByteArray text = ReadEditorText(bytes, false).Utf8;
    const QStringList lines = SplitUtf8Lines(text);

    const QStringList reference = NormalizeProgramForUpload(lines, keepPercentLines);
    const QByteArray normalized = NormalizeTextForUpload(text, keepPercentLines);
    if (normalized != reference.join(u"\r\n").toUtf8())
        __builtin_trap();
    if (UploadBytesOfText(normalized) != ProgramUploadBytes(reference))
        __builtin_trap();
    return 0;
}
