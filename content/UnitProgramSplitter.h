#pragma once
// Splits a text holding several part programs (each introduced by an 'O' or
// ':' program-number line) into single programs, each framed by '%' lines.
#include <QList>
#include <QString>
#include <QStringList>

struct TSplitProgram {
    QString Name;
    QStringList Lines;
};

bool IsProgramStartLine(QStringView line);

QList<TSplitProgram> SplitPrograms(const QStringList& lines);
