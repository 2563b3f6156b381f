// Differential: the upload's byte normaliser (NormalizeTextForUpload, one pass
// over the editor's UTF-8 text) against the reference written line by line
// from the normalisation's rules (tests/support), for both '%' rules. The
// editor holds valid UTF-8, so the input is taken as the editor would hold it.
#include "content/ProgramText.h"
#include "tests/support/ReferencePaths.h"

#include <QString>
#include <QStringDecoder>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString decoded = QStringDecoder(QStringDecoder::Utf8, QStringConverter::Flag::ConvertInitialBom)(
        QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)));
    const QByteArray text = decoded.toUtf8(); // a leading mark stays a character
    for (const bool keepPercentLines : { false, true })
        if (NormalizeTextForUpload(text, keepPercentLines) != ReferenceNormalizeTextForUpload(text, keepPercentLines))
            __builtin_trap();
    return 0;
}
