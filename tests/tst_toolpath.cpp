// The G-code interpreter: what it does not understand ends the path with a
// warning at its line, the modal state at a line is the same from a stored
// state as from the top, and line numbers hold for every line break.
#include "toolpath/GCodeInterpreter.h"

#include <QTest>

class TestToolpath : public QObject {
    Q_OBJECT
private slots:
    void NotInterpretedEndsThePath_data();
    void NotInterpretedEndsThePath();
    void StateFromCheckpointsEqualsStateFromTop();
    void RepeatedCallsAreBounded();
    void LineNumbersForEveryLineBreak_data();
    void LineNumbersForEveryLineBreak();
    void ModalWordsAsWritten();
    void SummaryOfSquare();
    void SummaryAsTheMovesAreMade_data();
    void SummaryAsTheMovesAreMade();
    void CancelledRunStopsEarly();
};

void TestToolpath::NotInterpretedEndsThePath_data()
{
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<QString>("named");
    QTest::newRow("IF") << QByteArray("IF [#1 GT 2] GOTO 10") << "IF";
    QTest::newRow("WHILE") << QByteArray("WHILE [#1 LT 5] DO1") << "WHILE";
    QTest::newRow("GOTO") << QByteArray("GOTO 20") << "GOTO";
    QTest::newRow("O-word block") << QByteArray("o100 sub") << "o100 sub";
    QTest::newRow("rotary axis") << QByteArray("G1 X5 A90") << "A ekseni";
    QTest::newRow("G76") << QByteArray("G76 X1 Y1 Z-3 R1 Q0.1 P1 F50") << "G76";
    QTest::newRow("G10") << QByteArray("G10 L2 P1 X5") << "G10";
    QTest::newRow("unknown letter") << QByteArray("G1 X5 E0.4") << "E0.4";
    QTest::newRow("division by zero") << QByteArray("G1 X[1/0]") << "X[1/0]";
    QTest::newRow("unknown subprogram") << QByteArray("M98 P9000") << "O9000";
    QTest::newRow("arc radius too small") << QByteArray("G2 X40 Y0 R5") << "Yarıçapı";
    QTest::newRow("brackets nested without end") << ("G1 X" + QByteArray(1000000, '[') + "1") << "X[[[";
    QTest::newRow("signs nested without end") << ("G1 X" + QByteArray(1000000, '-') + "1") << "X---";
    QTest::newRow("arc radii differ") << QByteArray("G2 X40 Y0 I3 J0") << "yarıçapı farklı";
}

void TestToolpath::NotInterpretedEndsThePath()
{
    QFETCH(QByteArray, block);
    QFETCH(QString, named);
    const QByteArray program = "G21 G90\nG0 X1 Y1\nG1 X2 F100\n" + block + "\nG1 X9 Y9\nM30\n";
    const TToolpath path = InterpretProgram(program);
    QVERIFY(path.Stopped());
    QCOMPARE(path.StoppedLine(), 4);
    QCOMPARE(path.Warnings().size(), 1);
    QCOMPARE(path.Warnings()[0].Line, 4);
    QVERIFY2(path.Warnings()[0].Text.contains(named), qPrintable(path.Warnings()[0].Text));
    // Nothing of the block or after it is drawn.
    QCOMPARE(path.Moves().size(), size_t(2));
    QCOMPARE(path.Moves().back().Line, 3u);
    QCOMPARE(path.Moves().back().EndX(), 2.0);
}

void TestToolpath::RepeatedCallsAreBounded()
{
    // 10^10 blocks through nested repeats: the run ends with a warning instead.
    const TToolpath path
        = InterpretProgram("G21 G91\nM98 P1 L100000\nM30\nO1\nM98 P2 L100000\nM99\nO2\nG1 X1 F100\nM99\n");
    QVERIFY(path.Stopped());
    QCOMPARE(path.Warnings().size(), 1);
    QVERIFY(path.Moves().size() < size_t(5000000));
}

void TestToolpath::StateFromCheckpointsEqualsStateFromTop()
{
    // A long program whose state changes all the way: every query from a
    // stored state must give what a run from the top gives.
    QByteArray program = "G21 G90 G54\n";
    for (int i = 0; i < 3000; ++i) {
        program += "G1 X" + QByteArray::number(i) + " Y" + QByteArray::number(i % 7) + " F"
            + QByteArray::number(100 + i) + "\n";
        if (i % 500 == 250)
            program += "T" + QByteArray::number(i) + " M6\nG5" + QByteArray::number(4 + i / 500) + " S"
                + QByteArray::number(i) + " M3\n";
    }
    program += "M30\n";
    const auto every = [](int lines) {
        TInterpreterOptions options;
        options.CheckpointLines = lines;
        return options;
    };
    const TToolpath stored = InterpretProgram(program, every(64));
    const TToolpath fromTop = InterpretProgram(program, every(1 << 30));
    QVERIFY(stored.Warnings().isEmpty());
    for (qint32 line : { 1, 2, 64, 65, 66, 200, 1000, 1777, 2500, 3001, 3006 }) {
        TModalState a, b;
        QVERIFY(stored.StateAt(line, a));
        QVERIFY(fromTop.StateAt(line, b));
        QCOMPARE(a.X, b.X);
        QCOMPARE(a.Y, b.Y);
        QCOMPARE(a.FeedValue, b.FeedValue);
        QCOMPARE(a.FeedRate.Word, b.FeedRate.Word);
        QCOMPARE(a.FeedRate.Block, b.FeedRate.Block);
        QCOMPARE(a.WorkOffset.Word, b.WorkOffset.Word);
        QCOMPARE(a.Speed.Word, b.Speed.Word);
        QCOMPARE(a.Tool, b.Tool);
    }
    TModalState state;
    QVERIFY(stored.StateAt(400, state));
    // Line 400 is G1 X396 (one line of set-up, two of the first tool change): X395 is where the tool stands.
    QCOMPARE(state.X, 395.0);
    QCOMPARE(state.FeedRate.Word, QByteArray("F495"));
    QCOMPARE(state.Tool, 250);
    QCOMPARE(state.WorkOffset.Word, QByteArray("G54"));
    QVERIFY(!stored.StateAt(100000, state));
}

void TestToolpath::LineNumbersForEveryLineBreak_data()
{
    QTest::addColumn<QByteArray>("lineBreak");
    QTest::newRow("LF") << QByteArray("\n");
    QTest::newRow("CR LF") << QByteArray("\r\n");
    QTest::newRow("CR") << QByteArray("\r");
    QTest::newRow("U+2028") << QByteArray("\xE2\x80\xA8");
}

void TestToolpath::LineNumbersForEveryLineBreak()
{
    QFETCH(QByteArray, lineBreak);
    const QList<QByteArray> lines { "%", "(comment)", "", "G0 X1", "G1 X2 F10", "", "G1 Y3", "%" };
    const TToolpath path = InterpretProgram(lines.join(lineBreak));
    QVERIFY(path.Warnings().isEmpty());
    QCOMPARE(path.Moves().size(), size_t(3));
    QCOMPARE(path.Moves()[0].Line, 4u);
    QCOMPARE(path.Moves()[1].Line, 5u);
    QCOMPARE(path.Moves()[2].Line, 7u);
    QCOMPARE(path.Moves()[2].EndY(), 3.0);
}

void TestToolpath::ModalWordsAsWritten()
{
    const TToolpath path = InterpretProgram("g54.1 p2\nG43H12 S3500 m3\nT7 M06\nG0 X1\nM8 G91\nG1 X1 F250.\nM30\n");
    QVERIFY(path.Warnings().isEmpty());
    TModalState state;
    QVERIFY(path.StateAt(6, state));
    QCOMPARE(state.WorkOffset.Word, QByteArray("G54.1 P2"));
    QCOMPARE(state.ToolLength.Word, QByteArray("G43 H12"));
    QCOMPARE(state.Speed.Word, QByteArray("S3500"));
    QCOMPARE(state.Spindle.Word, QByteArray("M3"));
    QCOMPARE(state.Coolant.Word, QByteArray("M8"));
    QCOMPARE(state.Distance.Word, QByteArray("G91"));
    QCOMPARE(state.Tool, 7);
    QVERIFY(path.StateAt(7, state));
    QCOMPARE(state.X, 2.0);
    QCOMPARE(state.FeedRate.Word, QByteArray("F250."));
}

void TestToolpath::SummaryOfSquare()
{
    // A 10 x 10 square with a rounded corner of radius 5 above the top edge, a rapid in and out.
    const TToolpath path
        = InterpretProgram("G21 G90\nG0 X0 Y0 Z5\nG1 Z0 F600\nX10\nY10\nG3 X0 Y10 I-5 J0\nG1 Y0\nG0 Z5\nM30\n");
    const TToolpathSummary s = SummarizeToolpath(path, 6000);
    QVERIFY(!s.Empty);
    QCOMPARE(s.Min.X, 0.0);
    QCOMPARE(s.Max.X, 10.0);
    QVERIFY(qAbs(s.Max.Y - 15.0) < 0.01); // the arc's top
    QCOMPARE(s.Max.Z, 5.0);
    QVERIFY(qAbs(s.FeedLength - (5 + 30 + 5 * M_PI)) < 1e-6);
    QVERIFY(qAbs(s.RapidLength - 10) < 1e-9);
    QVERIFY(qAbs(s.Seconds - ((5 + 30 + 5 * M_PI) / 600 * 60 + 10.0 / 6000 * 60)) < 1e-6);
}

void TestToolpath::SummaryAsTheMovesAreMade_data()
{
    QTest::addColumn<QByteArray>("program");
    QTest::addColumn<double>("maxY");
    QTest::addColumn<double>("maxZ");
    QTest::newRow("arc bulging past the extents")
        << QByteArray("G0 X0 Y0 Z0\nG1 X10 F100\nG3 X-10 Y0 I-10 J0\nM30\n") << 10.0 << 0.0;
    QTest::newRow("arc inside the extents")
        << QByteArray("G0 X-20 Y-20 Z0\nG0 X20 Y20\nG1 X5 Y0 F100\nG2 X-5 Y0 I-5 J0\nM30\n") << 20.0 << 0.0;
    QTest::newRow("circle inside in the plane, helix above the extents")
        << QByteArray("G0 X-20 Y-20 Z0\nG0 X20 Y20\nG1 X5 Y0 F100\nG2 X5 Y0 Z3 I-5 J0\nM30\n") << 20.0 << 3.0;
    QTest::newRow("arc in the ZX plane") << QByteArray("G18\nG0 X0 Y0 Z0\nG1 X10 F100\nG2 X-10 Z0 I-10 K0\nM30\n")
                                         << 0.0 << 10.0;
}

void TestToolpath::SummaryAsTheMovesAreMade()
{
    // The figures summed up as the moves are made, without a move list, are
    // those of the kept list; an arc inside the extents found so far leaves
    // them as they are and one reaching past them widens them.
    QFETCH(QByteArray, program);
    QFETCH(double, maxY);
    QFETCH(double, maxZ);
    const TToolpath kept = InterpretProgram(program);
    const TToolpathSummary expected = SummarizeToolpath(kept, 6000);
    TToolpathSummarizer summarizer(6000);
    TInterpreterOptions options;
    options.KeepMoves = false;
    options.OnMove = [&summarizer](const TToolpathMove& move) { summarizer.Add(move); };
    const TToolpath streamed = InterpretProgram(program, options);
    QVERIFY(streamed.Moves().empty());
    QVERIFY(kept.Warnings().isEmpty());
    const TToolpathSummary s = summarizer.Result();
    QCOMPARE(s.MoveCount, qsizetype(kept.Moves().size()));
    QCOMPARE(s.MoveCount, expected.MoveCount);
    for (const auto& [got, want] : { std::pair { s.Min, expected.Min }, std::pair { s.Max, expected.Max } }) {
        QCOMPARE(got.X, want.X);
        QCOMPARE(got.Y, want.Y);
        QCOMPARE(got.Z, want.Z);
    }
    QCOMPARE(s.FeedLength, expected.FeedLength);
    QCOMPARE(s.RapidLength, expected.RapidLength);
    QCOMPARE(s.Seconds, expected.Seconds);
    QVERIFY2(qAbs(s.Max.Y - maxY) < 0.01, qPrintable(QString::number(s.Max.Y)));
    QVERIFY2(qAbs(s.Max.Z - maxZ) < 0.01, qPrintable(QString::number(s.Max.Z)));
}

void TestToolpath::CancelledRunStopsEarly()
{
    // One feed per line after the two lines of set-up; the run asks before
    // the first line and then every CancelPollLines lines, and stops at the
    // third question: the moves of exactly two polls' lines are made.
    QByteArray program = "G21 G90\nF100\n";
    const int lines = 10 * CancelPollLines;
    for (int i = 0; i < lines; ++i)
        program += "G1 X" + QByteArray::number(i % 50) + "\n";
    program += "M30\n";
    int asked = 0;
    TInterpreterOptions options;
    options.Cancelled = [&asked] { return ++asked == 3; };
    const TToolpath stopped = InterpretProgram(program, options);
    QCOMPARE(asked, 3);
    QVERIFY(stopped.Cancelled());
    QCOMPARE(qsizetype(stopped.Moves().size()), qsizetype(2 * CancelPollLines - 2));

    // A run never told to stop asks every CancelPollLines lines and ends complete.
    asked = 0;
    options.Cancelled = [&asked] { return ++asked < 0; };
    const TToolpath whole = InterpretProgram(program, options);
    QVERIFY(!whole.Cancelled());
    QCOMPARE(qsizetype(whole.Moves().size()), qsizetype(lines));
    QCOMPARE(asked, (lines + 3 + CancelPollLines - 1) / CancelPollLines);
}

QTEST_GUILESS_MAIN(TestToolpath)
#include "tst_toolpath.moc"
