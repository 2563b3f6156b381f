#include "content/HexDump.h"
#include "content/UnitMazatrolCmt.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    IsCmtData(bytes);
    TCmtInfo info;
    if (ParseCmt(bytes, info)) {
        if (info.Payloads.size() != info.ChecksumOk.size())
            __builtin_trap();
        for (qsizetype k = -1; k <= info.Programs.size(); ++k) {
            try {
                const QByteArray file = ExtractCmtProgram(info, qint32(k));
                TCmtInfo single;
                if (!ParseCmt(file, single) || single.ChecksumErrors != 0)
                    __builtin_trap();
            } catch (const EQuillexError&) {
            }
        }
    }
    if (size <= 4096
        && HexDumpText(bytes).size()
            != ((qsizetype(size) + 15) / 16) * 80 - (size % 16 ? 16 - qsizetype(size % 16) : 0))
        __builtin_trap();
    return 0;
}
