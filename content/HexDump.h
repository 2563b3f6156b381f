#pragma once
// The hex dump in which the editor shows non-text content (raw captures, CMT files).
#include <QByteArray>
#include <QString>

#include <functional>

constexpr qsizetype HexDumpBytesPerRow = 16;
// "OOOOOOOO  ", a cell of 3 per byte with one more blank after the eighth,
// " |", one character per byte, "|": the widest row without its CR LF.
constexpr qsizetype HexDumpRowChars = 10 + 3 * HexDumpBytesPerRow + 1 + 2 + HexDumpBytesPerRow + 1;

// HexDumpBytesPerRow bytes a row: offset, hex cells, printable characters;
// CR LF after every row.
QString HexDumpText(const QByteArray& data);
// The same dump as Latin-1 bytes, written straight from the data.
QByteArray HexDumpBytes(const QByteArray& data);

// The same dump handed to sink in pieces of HexDumpPieceRows whole rows, so
// that it is never held whole; stops with false as soon as sink refuses a piece.
constexpr qsizetype HexDumpPieceRows = 4096;
bool HexDumpInPieces(const QByteArray& data, const std::function<bool(QByteArrayView piece)>& sink);

// Rows [firstRow, firstRow + rowCount) of the dump, as HexDumpText writes them.
QString HexDumpRows(const QByteArray& data, qsizetype firstRow, qsizetype rowCount);
qsizetype HexDumpRowCount(qsizetype bytes);
