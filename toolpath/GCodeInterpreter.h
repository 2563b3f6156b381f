#pragma once
// The G-code interpreter: runs a program's UTF-8 text as an ISO/Fanuc-style
// milling control would and records where the tool goes, as a compact move
// list, and what the control's modal state is at any line. What it does not
// understand ends the run with a warning at that line: a path it would have
// to guess is never drawn. Work offsets, tool lengths and home positions are
// unknown here and taken as zero.
#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

enum class TMoveKind : quint8 {
    Rapid, // G0
    Feed, // G1
    Arc, // G2/G3
    Hole, // the feed of a canned cycle into the hole
    Dwell, // G4 or a cycle's dwell: the position does not change
    Machine, // G53, or G28/G30 to the home position: the real position is unknown
};

enum class TPlane : quint8 { XY, ZX, YZ }; // G17, G18, G19

// Coordinates are kept in fixed point: 1e-5 of the program's unit, which holds
// ±21 m and keeps a move at 32 bytes.
constexpr double MoveUnitsPerLength = 100000.0;

struct TToolpathMove {
    qint32 X = 0, Y = 0, Z = 0; // end point
    qint32 CenterU = 0, CenterV = 0; // arc centre on the plane's first and second axis
    quint32 Line = 0; // 1-based line of the text
    float Feed = 0; // the feed in force, or a dwell's seconds
    quint16 Tool = 0;
    TMoveKind Kind = TMoveKind::Rapid;
    // Plane in bits 0-1, counter-clockwise in bit 2, and in bits 3-7 the
    // full turns an arc makes beyond the first.
    quint8 Flags = 0;

    double EndX() const { return X / MoveUnitsPerLength; }
    double EndY() const { return Y / MoveUnitsPerLength; }
    double EndZ() const { return Z / MoveUnitsPerLength; }
    TPlane Plane() const { return TPlane(Flags & 3); }
    bool CounterClockwise() const { return Flags & 4; }
    int ExtraTurns() const { return Flags >> 3; }
    // +1 for G3, -1 for G2; ±(n+1) with n extra turns.
    int Rotation() const { return (CounterClockwise() ? 1 : -1) * (1 + ExtraTurns()); }
};
static_assert(sizeof(TToolpathMove) == 32);

struct TToolpathWarning {
    qint32 Line = 0;
    QString Text;
};

// One modal group's setting: the word as the program wrote it and when it was set.
struct TModalWord {
    QByteArray Word; // "G55", "G43 H12", "S3500"; empty: never set by the program
    qint64 Block = -1; // number of the executed block that set it (from 0)
    bool IsSet() const { return !Word.isEmpty(); }
};

struct TModalState {
    int Motion = 0; // 0, 1, 2, 3, or the cycle's number (73, 81, ...); 80 none
    TModalWord MotionWord;
    TModalWord Plane, Units, Distance, ArcDistance, FeedMode, SpeedMode;
    TModalWord WorkOffset, ToolLength, RadiusComp, Retract;
    TModalWord Spindle; // M3/M4/M5
    TModalWord Speed, FeedRate, Coolant; // S, F, M7/M8/M9
    double SpeedValue = 0, FeedValue = 0;
    bool SpindleRunning = false, CoolantOn = false, ToolLengthOn = false, RadiusCompOn = false;
    bool Metric = true;
    bool Incremental = false;
    int Tool = 0; // T of the last M6 (or T alone)
    double X = 0, Y = 0, Z = 0; // current position in program units
    bool PositionKnown = true; // false after a move to the machine's home
    QByteArray Subprogram; // "O1001" while a subprogram runs, else empty
};

class TToolpath;

struct TInterpreterOptions {
    // Lines of the main program between two stored states, for StateAt.
    int CheckpointLines = 2048;
    // Each move as it is made, for a caller that only needs figures; with
    // KeepMoves false the path's move list stays empty.
    std::function<void(const TToolpathMove&)> OnMove;
    bool KeepMoves = true;
    // Asked before the first line and then every CancelPollLines lines: true
    // ends the run there (an outdated program no longer worth its CPU), and
    // the path says Cancelled().
    std::function<bool()> Cancelled;
    // Lines of nothing but bytes of code 32 or less are left out of the line
    // numbers, as the editor drops them when it opens a file: for the file's
    // own bytes numbered as the editor's text.
    bool SkipBlankLines = false;
};

constexpr int CancelPollLines = 4096;

// The result of a run: the moves, the warnings, where the run stopped.
class TToolpath {
public:
    TToolpath();
    ~TToolpath();
    TToolpath(TToolpath&&) noexcept;
    TToolpath& operator=(TToolpath&&) noexcept;

    const std::vector<TToolpathMove>& Moves() const { return FMoves; }
    const QList<TToolpathWarning>& Warnings() const { return FWarnings; }
    // The run ended before the program's end (at StoppedLine) because of
    // something it could not interpret.
    bool Stopped() const { return FStoppedLine > 0; }
    qint32 StoppedLine() const { return FStoppedLine; }
    qint32 LineCount() const { return FLineCount; }
    // The run was given up on its caller's request: the path is incomplete.
    bool Cancelled() const { return FCancelled; }
    // The modal state as the control holds it when it is about to execute
    // line (1-based) for the first time; false when the run never gets there.
    bool StateAt(qint32 line, TModalState& state) const;
    // What a restart at line meets: the state there, and the state after the
    // first move and after the first cutting move (G1/G2/G3 or a hole) that
    // the control executes from there on.
    struct TResumeProbe {
        bool Reached = false;
        qint64 ResumeBlock = -1; // executed block number of the first block at line
        TModalState AtResume;
        bool MoveFound = false;
        TModalState AtFirstMove;
        bool CutFound = false;
        qint32 CutLine = 0;
        TModalState AtFirstCut;
    };
    TResumeProbe ProbeResume(qint32 line) const;
    // The subprogram ("O1001") whose text holds line, or empty.
    QByteArray SubprogramAt(qint32 line) const;

private:
    friend class TGCodeInterpreter;
    friend TToolpath InterpretProgram(const QByteArray& text, const TInterpreterOptions& options);
    struct TCheckpoints;
    QByteArray FText;
    TInterpreterOptions FOptions;
    std::vector<TToolpathMove> FMoves;
    QList<TToolpathWarning> FWarnings;
    qint32 FStoppedLine = 0;
    qint32 FLineCount = 0;
    bool FCancelled = false;
    std::unique_ptr<TCheckpoints> FCheckpoints;
};

// Runs the program text (UTF-8, lines split at CR LF, CR or LF).
TToolpath InterpretProgram(const QByteArray& text, const TInterpreterOptions& options = {});

// The four-decimal form of the moves, one line each, for the comparison with
// other interpreters: "LINE rapid X Y Z", "LINE feed X Y Z" or
// "LINE arc X Y Z CX CY CZ ROT"; a move that does not change the position is
// left out.
QByteArray MoveListText(const TToolpath& path);

// The path's geometry and figures: extents (arcs' bulges included), lengths
// and an estimated machining time (feeds as programmed, in units per minute;
// rapids at rapidRate).
struct TPoint3 {
    double X = 0, Y = 0, Z = 0;
};

struct TToolpathSummary {
    bool Empty = true;
    TPoint3 Min, Max;
    double RapidLength = 0, FeedLength = 0;
    double Seconds = 0;
    qsizetype MoveCount = 0;
};

// The summary built move by move, as the moves are made or read.
class TToolpathSummarizer {
public:
    explicit TToolpathSummarizer(double rapidRate)
        : FRapidRate(rapidRate)
    {
    }
    void Add(const TToolpathMove& move);
    const TToolpathSummary& Result() const { return FSummary; }

private:
    void Include(const TPoint3& p);
    const double FRapidRate;
    TToolpathSummary FSummary;
    TPoint3 FAt;
    std::vector<TPoint3> FArcPoints;
};

// The same summary made on a thread of its own while the moves are still
// being made: Add hands them over in batches, in their order, and waits only
// when the thread falls a few batches behind.
class TToolpathSummaryThread {
public:
    explicit TToolpathSummaryThread(double rapidRate);
    ~TToolpathSummaryThread();
    TToolpathSummaryThread(const TToolpathSummaryThread&) = delete;
    TToolpathSummaryThread& operator=(const TToolpathSummaryThread&) = delete;

    void Add(const TToolpathMove& move)
    {
        FBatch.push_back(move);
        if (FBatch.size() == BatchMoves)
            HandOver();
    }
    // Every move added, summed up.
    const TToolpathSummary& Finish();

private:
    static constexpr size_t BatchMoves = 16384;
    void HandOver();
    struct TShared;
    std::vector<TToolpathMove> FBatch;
    std::unique_ptr<TShared> FShared;
};

TToolpathSummary SummarizeToolpath(const TToolpath& path, double rapidRate);

// Points along an arc move from start (the end of the move before), the end
// point included, with at most one segment per segmentAngle radians.
void ArcPoints(const TToolpathMove& move, const TPoint3& start, double segmentAngle, std::vector<TPoint3>& points);
// The angle an arc sweeps (radians, full turns included) and its length.
double ArcSweep(const TToolpathMove& move, const TPoint3& start);
