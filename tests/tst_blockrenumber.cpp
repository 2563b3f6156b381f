// Renumbering the N words of a program: which lines change and to what.
#include "content/BlockRenumber.h"

#include <QTest>

Q_DECLARE_METATYPE(TRenumberOptions)

namespace {

QStringList Applied(QStringList lines, const QList<TLineEdit>& edits)
{
    for (const TLineEdit& edit : edits)
        lines[edit.Line] = edit.Text;
    return lines;
}

} // namespace

class TestBlockRenumber : public QObject {
    Q_OBJECT
private slots:
    void renumber_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<TRenumberOptions>("options");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<int>("changed");

        const QStringList program { "%", "O1000 (PART)", "N5 G0 X0", "G1 X5", "(COMMENT N99)", "N7G1X6", "", "M30",
            "%" };
        QTest::newRow("numbered blocks only")
            << program << TRenumberOptions { 10, 10, false }
            << QStringList { "%", "O1000 (PART)", "N10 G0 X0", "G1 X5", "(COMMENT N99)", "N20G1X6", "", "M30", "%" }
            << 2;
        QTest::newRow("every block") << program << TRenumberOptions { 100, 5, true }
                                     << QStringList { "%", "O1000 (PART)", "N100 G0 X0", "N105 G1 X5", "(COMMENT N99)",
                                            "N110G1X6", "", "N115 M30", "%" }
                                     << 4;
        QTest::newRow("already in order changes nothing")
            << QStringList { "N10 G0", "N20 G1" } << TRenumberOptions { 10, 10, false }
            << QStringList { "N10 G0", "N20 G1" } << 0;
        QTest::newRow("block skip, indent, lower case and decimals")
            << QStringList { "  /N3 G0", "n4.5 G1", "\tG2 X1" } << TRenumberOptions { 1, 1, true }
            << QStringList { "  /N1 G0", "n2 G1", "\tN3 G2 X1" } << 3;
        QTest::newRow("comment at the end keeps its N")
            << QStringList { "N1 G0 (N1)", "G1 ; N2" } << TRenumberOptions { 50, 50, true }
            << QStringList { "N50 G0 (N1)", "N100 G1 ; N2" } << 2;
        QTest::newRow("program numbers and SIEMENS names")
            << QStringList { ":1234", "O0001", "O<MAIN>", "_N_PART_MPF", "%_N_PART_MPF", "; only a comment", "G0" }
            << TRenumberOptions { 10, 10, true }
            << QStringList { ":1234", "O0001", "O<MAIN>", "_N_PART_MPF", "%_N_PART_MPF", "; only a comment", "N10 G0" }
            << 1;
        QTest::newRow("a word starting with N is no block number")
            << QStringList { "NINE: X9", "N1 G0" } << TRenumberOptions { 10, 10, false }
            << QStringList { "NINE: X9", "N10 G0" } << 1;
        QTest::newRow("large numbers") << QStringList { "N1 G0", "N2 G0" }
                                       << TRenumberOptions { 4294967290LL, 10, false }
                                       << QStringList { "N4294967290 G0", "N4294967300 G0" } << 2;
    }
    void renumber()
    {
        QFETCH(QStringList, lines);
        QFETCH(TRenumberOptions, options);
        QFETCH(QStringList, expected);
        QFETCH(int, changed);
        const QList<TLineEdit> edits = RenumberBlocks(lines, options);
        QCOMPARE(Applied(lines, edits), expected);
        QCOMPARE(edits.size(), changed);
        for (const TLineEdit& edit : edits)
            QVERIFY2(lines[edit.Line] != edit.Text, qPrintable(edit.Text)); // only lines that change
    }

    void onlyTheNWordsChange()
    {
        // Renumbering changes only the N words: without them every line is as before.
        const QStringList lines { "O2000", "N1 G90 G54", "N2 T1 M6", "N3 S1200 M3", "N40 (DRILL)", "N5 M30" };
        const QStringList after = Applied(lines, RenumberBlocks(lines, { 2, 2, true }));
        QCOMPARE(after, (QStringList { "O2000", "N2 G90 G54", "N4 T1 M6", "N6 S1200 M3", "N8 (DRILL)", "N10 M30" }));
    }
};

QTEST_GUILESS_MAIN(TestBlockRenumber)
#include "tst_blockrenumber.moc"
