#pragma once
// One small program in every line-break style, with a ';' comment on an early
// line, and what opening, scanning and uploading it must give everywhere.
#include <QByteArray>
#include <QList>
#include <QStringList>
#include <QTest>

struct TLineBreakCase {
    const char* Name;
    QByteArray Break;
    int RowOffset; // the row's byte offset of the tool-change line
    int CandidateOffset; // the candidate's: the line before it
};

inline QList<TLineBreakCase> LineBreakCases()
{
    return {
        { "CR LF", "\r\n", 20, 7 },
        { "LF", "\n", 18, 6 },
        { "CR", "\r", 18, 6 },
        { "U+2028", "\xe2\x80\xa8", 18, 6 },
    };
}

inline QByteArray LineBreakProgram(const QByteArray& lineBreak)
{
    return "O1000" + lineBreak + "G1X1;rapid" + lineBreak + "T1M6" + lineBreak + "G2X2Y3" + lineBreak;
}

inline QStringList LineBreakProgramLines()
{
    return { "O1000", "G1 X1;rapid", "T1 M6", "G2 X2 Y3" };
}

inline QByteArray LineBreakProgramUpload()
{
    return "%\r\nO1000\r\nG1 X1;RAPID\r\nT1 M6\r\nG2 X2 Y3\r\n%\r\n";
}

// The table's columns and rows for a data-driven test.
inline void AddLineBreakRows()
{
    QTest::addColumn<QByteArray>("lineBreak");
    QTest::addColumn<int>("rowOffset");
    QTest::addColumn<int>("candidateOffset");
    for (const TLineBreakCase& c : LineBreakCases())
        QTest::newRow(c.Name) << c.Break << c.RowOffset << c.CandidateOffset;
}
