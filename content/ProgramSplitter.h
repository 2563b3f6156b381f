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
QString ProgramFileName(const QString& programName); // forbidden and control characters become '_', plus ".CNC"
QByteArray ProgramFileBytes(const QStringList& lines); // CR LF after every line, Windows-1254, no mark
bool SaveAllPrograms(const QString& folder, const QList<TSplitProgram>& programs, QString& errorMsg,
    const std::function<void(qsizetype index)>& afterEach = {});
