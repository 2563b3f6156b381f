#include "ProgramSplitter.h"

#include "CodePage.h"
#include "TextDocument.h"
#include "TextUtil.h"

#include <QDir>
#include <QFileInfo>

namespace {

QString ReplaceColons(const QString& line)
{
    QString result = line;
    result.replace(u':', u'O');
    return result;
}

} // namespace

bool IsProgramStartLine(QStringView line)
{
    return !line.isEmpty() && (line[0] == u':' || line[0] == u'O');
}

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

QString ProgramFileName(const QString& programName)
{
    QString name = programName;
    // A control character (a NUL above all) would cut or garble the name.
    for (QChar& c : name)
        if (QStringView(u"\"'*/:<>?\\|").contains(c) || c.unicode() < 32 || c.unicode() == 127)
            c = u'_';
    return name + ".CNC";
}

QByteArray ProgramFileBytes(const QStringList& lines)
{
    return EncodeAnsi(JoinTextLines(lines, TLineBreakStyle::CrLf, true));
}

bool SaveAllPrograms(const QString& folder, const QList<TSplitProgram>& programs, QString& errorMsg,
    const std::function<void(qsizetype index)>& afterEach)
{
    const QString target = QDir(folder).filePath(ProgramFolderName);
    if (QFileInfo::exists(target)) {
        errorMsg = QString::fromUtf8(
            "SEÇTİĞİNİZ KLASÖR UYGUN DEĞİL, İÇİNDE Velcarn KLASÖRÜ MEVCUT, BAŞKA BİR KONUM SEÇİNİZ");
        return false;
    }
    if (!QDir().mkdir(target)) {
        errorMsg = QString::fromUtf8("SEÇTİĞİNİZ KLASÖR UYGUN DEĞİL, İÇİNE Velcarn KLASÖRÜ AÇILAMADI.");
        return false;
    }
    for (qsizetype i = 0; i < programs.size(); ++i) {
        QString error;
        const QString path = QDir(target).filePath(ProgramFileName(programs[i].Name));
        if (!WriteWholeFile(path, ProgramFileBytes(programs[i].Lines), error)) {
            errorMsg = path + ": " + error;
            return false;
        }
        if (afterEach)
            afterEach(i);
    }
    return true;
}
