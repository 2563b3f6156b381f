#pragma once
// Conversions between editor text and device bytes: the upload normalisation,
// the '%' line splitting, the word-space insertion and the letter folding.
#include <QByteArray>
#include <QByteArrayView>
#include <QChar>
#include <QString>
#include <QStringList>

#include "TextDocument.h"

QChar FoldTurkishLetter(QChar ch);
QString AsciiUpperCase(QStringView text);

// Lines joined with CR LF, CR LF after the last line too.
QString JoinCrLf(const QStringList& lines);

QString SplitPercentLines(QStringView text, bool keepPercentLines);
QString InsertWordSpaces(QStringView text);
QString InsertWordSpaces(const QString& text); // returns the text itself when nothing needs a space

// The editor's UTF-8 text as the upload sends it, in one pass: blank lines
// dropped, letters folded to upper-case ASCII, '%' lines at both ends, '%'
// split onto own lines; the normalised text as the editor then holds it
// (lines joined by CR LF, none after the last).
QByteArray NormalizeTextForUpload(QByteArrayView text, bool keepPercentLines);
// The bytes an upload sends for the editor's text: one ASCII byte per UTF-16
// unit ('?' for any other character), CR LF after every line.
QByteArray UploadBytesOfText(QByteArrayView text);
