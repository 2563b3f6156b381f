#pragma once
// Finds the tool changes of a program: lines holding both a T word and an M6
// word. Each becomes a start-from candidate and a row of the tool-change list.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

struct TStartFromCandidate {
    qint32 LineNumber = 0; // 1-based line of the tool change
    qint64 UncompressedOffset = 0; // start of the line before it (0 on the first line)
    bool operator==(const TStartFromCandidate&) const = default;
};

// The rows of the tool-change list, kept compact: each row holds its line
// number, offset and trimmed line, and its text ("Satır %d, bayt %d: %s") is
// made only when asked for. A scan of millions of tool changes builds no
// string per row, and holds their lines in one buffer.
class TToolChangeRows {
public:
    // Of a longer line a row keeps this many bytes (cut between characters):
    // more than any view shows of it.
    static constexpr qsizetype MaxLineBytes = 4096;

    void Append(qint32 lineNumber, qint64 offset, QByteArrayView trimmedLine);
    qsizetype size() const { return FRows.size(); }
    bool isEmpty() const { return FRows.isEmpty(); }
    void clear();
    qint32 LineNumber(qsizetype row) const { return FRows[row].LineNumber; }
    qint64 Offset(qsizetype row) const { return FRows[row].Offset; }
    QByteArrayView Line(qsizetype row) const
    {
        return QByteArrayView(FLines).sliced(FRows[row].Start, FRows[row].Length);
    }
    QString Text(qsizetype row) const;
    // The characters (UTF-16 units) of Text(row), without making it.
    qsizetype TextLength(qsizetype row) const;

private:
    struct TRow {
        qint64 Offset;
        qint64 Start; // of the line in FLines
        qint32 LineNumber;
        qint32 Length;
    };
    QList<TRow> FRows;
    QByteArray FLines;
};

struct TToolChangeScan {
    // True when blank lines were dropped: Text (ScanToolChangeText) or Lines
    // (ScanToolChangeLines) then holds the rewritten text, whose line break is
    // CR LF from then on.
    bool LinesRewritten = false;
    QByteArray Text;
    QStringList Lines;
    // Two or more program-number lines: a multi-program text, not scanned.
    bool MultipleProgramNumbers = false;
    TToolChangeRows Rows;
    QList<TStartFromCandidate> Candidates;
};

bool IsProgramNumberLine(QStringView line); // "^[O:]\d+" on the trimmed line
bool HasToolWord(QStringView line); // "\bT\d+\b"
bool HasToolChangeWord(QStringView line); // "\bM0*6\b"
bool IsToolChangeLine(QStringView line);
// The same test on a line of UTF-8 text, without making a string of it.
bool IsToolChangeLineUtf8(QByteArrayView line);

// A row's text, "Satır %1, bayt %2: %3" (the line trimmed), and its start in UTF-8.
QString ToolChangeRowText(qint32 lineNumber, qint64 offset, QByteArrayView line);
QByteArray ToolChangeRowPrefix(qint32 lineNumber, qint64 offset);
// How many characters a number takes in decimal, its sign included.
qsizetype DecimalWidth(qint64 value);

// The scan over the editor's UTF-8 text (lines as views into it).
// lineBreakLength: characters of the editor's line break (1 for LF or CR alone,
// 2 for CR LF); it counts as 2 once blank lines were removed.
TToolChangeScan ScanToolChangeText(const QByteArray& text, int lineBreakLength);
// The scan over a text given in pieces of whole lines, in order, for a text
// whose blank lines are dropped as it goes (or that has none): they are left
// out of the line numbers and offsets. lineBreakLength as above, for the text
// without blank lines.
class TToolChangeScanner {
public:
    explicit TToolChangeScanner(int lineBreakLength);
    void AddLines(QByteArrayView lines);
    qint64 BlankLines() const { return FBlankLines; }
    // Rows and candidates (none for a multi-program text); Text stays empty
    // and LinesRewritten tells whether blank lines were met.
    TToolChangeScan Result() const;

private:
    const int FLineBreakLength;
    qint64 FBlankLines = 0;
    int FProgramNumbers = 0;
    qint32 FLineNumber = 0;
    qint64 FOffset = 0, FPreviousOffset = 0;
    TToolChangeRows FRows;
    QList<TStartFromCandidate> FCandidates;
};

// The tool changes ScanToolChangeText finds, each handed over as it is found
// instead of kept: for a command that writes its rows as it goes. A
// multi-program text has none. onHit returns false to stop.
struct TToolChangeHit {
    qint32 LineNumber = 0;
    qint64 Offset = 0; // where the line starts, as the row shows it
    qint64 ResumeOffset = 0; // the start-from candidate's offset
    QByteArrayView Line; // trimmed
};
void ForEachToolChangeHit(
    QByteArrayView text, int lineBreakLength, const std::function<bool(const TToolChangeHit&)>& onHit);

// The text's lines that are not blank, joined by CR LF.
QByteArray DropBlankLines(QByteArrayView text);

TToolChangeScan ScanToolChangeLines(const QStringList& lines, int lineBreakLength);
