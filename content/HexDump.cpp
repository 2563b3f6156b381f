#include "HexDump.h"

namespace {

constexpr qsizetype BytesPerRow = HexDumpBytesPerRow;
constexpr qsizetype FullRowLength = HexDumpRowChars + 2; // with CR LF

const char HexDigits[] = "0123456789ABCDEF";

qsizetype DumpLength(qsizetype size)
{
    if (size == 0)
        return 0;
    const qsizetype rows = (size + BytesPerRow - 1) / BytesPerRow;
    const qsizetype lastRowBytes = size - (rows - 1) * BytesPerRow;
    return rows * FullRowLength - (BytesPerRow - lastRowBytes);
}

// Writes rows [firstRow, endRow) of the dump of data into out.
template <typename TChar> void WriteDump(const QByteArray& data, TChar* out, qsizetype firstRow, qsizetype endRow)
{
    const qsizetype size = data.size();
    const auto* in = reinterpret_cast<const unsigned char*>(data.constData());

    for (qsizetype row = firstRow; row < endRow; ++row) {
        const qsizetype offset = row * BytesPerRow;
        const qsizetype count = qMin(BytesPerRow, size - offset);
        quint64 value = quint64(offset);
        for (int i = 7; i >= 0; --i) {
            out[i] = HexDigits[value & 0xF];
            value >>= 4;
        }
        out[8] = out[9] = ' ';
        out += 10;
        for (qsizetype i = 0; i < BytesPerRow; ++i) {
            if (i < count) {
                out[0] = HexDigits[in[offset + i] >> 4];
                out[1] = HexDigits[in[offset + i] & 0xF];
            } else {
                out[0] = out[1] = ' ';
            }
            out[2] = ' ';
            out += 3;
            if (i == BytesPerRow / 2 - 1)
                *out++ = ' ';
        }
        *out++ = ' ';
        *out++ = '|';
        for (qsizetype i = 0; i < count; ++i) {
            const unsigned char b = in[offset + i];
            *out++ = (b >= 0x20 && b <= 0x7E) ? TChar(b) : TChar('.');
        }
        *out++ = '|';
        *out++ = '\r';
        *out++ = '\n';
    }
}

} // namespace

QString HexDumpText(const QByteArray& data)
{
    QString text(DumpLength(data.size()), Qt::Uninitialized);
    if (!data.isEmpty())
        WriteDump(data, reinterpret_cast<char16_t*>(text.data()), 0, HexDumpRowCount(data.size()));
    return text;
}

QByteArray HexDumpBytes(const QByteArray& data)
{
    QByteArray text(DumpLength(data.size()), Qt::Uninitialized);
    if (!data.isEmpty())
        WriteDump(data, text.data(), 0, HexDumpRowCount(data.size()));
    return text;
}

bool HexDumpInPieces(const QByteArray& data, const std::function<bool(QByteArrayView piece)>& sink)
{
    const qsizetype rows = HexDumpRowCount(data.size());
    QByteArray piece(HexDumpPieceRows * FullRowLength, Qt::Uninitialized);
    for (qsizetype first = 0; first < rows; first += HexDumpPieceRows) {
        const qsizetype end = qMin(rows, first + HexDumpPieceRows);
        // Only the last row of the dump can be short.
        const qsizetype length
            = end < rows ? (end - first) * FullRowLength : DumpLength(data.size()) - first * FullRowLength;
        WriteDump(data, piece.data(), first, end);
        if (!sink(QByteArrayView(piece.constData(), length)))
            return false;
    }
    return true;
}

qsizetype HexDumpRowCount(qsizetype bytes)
{
    return (bytes + BytesPerRow - 1) / BytesPerRow;
}

QString HexDumpRows(const QByteArray& data, qsizetype firstRow, qsizetype rowCount)
{
    const qsizetype rows = HexDumpRowCount(data.size());
    firstRow = qBound<qsizetype>(0, firstRow, rows);
    const qsizetype endRow = qMin(rows, firstRow + qMax<qsizetype>(0, rowCount));
    if (firstRow >= endRow)
        return {};
    const qsizetype lastBytes = qMin(BytesPerRow, data.size() - (endRow - 1) * BytesPerRow);
    QString text((endRow - firstRow) * FullRowLength - (BytesPerRow - lastBytes), Qt::Uninitialized);
    WriteDump(data, reinterpret_cast<char16_t*>(text.data()), firstRow, endRow);
    return text;
}
