#include "content/EditorText.h"
#include "content/ProgramSplitter.h"
#include "content/TextDocument.h"
#include "tests/support/ReferencePaths.h"

#include <QSet>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const QStringList lines = ReadTextDocument(bytes).Lines;
    qsizetype kept = 0;
    const QList<TSplitProgram> programs = SplitPrograms(lines);
    // Every program gets a file of its own, with a name any file system takes.
    const QStringList names = ProgramFileNames(programs);
    if (names.size() != programs.size() || QSet<QString>(names.begin(), names.end()).size() != names.size())
        __builtin_trap();
    for (const QString& name : names)
        if (!name.endsWith(ProgramFileSuffix) || name.toUtf8().size() > MaxProgramFileNameBytes || name.startsWith(u'.')
            || name.contains(u'/') || name.contains(QChar(0)))
            __builtin_trap();
    for (const TSplitProgram& program : programs) {
        if (program.Lines.size() < 3 || program.Lines.first() != u"%" || program.Lines.last() != u"%")
            __builtin_trap();
        kept += program.Lines.size() - 2;
    }
    if (kept > lines.size())
        __builtin_trap();
    // The same split over the raw bytes as one text (valid UTF-8 or not): the
    // programs and the text each shows are those of the lines.
    const QList<TSplitProgram> fromLines = SplitPrograms(SplitUtf8Lines(bytes));
    const QList<TProgramSlice> slices = FindPrograms(bytes);
    if (slices.size() != fromLines.size() || Utf8LineCount(bytes) != SplitUtf8Lines(bytes).size())
        __builtin_trap();
    for (qsizetype i = 0; i < slices.size(); ++i)
        if (slices[i].Name != fromLines[i].Name
            || ProgramText(bytes, slices[i]) != fromLines[i].Lines.join(u"\r\n").toUtf8())
            __builtin_trap();
    return 0;
}
