#include "BlockRenumber.h"

#include "TextUtil.h"
#include "ToolChangeScanner.h"
#include "UnitGCodeHighlighter.h"

#include <algorithm>

namespace {

// Where a block's first word starts: after leading blanks and a '/' that marks
// a block the control may skip.
qsizetype BlockStart(QStringView line)
{
    qsizetype pos = 0;
    while (pos < line.size() && IsLowControl(line[pos]))
        ++pos;
    if (pos < line.size() && line[pos] == u'/')
        ++pos;
    return pos;
}

bool OnlyCommentsAndBlanks(QStringView line)
{
    for (qsizetype pos = 0; pos < line.size();) {
        const TGCodeToken token = NextGCodeToken(line, pos);
        if (token.Kind == gtkNull)
            break;
        if (token.Kind != gtkSpace && token.Kind != gtkComment)
            return false;
        pos = token.Start + token.Length;
    }
    return true;
}

// An N word is the letter with a number: "NINE" starts with a letter N, not a block number.
bool IsNWord(QStringView line, const TGCodeToken& token)
{
    if (token.Kind != gtkN)
        return false;
    const QStringView word = line.mid(token.Start, token.Length);
    return std::any_of(word.begin(), word.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

} // namespace

bool IsRenumberSkippedLine(QStringView line)
{
    const QStringView trimmed = TrimLow(line);
    if (trimmed.isEmpty() || trimmed[0] == u'%')
        return true;
    // Program numbers, named programs ("O<NAME>") and SIEMENS program names.
    if (IsProgramNumberLine(trimmed) || trimmed.startsWith(u"O<") || trimmed.startsWith(u"_N_"))
        return true;
    return OnlyCommentsAndBlanks(trimmed);
}

QList<TLineEdit> RenumberBlocks(const QStringList& lines, const TRenumberOptions& options)
{
    QList<TLineEdit> edits;
    qint64 number = options.Start;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString& line = lines[i];
        if (IsRenumberSkippedLine(line))
            continue;
        const qsizetype start = BlockStart(line);
        const TGCodeToken first = NextGCodeToken(line, start);
        QString text;
        if (IsNWord(line, first)) {
            text = line.left(start) + line[start] + QString::number(number) + line.mid(first.Start + first.Length);
        } else if (options.NumberUnnumbered) {
            text = line.left(start) + u'N' + QString::number(number) + u' ' + line.mid(start);
        } else {
            continue;
        }
        number += options.Step;
        if (text != line)
            edits.append({ i, text });
    }
    return edits;
}
