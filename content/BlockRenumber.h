#pragma once
// Renumbering the N words (block numbers) of a G-code program: a start and a
// step, and optionally a number for every block that has none. Lines without
// a block of their own keep their text: blank and comment-only lines, '%'
// lines and program-number or program-name lines (O1000, :1000, _N_PART_MPF).
// The result lists only the lines that change, so the window can show how
// many will before it changes them in one step.
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

struct TRenumberOptions {
    qint64 Start = 10;
    qint64 Step = 10;
    bool NumberUnnumbered = false; // blocks without an N word get one
};

struct TLineEdit {
    qsizetype Line = 0; // 0-based
    QString Text;
    bool operator==(const TLineEdit&) const = default;
};

// Whether a line holds no block to number.
bool IsRenumberSkippedLine(QStringView line);

QList<TLineEdit> RenumberBlocks(const QStringList& lines, const TRenumberOptions& options);
