#include "UnitProgramSplitter.h"

#include "UnitTextUtil.h"

namespace {

QString ReplaceColons(const QString& line)
{
    QString result = line;
    result.replace(u':', u'O');
    return result;
}

} // namespace

bool IsProgramStartLine(QStringView line) { return !line.isEmpty() && (line[0] == u':' || line[0] == u'O'); }

QList<TSplitProgram> SplitPrograms(const QStringList& lines)
{
    QList<TSplitProgram> programs;
    bool open = false;
    TSplitProgram current;

    auto close = [&] {
        current.Lines.prepend(QStringLiteral("%"));
        current.Lines.append(QStringLiteral("%"));
        programs.append(std::move(current));
        current = TSplitProgram();
        open = false;
    };

    // The text's closing '%' line is not needed: every program gets its own.
    // Any other last line (a closing M30, or a start line) is kept, so that no
    // line of the text is lost.
    qsizetype count = lines.size();
    if (count > 0 && TrimLow(lines.last()) == u"%")
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
