#include "content/ToolChangeScanner.h"

#include <QTest>

Q_DECLARE_METATYPE(QList<TStartFromCandidate>)

namespace {

struct THits {
    QStringList Rows;
    QList<TStartFromCandidate> Candidates;
};

THits Hits(const QByteArray& text, int lineBreak)
{
    THits hits;
    ForEachToolChangeHit(text, lineBreak, [&](const TToolChangeHit& hit) {
        hits.Rows << ToolChangeRowText(hit.LineNumber, hit.Offset, hit.Line);
        hits.Candidates.append({ hit.LineNumber, hit.ResumeOffset });
        return true;
    });
    return hits;
}

} // namespace

class TestToolChangeScanner : public QObject {
    Q_OBJECT
private slots:
    void toolChangeLine_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("expected");
        QTest::newRow("T2 M6") << "T2 M6" << true;
        QTest::newRow("M06 before T") << "M06 T12" << true;
        QTest::newRow("M006") << "T1 M006" << true;
        QTest::newRow("no boundary T1M6") << "T1M6" << false;
        QTest::newRow("no boundary N10T1") << "N10T1 M6" << false;
        QTest::newRow("spaced N10 T1 M6") << "N10 T1 M6" << true;
        QTest::newRow("lower case") << "t1 m6" << false;
        QTest::newRow("M60") << "T1 M60" << false;
        QTest::newRow("M16") << "T1 M16" << false;
        QTest::newRow("T without digits") << "T M6" << false;
        QTest::newRow("comment words count") << "(T3 M06)" << true;
        QTest::newRow("underscore is a word char") << "T1_ M6" << false;
        QTest::newRow("Arabic-Indic digit is no digit") << QString("T\u0661 M6") << false;
        QTest::newRow("Turkish letter is no word char") << QString::fromUtf8("ŞT1 M6Ç") << true;
        QTest::newRow("fullwidth digit") << QString("T1 M\uFF16") << false;
        QTest::newRow("lone surrogate beside") << QString("T1 M6") + QChar(0xD800) << true;
        QTest::newRow("second T is the word") << "XT1 T2 M6" << true;
        QTest::newRow("second M is the word") << "T2 AM6 M6" << true;
        QTest::newRow("Latin-1 letter before T") << QString::fromUtf8("éT1 M6") << true;
        QTest::newRow("M at the end") << "T1 M" << false;
        QTest::newRow("M0 without 6") << "T1 M00" << false;
        QTest::newRow("T digits at the end") << "M6 T123" << true;
    }
    // The same answer from the text's UTF-8 bytes, the way the scan reads them.
    void toolChangeLine()
    {
        QFETCH(QString, line);
        QFETCH(bool, expected);
        QCOMPARE(IsToolChangeLine(line), expected);
        if (!line.contains(QChar(0xD800)))
            QCOMPARE(IsToolChangeLineUtf8(line.toUtf8()), expected);
    }

    void programNumberLine_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("expected");
        QTest::newRow("O1000") << "O1000" << true;
        QTest::newRow(":2000") << ":2000" << true;
        QTest::newRow("leading blank is trimmed") << "  O1 (X)" << true;
        QTest::newRow("lower o") << "o1000" << false;
        QTest::newRow("O alone") << "O" << false;
        QTest::newRow("non-ASCII digit") << QString("O\u0661") << false;
        QTest::newRow("N before") << "N1 O1000" << false;
    }
    void programNumberLine()
    {
        QFETCH(QString, line);
        QFETCH(bool, expected);
        QCOMPARE(IsProgramNumberLine(line), expected);
    }

    void scan_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<int>("lineBreak");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QList<TStartFromCandidate>>("candidates");
        using C = QList<TStartFromCandidate>;
        QTest::newRow("middle tool change, CR LF")
            << QStringList { "G0 X0", "T2 M6", "G1 X5" } << 2
            << QStringList { QString::fromUtf8("Satır 2, bayt 7: T2 M6") } << C { { 2, 0 } };
        QTest::newRow("first line") << QStringList { "T1 M06", "G0" } << 2
                                    << QStringList { QString::fromUtf8("Satır 1, bayt 0: T1 M06") } << C { { 1, 0 } };
        QTest::newRow("LF offsets") << QStringList { "G0", "G1 X1", "T3 M6", "T4 M6 " } << 1
                                    << QStringList { QString::fromUtf8("Satır 3, bayt 9: T3 M6"),
                                           QString::fromUtf8("Satır 4, bayt 15: T4 M6") }
                                    << C { { 3, 3 }, { 4, 9 } };
        QTest::newRow("one row per line")
            << QStringList { "T12 M6 (T3 M06)" } << 2
            << QStringList { QString::fromUtf8("Satır 1, bayt 0: T12 M6 (T3 M06)") } << C { { 1, 0 } };
        QTest::newRow("single program number scanned")
            << QStringList { "O1000", "T1 M6" } << 2 << QStringList { QString::fromUtf8("Satır 2, bayt 7: T1 M6") }
            << C { { 2, 0 } };
        QTest::newRow("two program numbers")
            << QStringList { "O1000", "T1 M6", ":2000", "T2 M6" } << 2 << QStringList {} << C {};
        QTest::newRow("nothing") << QStringList { "G0 X0", "M30" } << 2 << QStringList {} << C {};
        QTest::newRow("empty text") << QStringList {} << 2 << QStringList {} << C {};
        // Offsets count the editor's characters: a letter outside the BMP counts two.
        QTest::newRow("offsets in characters, not bytes")
            << QStringList { QString::fromUtf8("(ç😀)"), "T1 M6" } << 1
            << QStringList { QString::fromUtf8("Satır 2, bayt 6: T1 M6") } << C { { 2, 0 } };
    }
    void scan()
    {
        QFETCH(QStringList, lines);
        QFETCH(int, lineBreak);
        QFETCH(QStringList, rows);
        QFETCH(QList<TStartFromCandidate>, candidates);
        const TToolChangeScan scan = ScanToolChangeLines(lines, lineBreak);
        QStringList texts;
        for (qsizetype row = 0; row < scan.Rows.size(); ++row)
            texts << scan.Rows.Text(row);
        QCOMPARE(texts, rows);
        QCOMPARE(scan.Candidates, candidates);
        for (qsizetype i = 0; i < scan.Rows.size(); ++i)
            QCOMPARE(scan.Rows.LineNumber(i), scan.Candidates[i].LineNumber);
        QVERIFY(!scan.LinesRewritten);
        // The same rows handed over one by one, as quillex-cli scan writes them.
        const THits hits = Hits(lines.join('\n').toUtf8(), lineBreak);
        QCOMPARE(hits.Rows, rows);
        QCOMPARE(hits.Candidates, candidates);
    }

    void blankLinesAreRemoved()
    {
        // With LF line ends the offsets would advance by 1; once blank lines
        // are dropped the editor's line break is CR LF and they advance by 2.
        const QStringList lines { "G0", "", "  \t", "G1", "T1 M6" };
        const TToolChangeScan scan = ScanToolChangeLines(lines, 1);
        QVERIFY(scan.LinesRewritten);
        QCOMPARE(scan.Lines, QStringList({ "G0", "G1", "T1 M6" }));
        QCOMPARE(scan.Candidates, QList<TStartFromCandidate>({ { 3, 4 } }));
        QCOMPARE(scan.Rows.Text(0), QString::fromUtf8("Satır 3, bayt 8: T1 M6"));
        const THits hits = Hits("G0\n\n  \t\nG1\nT1 M6", 1);
        QCOMPARE(hits.Rows, QStringList { scan.Rows.Text(0) });
        QCOMPARE(hits.Candidates, scan.Candidates);
    }

    void multiProgramTextStillLosesBlankLines()
    {
        const TToolChangeScan scan = ScanToolChangeLines({ "O1", "", "O2" }, 2);
        QVERIFY(scan.MultipleProgramNumbers);
        QVERIFY(scan.LinesRewritten);
        QCOMPARE(scan.Lines, QStringList({ "O1", "O2" }));
        QVERIFY(scan.Candidates.isEmpty());
        QCOMPARE(Hits("O1\nT1 M6\n\nO2\nT2 M6\n", 2).Rows, QStringList {});
    }

    void hitsStopWhenAsked()
    {
        int calls = 0;
        ForEachToolChangeHit("T1 M6\nT2 M6\nT3 M6\n", 1, [&](const TToolChangeHit&) { return ++calls < 2; });
        QCOMPARE(calls, 2);
    }

    // A row's text is made when asked for, and its length is known without
    // making it (the list sizes its rows by the longest); of a huge line a
    // row keeps the start, cut between characters.
    void rowTexts_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<qint64>("offset");
        QTest::newRow("ASCII") << QByteArray("T1 M6") << qint64(0);
        QTest::newRow("letters outside ASCII") << QString::fromUtf8("T1 M6 (çğ😀)").toUtf8() << qint64(123456789012);
        QTest::newRow("a huge line") << "T1 M6 " + QByteArray(1 << 20, 'X') << qint64(7);
        QTest::newRow("a huge line of three-byte letters")
            << "T1 M6 " + QString(1 << 18, QChar(0x20AC)).toUtf8() << qint64(7);
    }
    void rowTexts()
    {
        QFETCH(QByteArray, line);
        QFETCH(qint64, offset);
        TToolChangeRows rows;
        rows.Append(1, 0, "T2 M6");
        rows.Append(42, offset, line);
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows.LineNumber(1), 42);
        const QString text = rows.Text(1), whole = ToolChangeRowText(42, offset, line);
        QCOMPARE(rows.TextLength(1), text.size());
        QVERIFY(!text.contains(QChar::ReplacementCharacter));
        QVERIFY(rows.Line(1).size() <= TToolChangeRows::MaxLineBytes);
        if (line.size() <= TToolChangeRows::MaxLineBytes)
            QCOMPARE(text, whole);
        else
            QVERIFY(whole.startsWith(text) && text.size() > 1000); // more than the list shows
        QCOMPARE(rows.Text(0), QString::fromUtf8("Satır 1, bayt 0: T2 M6"));
    }

    void percentInLineIsLiteral()
    {
        const TToolChangeScan scan = ScanToolChangeLines({ "T1 M6 (%1 %2)" }, 2);
        QCOMPARE(scan.Rows.Text(0), QString::fromUtf8("Satır 1, bayt 0: T1 M6 (%1 %2)"));
    }
};

QTEST_GUILESS_MAIN(TestToolChangeScanner)
#include "tst_toolchangescanner.moc"
