#include "ReferencePaths.h"

#include "content/CodePage.h"

#include <QStringDecoder>

namespace {

bool IsBlank(QChar c)
{
    return c.unicode() <= 32;
}

QString TrimmedLeft(const QString& line)
{
    qsizetype begin = 0;
    while (begin < line.size() && IsBlank(line[begin]))
        ++begin;
    return line.mid(begin);
}

QString TrimmedRight(const QString& line)
{
    qsizetype end = line.size();
    while (end > 0 && IsBlank(line[end - 1]))
        --end;
    return line.left(end);
}

QString Trimmed(const QString& line)
{
    return TrimmedRight(TrimmedLeft(line));
}

QChar FoldedUpper(QChar c)
{
    switch (c.unicode()) {
    case 0x00C7: // Ç
    case 0x00E7: // ç
        return u'C';
    case 0x011E: // Ğ
    case 0x011F: // ğ
        return u'G';
    case 0x0130: // İ
    case 0x0131: // ı
        return u'I';
    case 0x00D6: // Ö
    case 0x00F6: // ö
        return u'O';
    case 0x015E: // Ş
    case 0x015F: // ş
        return u'S';
    case 0x00DC: // Ü
    case 0x00FC: // ü
        return u'U';
    default:
        break;
    }
    if (c >= u'a' && c <= u'z')
        return QChar(c.unicode() - u'a' + u'A');
    return c;
}

void AppendPercentRule(const QString& line, bool keepPercentLines, QStringList& out)
{
    if (keepPercentLines && TrimmedLeft(line).startsWith(u'%')) {
        out.append(line);
        return;
    }
    const qsizetype p = line.indexOf(u'%');
    if (p < 0 || Trimmed(line) == u"%") {
        out.append(line);
        return;
    }
    const QString before = Trimmed(line.left(p)), after = Trimmed(line.mid(p + 1));
    if (!before.isEmpty())
        out.append(before);
    out.append(QStringLiteral("%"));
    if (!after.isEmpty())
        out.append(after);
}

QString ReplaceColons(QString line)
{
    line.replace(u':', u'O');
    return line;
}

} // namespace

TTextDocument ReadTextDocument(const QByteArray& bytes)
{
    TTextDocument document;
    document.Encoding = DetectEncoding(bytes, document.HasByteOrderMark);
    const QString text = DecodeText(bytes, document.Encoding, document.HasByteOrderMark);
    SplitTextLines(text, document.Lines, document.LineBreak, document.TrailingLineBreak);
    return document;
}

QStringList NormalizeProgramForUpload(const QStringList& lines, bool keepPercentLines)
{
    QStringList kept;
    for (const QString& line : lines) {
        if (Trimmed(line).isEmpty())
            continue;
        QString folded = line;
        for (QChar& c : folded)
            c = FoldedUpper(c);
        kept.append(folded);
    }
    if (kept.isEmpty() || !TrimmedLeft(kept.first()).startsWith(u'%'))
        kept.prepend(QStringLiteral("%"));
    if (!TrimmedRight(kept.last()).endsWith(u'%'))
        kept.append(QStringLiteral("%"));
    QStringList normalized;
    for (const QString& line : kept)
        AppendPercentRule(line, keepPercentLines, normalized);
    return normalized;
}

QByteArray ReferenceNormalizeTextForUpload(QByteArrayView text, bool keepPercentLines)
{
    // A mark (U+FEFF) at the start is a character of the first line here, as
    // in the editor: not white space, so that line does not begin with '%'.
    const QString decoded = QStringDecoder(QStringDecoder::Utf8, QStringConverter::Flag::ConvertInitialBom)(text);
    QStringList lines;
    QString line;
    for (qsizetype i = 0; i < decoded.size(); ++i) {
        const QChar c = decoded[i];
        if (c == u'\r' || c == u'\n' || c == QChar(0x2028)) {
            lines.append(line);
            line.clear();
            if (c == u'\r' && i + 1 < decoded.size() && decoded[i + 1] == u'\n')
                ++i;
            continue;
        }
        line.append(c);
    }
    lines.append(line); // a break at the end leaves an empty line, which is dropped as blank
    return NormalizeProgramForUpload(lines, keepPercentLines).join(u"\r\n").toUtf8();
}

QByteArray ProgramUploadBytes(const QStringList& lines)
{
    QString text;
    for (const QString& line : lines)
        text += line + QStringLiteral("\r\n");
    return EncodeAscii(text);
}

QList<TSplitProgram> SplitPrograms(const QStringList& lines)
{
    QList<TSplitProgram> programs;
    bool open = false;
    TSplitProgram current;
    const auto close = [&] {
        current.Lines.prepend(QStringLiteral("%"));
        current.Lines.append(QStringLiteral("%"));
        programs.append(std::move(current));
        current = TSplitProgram();
        open = false;
    };
    // The text's closing '%' line is not needed: every program gets its own.
    // Any other last line (a closing M30, or a start line) is kept.
    qsizetype count = lines.size();
    if (count > 0 && Trimmed(lines.last()) == u"%")
        --count;
    for (qsizetype i = 0; i < count; ++i) {
        const QString& line = lines[i];
        if (IsProgramStartLine(line)) {
            if (open)
                close();
            current.Name = ReplaceColons(line);
            open = true;
        }
        if (open)
            current.Lines.append(ReplaceColons(line));
    }
    if (open)
        close();
    return programs;
}
