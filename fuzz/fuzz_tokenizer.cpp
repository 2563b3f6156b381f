#include "content/UnitGCodeHighlighter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Arbitrary UTF-16 units, lone surrogates included.
    const QString line(reinterpret_cast<const QChar*>(data), qsizetype(size / 2));
    TGCodeTokenizer tokenizer;
    tokenizer.SetLine(line, 0);
    qsizetype pos = 0;
    while (!tokenizer.GetEol()) {
        if (tokenizer.GetTokenPos() != pos || tokenizer.GetTokenLength() <= 0)
            __builtin_trap();
        pos += tokenizer.GetTokenLength();
        tokenizer.Next();
    }
    if (pos != line.size() + 1) // the end-of-line token counts one
        __builtin_trap();
    return 0;
}
