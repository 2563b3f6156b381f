#include "CodePage.h"

#include <array>
#include <cstring>
#include <iconv.h>
#include <vector>

namespace {

struct TCodePageTables {
    std::array<char16_t, 256> ToUnicode {};
    std::vector<qint16> FromUnicode = std::vector<qint16>(0x10000, -1);
};

// Built once from iconv; bytes iconv leaves undefined (0x81, 0x8D...) map to
// the C1 control of the same value, as Windows does, so every byte round-trips.
const TCodePageTables& Tables()
{
    static const TCodePageTables tables = [] {
        TCodePageTables t;
        iconv_t cd = iconv_open("UTF-16LE", "CP1254");
        for (int b = 0; b < 256; ++b) {
            char16_t unit = char16_t(b);
            if (b >= 0x80 && cd != iconv_t(-1)) {
                char in = char(b);
                char out[8];
                char* inPtr = &in;
                char* outPtr = out;
                size_t inLeft = 1, outLeft = sizeof out;
                iconv(cd, nullptr, nullptr, nullptr, nullptr);
                if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != size_t(-1) && outLeft == sizeof out - 2)
                    unit = char16_t(quint8(out[0]) | (quint8(out[1]) << 8));
            }
            t.ToUnicode[b] = unit;
        }
        if (cd != iconv_t(-1))
            iconv_close(cd);
        for (int b = 255; b >= 0; --b)
            t.FromUnicode[t.ToUnicode[b]] = qint16(b);
        return t;
    }();
    return tables;
}

} // namespace

const char16_t* AnsiToUnicodeTable()
{
    return Tables().ToUnicode.data();
}

QString DecodeAnsi(const char* data, qsizetype size)
{
    // Mostly ASCII: widen every byte while noting whether any was above 0x7F
    // (a loop the compiler vectorises), and only then look bytes up.
    QString text(size, Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    const auto* in = reinterpret_cast<const unsigned char*>(data);
    unsigned char high = 0;
    for (qsizetype i = 0; i < size; ++i) {
        high |= in[i];
        out[i] = in[i];
    }
    if (high >= 0x80) {
        const auto& table = Tables().ToUnicode;
        for (qsizetype i = 0; i < size; ++i)
            out[i] = table[in[i]];
    }
    return text;
}

char* EncodeAnsiTo(QStringView text, char* out)
{
    const auto& table = Tables().FromUnicode;
    const char16_t* in = text.utf16();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qint16 b = table[in[i]];
        out[i] = b < 0 ? '?' : char(b);
    }
    return out + text.size();
}

QByteArray EncodeAnsi(QStringView text)
{
    QByteArray bytes(text.size(), Qt::Uninitialized);
    EncodeAnsiTo(text, bytes.data());
    return bytes;
}

QByteArray EncodeAscii(QStringView text)
{
    QByteArray bytes(text.size(), Qt::Uninitialized);
    char* out = bytes.data();
    const char16_t* in = text.utf16();
    for (qsizetype i = 0; i < text.size(); ++i)
        out[i] = in[i] < 0x80 ? char(in[i]) : '?';
    return bytes;
}
