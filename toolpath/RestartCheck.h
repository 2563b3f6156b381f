#pragma once
// The safety check of a restart: playback resumes at the line before a tool
// change, and the control then runs with whatever modal state it holds. Each
// group of the state that the program sets only before the resume point, and
// that a run from the top has in force at the first cut after it, is a
// warning in the operator's words.
#include "GCodeInterpreter.h"

#include <QList>
#include <QString>
#include <QStringList>

struct TRestartCheck {
    qint32 ResumeLine = 0; // the line playback resumes at (1-based)
    qint32 ToolChangeLine = 0;
    int Tool = 0; // the tool the tool change puts in the spindle
    // False when the interpreter stopped before the resume point or its
    // first cut: then nothing is known, and Warnings says so.
    bool Checked = false;
    QStringList Warnings;
};

extern const char* const RestartAllClear; // "Güvenlik kontrolü: sorun bulunmadı."

// toolChangeLine: the 1-based line of the tool change; playback resumes at the line before it.
TRestartCheck CheckRestart(const TToolpath& path, qint32 toolChangeLine);

// The check of every start-from point of a program text, one interpretation
// for them all (for a worker thread: it touches nothing shared).
QList<TRestartCheck> CheckRestarts(const QByteArray& text, const QList<qint32>& toolChangeLines);
