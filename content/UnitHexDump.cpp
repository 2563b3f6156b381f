#include "UnitHexDump.h"

namespace {

constexpr qsizetype BytesPerRow = 16;
// "OOOOOOOO  " + 16 cells of 3 + 1 extra blank + " |" + up to 16 chars + "|\r\n"
constexpr qsizetype FullRowLength = 10 + 48 + 1 + 2 + 16 + 3;

const char16_t HexDigits[] = u"0123456789ABCDEF";

} // namespace

QString HexDumpText(const QByteArray& data)
{
    const qsizetype size = data.size();
    if (size == 0)
        return {};
    const qsizetype rows = (size + BytesPerRow - 1) / BytesPerRow;
    const qsizetype lastRowBytes = size - (rows - 1) * BytesPerRow;
    QString text(rows * FullRowLength - (BytesPerRow - lastRowBytes), Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    const auto* in = reinterpret_cast<const unsigned char*>(data.constData());

    for (qsizetype row = 0; row < rows; ++row) {
        const qsizetype offset = row * BytesPerRow;
        const qsizetype count = qMin(BytesPerRow, size - offset);
        quint64 value = quint64(offset);
        for (int i = 7; i >= 0; --i) {
            out[i] = HexDigits[value & 0xF];
            value >>= 4;
        }
        out[8] = out[9] = u' ';
        out += 10;
        for (qsizetype i = 0; i < BytesPerRow; ++i) {
            if (i < count) {
                out[0] = HexDigits[in[offset + i] >> 4];
                out[1] = HexDigits[in[offset + i] & 0xF];
            } else {
                out[0] = out[1] = u' ';
            }
            out[2] = u' ';
            out += 3;
            if (i == 7)
                *out++ = u' ';
        }
        *out++ = u' ';
        *out++ = u'|';
        for (qsizetype i = 0; i < count; ++i) {
            const unsigned char b = in[offset + i];
            *out++ = (b >= 0x20 && b <= 0x7E) ? char16_t(b) : u'.';
        }
        *out++ = u'|';
        *out++ = u'\r';
        *out++ = u'\n';
    }
    return text;
}
