#pragma once
// The hex dump in which the editor shows non-text content (raw captures, CMT files).
#include <QByteArray>
#include <QString>

// 16 bytes a row: offset, hex cells, printable characters; CR LF after every row.
QString HexDumpText(const QByteArray& data);

// The same dump as ASCII bytes, for a text editor that holds UTF-8.
QByteArray HexDumpBytes(const QByteArray& data);

// Rows [firstRow, firstRow + rowCount) of the dump, as HexDumpText writes them.
QString HexDumpRows(const QByteArray& data, qsizetype firstRow, qsizetype rowCount);
qsizetype HexDumpRowCount(qsizetype bytes);
