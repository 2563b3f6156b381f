#pragma once
// The plain paths that the product's one-pass functions are held against by
// the tests, the fuzz targets and the benchmarks. Each is written the slow,
// obvious way, line by line from the rules, and none of the programs uses
// one: a fault in a fast path shows as a difference from these.
#include "content/ProgramSplitter.h"
#include "content/TextDocument.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QStringList>

// A text file's lines with its encoding, byte-order mark and line-break
// style: the bytes decoded whole, then split.
TTextDocument ReadTextDocument(const QByteArray& bytes);

// The upload normalisation of the editor's lines, rule by rule (trimming
// removes the characters of code 32 or less at an end):
// 1. a line whose trimmed form is empty is dropped; in every other line the
//    Turkish letters are folded (Ç ç C, Ğ ğ G, İ ı I, Ö ö O, Ş ş S, Ü ü U)
//    and 'a' to 'z' put in upper case, nothing else changed;
// 2. a line "%" goes on top when no line is left, or when the first line,
//    leading blanks removed, does not begin with '%';
// 3. a line "%" goes at the end when the last line, trailing blanks
//    removed, does not end with '%';
// 4. each line through the '%' rule: with keepPercentLines a line that
//    begins with '%' after its leading blanks stays whole; otherwise a line
//    holding '%' that is not "%" when trimmed becomes the trimmed part before
//    its first '%' (when not empty), "%", and the trimmed part after it
//    (when not empty).
QStringList NormalizeProgramForUpload(const QStringList& lines, bool keepPercentLines);
// The same on the editor's UTF-8 text, whose lines end at CR LF, CR, LF or
// U+2028: the normalised lines joined by CR LF, none after the last (what
// NormalizeTextForUpload gives in one pass).
QByteArray ReferenceNormalizeTextForUpload(QByteArrayView text, bool keepPercentLines);

// The bytes an upload sends for the lines: ASCII, CR LF after every line.
QByteArray ProgramUploadBytes(const QStringList& lines);

// The programs of a text holding several, each from its 'O' or ':' start line
// to the next, framed by '%' lines, ':' as 'O'; lines before the first start
// line belong to none, and the text's closing '%' line is left out.
QList<TSplitProgram> SplitPrograms(const QStringList& lines);
