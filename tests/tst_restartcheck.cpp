// The restart check: one warning per modal group the program sets only before
// the resume point, and none when the program sets it again after it.
#include "TestUtil.h"
#include "content/ToolChangeScanner.h"
#include "toolpath/RestartCheck.h"

#include <QTest>

namespace {

// Tool 1 cuts with every group set; the line before "T2 M6" is the resume
// point, after which tool 2's block sets every group again.
const char* const FirstTool = "G21 G17 G90 G55\n"
                              "T1 M6\n"
                              "S1000 M3\n"
                              "G43 H1 M8\n"
                              "G0 X0 Y0 Z5\n"
                              "G1 Z-1 F100\n"
                              "G0 Z5\n";
const char* const SecondTool = "(tool 2)\n"
                               "T2 M6\n"
                               "G21 G17 G90 G55\n"
                               "S2000 M3\n"
                               "G43 H2 M8\n"
                               "G0 X10 Y10\n"
                               "G1 Z-1 F200\n"
                               "M30\n";

QByteArray Without(QByteArray text, const QByteArray& word)
{
    if (word.isEmpty())
        return text;
    const qsizetype at = text.indexOf(word);
    Q_ASSERT(at >= 0);
    return text.remove(at, word.size());
}

qint32 ToolChangeLine(const QByteArray& program, int index)
{
    const TToolChangeScan scan = ScanToolChangeText(program, 1);
    return index < scan.Candidates.size() ? scan.Candidates[index].LineNumber : -1;
}

} // namespace

class TestRestartCheck : public QObject {
    Q_OBJECT
private slots:
    void EachMissingGroupWarns_data();
    void EachMissingGroupWarns();
    void SubprogramResumePoint();
    void InterpreterStopBeforeResumeIsNoAllClear();
    void CamOutputFromCorpusIsClear();
};

void TestRestartCheck::EachMissingGroupWarns_data()
{
    QTest::addColumn<QByteArray>("firstExtra"); // appended to tool 1's part
    QTest::addColumn<QByteArray>("removed"); // taken out of tool 2's part
    QTest::addColumn<QString>("warning"); // the warnings, one a line
    QTest::newRow("all set") << QByteArray() << QByteArray() << QString();
    QTest::newRow("spindle") << QByteArray() << QByteArray(" M3")
                             << "İlk kesmeden önce iş mili çalıştırılmıyor (M3/M4 yok).";
    QTest::newRow("speed") << QByteArray() << QByteArray("S2000")
                           << "İlk kesmeden önce devir verilmiyor (programda bu noktada S1000 etkin).";
    QTest::newRow("feed") << QByteArray() << QByteArray(" F200")
                          << "İlk kesmeden önce ilerleme verilmiyor (programda bu noktada F100 etkin).";
    QTest::newRow("work offset") << QByteArray() << QByteArray(" G55")
                                 << "İş koordinat sistemi seçilmiyor (programda bu noktada G55 etkin).";
    QTest::newRow("distance") << QByteArray() << QByteArray(" G90")
                              << "Mutlak/artışlı mod seçilmiyor (programda bu noktada G90 etkin).";
    QTest::newRow("tool length") << QByteArray() << QByteArray("G43 H2")
                                 << "Takım boyu telafisi açılmıyor (programda bu noktada G43 H1 etkin).";
    QTest::newRow("plane") << QByteArray() << QByteArray(" G17")
                           << "Çalışma düzlemi seçilmiyor (programda bu noktada G17 etkin).";
    QTest::newRow("units") << QByteArray() << QByteArray("G21") << "Birim seçilmiyor (programda bu noktada G21 etkin).";
    QTest::newRow("coolant") << QByteArray() << QByteArray(" M8")
                             << "Soğutma açılmıyor (programda bu noktada M8 etkin).";
    QTest::newRow("cycle") << QByteArray("G81 X1 Y1 Z-2 R1 F100\n")
                           << QByteArray("G0 X10")
                           // the hole drilled there is the first cut, at the feed set before
                           << "İlk kesmeden önce ilerleme verilmiyor (programda bu noktada F100 etkin).\n"
                              "Devam noktasında delme çevrimi etkin (G81): ilk konumlama bir delik deler.";
    QTest::newRow("cycle cancelled") << QByteArray("G81 X1 Y1 Z-2 R1 F100\nG80\n") << QByteArray() << QString();
    QTest::newRow("radius compensation") << QByteArray("G41 D1 G1 X1\n") << QByteArray()
                                         << "Devam noktasında takım yarıçap telafisi açık (G41 D1).";
    QTest::newRow("radius compensation off") << QByteArray("G41 D1 G1 X1\nG40 G1 X2\n") << QByteArray() << QString();
}

void TestRestartCheck::EachMissingGroupWarns()
{
    QFETCH(QByteArray, firstExtra);
    QFETCH(QByteArray, removed);
    QFETCH(QString, warning);
    const QByteArray program = FirstTool + firstExtra + Without(SecondTool, removed);
    const TToolpath path = InterpretProgram(program);
    QVERIFY2(path.Warnings().isEmpty(), qPrintable(path.Warnings().value(0).Text));
    const qint32 toolChange = ToolChangeLine(program, 1);
    QVERIFY(toolChange > 0);
    const TRestartCheck check = CheckRestart(path, toolChange);
    QVERIFY(check.Checked);
    QCOMPARE(check.ResumeLine, toolChange - 1);
    QCOMPARE(check.Tool, 2);
    QCOMPARE(check.Warnings, warning.split('\n', Qt::SkipEmptyParts));
}

void TestRestartCheck::SubprogramResumePoint()
{
    // The tool change stands in O100: playback from there runs into its M99.
    const QByteArray program = "G21 G17 G90 G54\n"
                               "S1000 M3\n"
                               "M98 P100\n"
                               "M30\n"
                               "O100\n"
                               "G0 Z5\n"
                               "T3 M6\n"
                               "G21 G17 G90 G54\n"
                               "S1000 M3\n"
                               "G0 X1 Y1\n"
                               "G1 Z-1 F50\n"
                               "M99\n";
    const TToolpath path = InterpretProgram(program);
    QVERIFY(path.Warnings().isEmpty());
    const TRestartCheck check = CheckRestart(path, 7);
    QCOMPARE(check.Warnings, QStringList { "Devam noktası bir alt programın içinde (O100)." });
}

void TestRestartCheck::InterpreterStopBeforeResumeIsNoAllClear()
{
    const QByteArray program = "G21 G90\nT1 M6\nS100 M3\nWHILE [1] DO1\nG1 X1 F10\nEND1\nT2 M6\nG1 X2 F10\nM30\n";
    const TToolpath path = InterpretProgram(program);
    QCOMPARE(path.StoppedLine(), 4);
    const TRestartCheck check = CheckRestart(path, 7);
    QVERIFY(!check.Checked);
    QCOMPARE(check.Warnings.size(), 1);
    QVERIFY(check.Warnings[0].contains("güvenlik kontrolü yapılamadı"));
}

void TestRestartCheck::CamOutputFromCorpusIsClear()
{
    // A CAM post-processor's output whose tool change follows its safe-start block.
    QUILLEX_REQUIRE_CORPUS();
    const QByteArray program = FileBytes(QUILLEX_GCODE_DATA "/camotics/examples/cameo/cameo.nc");
    QVERIFY(!program.isEmpty());
    const TToolpath path = InterpretProgram(program);
    QVERIFY(path.Warnings().isEmpty());
    const TToolChangeScan scan = ScanToolChangeText(program, 1);
    QVERIFY(!scan.Candidates.isEmpty());
    for (const TStartFromCandidate& c : scan.Candidates) {
        const TRestartCheck check = CheckRestart(path, c.LineNumber);
        QVERIFY(check.Checked);
        QCOMPARE(check.Warnings, QStringList());
    }
}

QTEST_GUILESS_MAIN(TestRestartCheck)
#include "tst_restartcheck.moc"
