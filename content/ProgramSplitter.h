#pragma once
// Splits a text holding several part programs (each introduced by an 'O' or
// ':' program-number line) into single programs, each framed by '%' lines.
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

struct TSplitProgram {
    QString Name;
    QStringList Lines;
};

bool IsProgramStartLine(QStringView line);

// The split over the editor's UTF-8 text without a string per line: a
// program is the bytes of its lines in the text, from its start line up to
// where the line after its last one begins (its last line's break included,
// so that a trailing empty line stays a line). Lines before the first start
// line belong to no program; the text's closing '%' line is left out.
struct TProgramSlice {
    QString Name; // the start line, ':' as 'O'
    qsizetype Begin = 0;
    qsizetype End = 0;
};
QList<TProgramSlice> FindPrograms(QByteArrayView text);
// The program's lines: framed by '%' lines, ':' as 'O'.
QStringList ProgramLines(QByteArrayView text, const TProgramSlice& program);
// Those lines joined by CR LF, none after the last, in UTF-8: written straight
// from the text, without a string per line.
QByteArray ProgramText(QByteArrayView text, const TProgramSlice& program);

// "Hepsini Kaydet": every program as NAME.CNC in a new folder "Velcarn" inside
// folder. Refuses with the operator's message when that folder exists or
// cannot be made; afterEach(i) runs after program i was written (progress, pause).
inline const QString ProgramFolderName = QStringLiteral("Velcarn");
inline const QString ProgramFileSuffix = QStringLiteral(".CNC");
// The longest file name that ext4, NTFS, APFS and FAT32 all take: 255 bytes in UTF-8.
constexpr qsizetype MaxProgramFileNameBytes = 255;

// The name with the characters no file name may hold (" ' * / : < > ? \ | and
// the control characters) as '_'; a name of only dots and blanks, which would
// be hidden or unnamed, as "_"; shortened to fit with ".CNC".
QString ProgramFileName(const QString& programName);
// The file name of every program in order. A name already used by an earlier
// program (letter case aside, as Windows sees it) gets " (2)", " (3)", ...
// before ".CNC", so that no program overwrites another.
QStringList ProgramFileNames(const QStringList& programNames);
QStringList ProgramFileNames(const QList<TSplitProgram>& programs);
QByteArray ProgramFileBytes(const QStringList& lines); // CR LF after every line, Windows-1254, no mark
// The same bytes as ProgramFileBytes(ProgramLines(text, program)), written straight from the text.
QByteArray ProgramFileBytes(QByteArrayView text, const TProgramSlice& program);
// The pause after each file of "Hepsini Kaydet": 2000 ms spread over the
// programs after the first, to the nearest millisecond with halves to even;
// none for a single program.
int SaveAllPauseMs(qsizetype programs);
bool SaveAllPrograms(const QString& folder, const QList<TSplitProgram>& programs, QString& errorMsg,
    const std::function<void(qsizetype index)>& afterEach = {});
bool SaveAllPrograms(const QString& folder, QByteArrayView text, const QList<TProgramSlice>& programs,
    QString& errorMsg, const std::function<void(qsizetype index)>& afterEach = {});
