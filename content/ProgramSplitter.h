#pragma once
// Splits a text holding several part programs (each introduced by an 'O' or
// ':' program-number line) into single programs, each framed by '%' lines.
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

struct TSplitProgram {
    QString Name;
    QStringList Lines;
};

bool IsProgramStartLine(QStringView line);

QList<TSplitProgram> SplitPrograms(const QStringList& lines);

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
QStringList ProgramFileNames(const QList<TSplitProgram>& programs);
QByteArray ProgramFileBytes(const QStringList& lines); // CR LF after every line, Windows-1254, no mark
// The pause after each file of "Hepsini Kaydet": 2000 ms spread over the
// programs after the first, to the nearest millisecond with halves to even;
// none for a single program.
int SaveAllPauseMs(qsizetype programs);
bool SaveAllPrograms(const QString& folder, const QList<TSplitProgram>& programs, QString& errorMsg,
    const std::function<void(qsizetype index)>& afterEach = {});
