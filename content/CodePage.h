#pragma once
// The client's default 8-bit code page: Windows-1254 (Turkish). Every line the
// client builds for the wire is ASCII, so any byte-compatible page gives the
// same bytes; program files and comments may hold Turkish letters.
#include <QByteArray>
#include <QString>
#include <QStringView>

QString DecodeAnsi(const char* data, qsizetype size);
inline QString DecodeAnsi(const QByteArray& bytes)
{
    return DecodeAnsi(bytes.constData(), bytes.size());
}

// The code page's character for each byte value.
const char16_t* AnsiToUnicodeTable();

// Characters the code page cannot hold become '?', one byte per UTF-16 unit.
QByteArray EncodeAnsi(QStringView text);
// The same into out, which has room for text.size() bytes; returns the end.
char* EncodeAnsiTo(QStringView text, char* out);

// One byte per UTF-16 unit: ASCII stays, everything else becomes '?'.
QByteArray EncodeAscii(QStringView text);
