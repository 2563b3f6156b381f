// Find and replace over UTF-8 text: plain text, whole words, letter case,
// regular expressions, wrapping past either end, replace all, background count.
#include "content/TextSearch.h"

#include <QSignalSpy>
#include <QTest>

namespace {

TSearchOptions Options(const QString& pattern, const QString& flags)
{
    // Flags: c = match case, w = whole word, r = regular expression.
    return { pattern, flags.contains('c'), flags.contains('w'), flags.contains('r') };
}

// Every match as "start+length", found by stepping with FindNext as the bar does.
QStringList AllMatches(const TTextSearch& search, const QByteArray& text)
{
    QStringList found;
    qsizetype from = 0;
    bool allowEmpty = true;
    while (const auto match = search.FindNext(text, from, allowEmpty)) {
        if (match->Wrapped)
            break;
        found << QString("%1+%2").arg(match->Match.Start).arg(match->Match.Length);
        from = match->Match.End();
        allowEmpty = match->Match.Length > 0;
    }
    return found;
}

} // namespace

class TestTextSearch : public QObject {
    Q_OBJECT
private slots:
    void matches_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("flags");
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("plain, any case") << QByteArray("G1 X5\r\ng1 x6") << "g1"
                                         << "" << QStringList { "0+2", "7+2" };
        QTest::newRow("plain, match case") << QByteArray("G1 X5\r\ng1 x6") << "g1"
                                           << "c" << QStringList { "7+2" };
        QTest::newRow("plain text is not a pattern") << QByteArray("X1.5 X105 (A+B)") << "1.5"
                                                     << "" << QStringList { "1+3" };
        QTest::newRow("parentheses and plus") << QByteArray("X1 (A+B)") << "(A+B)"
                                              << "" << QStringList { "3+5" };
        QTest::newRow("whole word skips longer words") << QByteArray("T1 T12 T1\nXT1") << "T1"
                                                       << "w" << QStringList { "0+2", "7+2" };
        QTest::newRow("whole word at the end of the text") << QByteArray("G0\nM30") << "M30"
                                                           << "w" << QStringList { "3+3" };
        QTest::newRow("match up to the last byte") << QByteArray("N10 G1\nN20 M30") << "M30"
                                                   << "c" << QStringList { "11+3" };
        QTest::newRow("whole word, Turkish letters are word letters")
            << QByteArray("DÖN DÖNÜŞ") << QString::fromUtf8("DÖN") << "w" << QStringList { "0+4" };
        QTest::newRow("Turkish letters without regard to case")
            << QByteArray("Çap çap") << QString::fromUtf8("ÇAP") << "" << QStringList { "0+4", "5+4" };
        QTest::newRow("regex digits") << QByteArray("T1 M6\nT22 M06") << "T\\d+"
                                      << "r" << QStringList { "0+2", "6+3" };
        QTest::newRow("regex anchors per line, CR LF") << QByteArray("G1\r\nG2\r\n") << "^G\\d$"
                                                       << "r" << QStringList { "0+2", "4+2" };
        QTest::newRow("regex whole word") << QByteArray("M6 M06 M60") << "M0?6"
                                          << "rw" << QStringList { "0+2", "3+3" };
        QTest::newRow("regex dot does not eat the line break") << QByteArray("A1\r\nA2") << "A."
                                                               << "r" << QStringList { "0+2", "4+2" };
        QTest::newRow("regex empty matches advance") << QByteArray("ab") << "x*"
                                                     << "r" << QStringList { "0+0", "1+0", "2+0" };
        QTest::newRow("no match") << QByteArray("G1 X5") << "M30"
                                  << "" << QStringList {};
        QTest::newRow("empty pattern finds nothing") << QByteArray("G1 X5") << ""
                                                     << "" << QStringList {};
    }
    void matches()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, pattern);
        QFETCH(QString, flags);
        QFETCH(QStringList, expected);
        const TTextSearch search(Options(pattern, flags));
        QCOMPARE(AllMatches(search, text), expected);
        QCOMPARE(search.CountMatches(text), expected.size());
    }

    void wrapsPastTheEnd()
    {
        const QByteArray text("M6 T1\nG0\nM6 T2\nM30");
        const TTextSearch search(Options("M6", "c"));
        auto next = search.FindNext(text, 6);
        QVERIFY(next);
        QCOMPARE(next->Match, (TTextMatch { 9, 2 }));
        QVERIFY(!next->Wrapped);
        next = search.FindNext(text, next->Match.End());
        QVERIFY(next);
        QCOMPARE(next->Match, (TTextMatch { 0, 2 }));
        QVERIFY(next->Wrapped);

        auto previous = search.FindPrevious(text, 9);
        QVERIFY(previous);
        QCOMPARE(previous->Match, (TTextMatch { 0, 2 }));
        QVERIFY(!previous->Wrapped);
        previous = search.FindPrevious(text, 0);
        QVERIFY(previous);
        QCOMPARE(previous->Match, (TTextMatch { 9, 2 }));
        QVERIFY(previous->Wrapped);
    }

    void previousFarBack()
    {
        // The only match lies far before the caret: the look-back window has to grow.
        QByteArray text = "T5 M6\n" + QByteArray(1 << 20, 'X') + "\n";
        const TTextSearch search(Options("M6", ""));
        const auto previous = search.FindPrevious(text, text.size());
        QVERIFY(previous);
        QCOMPARE(previous->Match, (TTextMatch { 3, 2 }));
        QVERIFY(!previous->Wrapped);
        QVERIFY(!search.FindPrevious("G1", 2));
    }

    void replaceAll_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("flags");
        QTest::addColumn<QByteArray>("replacement");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<int>("count");

        QTest::newRow("plain") << QByteArray("G1 X5\nG1 X6\n") << "G1"
                               << "" << QByteArray("G01") << QByteArray("G01 X5\nG01 X6\n") << 2;
        QTest::newRow("dollar is literal in plain text") << QByteArray("A B") << "B"
                                                         << "" << QByteArray("$1") << QByteArray("A $1") << 1;
        QTest::newRow("whole word") << QByteArray("T1 T12 T1") << "T1"
                                    << "w" << QByteArray("T9") << QByteArray("T9 T12 T9") << 2;
        QTest::newRow("regex groups") << QByteArray("X10 Y20\nX3 Y4") << "X(\\d+) Y(\\d+)"
                                      << "r" << QByteArray("X$2 Y${1}") << QByteArray("X20 Y10\nX4 Y3") << 2;
        QTest::newRow("regex dollar dollar") << QByteArray("F100") << "F"
                                             << "r" << QByteArray("$$") << QByteArray("$100") << 1;
        QTest::newRow("regex unknown group is empty") << QByteArray("F100") << "F(1)"
                                                      << "r" << QByteArray("[$5]") << QByteArray("[]00") << 1;
        QTest::newRow("regex line starts") << QByteArray("G1\nG2") << "^"
                                           << "r" << QByteArray("N ") << QByteArray("N G1\nN G2") << 2;
        QTest::newRow("nothing found") << QByteArray("G1") << "M30"
                                       << "" << QByteArray("X") << QByteArray("G1") << 0;
        QTest::newRow("to an empty replacement") << QByteArray("G1 (A) X1 (B)") << " \\([^)]*\\)"
                                                 << "r" << QByteArray() << QByteArray("G1 X1") << 2;
    }
    void replaceAll()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, pattern);
        QFETCH(QString, flags);
        QFETCH(QByteArray, replacement);
        QFETCH(QByteArray, expected);
        QFETCH(int, count);
        const TTextSearch search(Options(pattern, flags));
        const TReplaceAllResult result = search.ReplaceAll(text, replacement);
        QCOMPARE(result.Count, count);
        QByteArray replaced = text;
        replaced.replace(result.SpanStart, result.SpanEnd - result.SpanStart, result.Replacement);
        QCOMPARE(replaced, expected);
    }

    void replaceOne()
    {
        const QByteArray text("X10 Y20");
        const TTextSearch search(Options("X(\\d+)", "r"));
        const auto match = search.FindNext(text, 0);
        QVERIFY(match);
        QCOMPARE(search.ReplacementFor(text, match->Match, "U$1"), QByteArray("U10"));
        const TTextSearch plain(Options("X10", ""));
        QCOMPARE(plain.ReplacementFor(text, { 0, 3 }, "U$1"), QByteArray("U$1"));
    }

    void invalidRegex()
    {
        const TTextSearch search(Options("T(\\d+", "r"));
        QVERIFY(!search.IsValid());
        QVERIFY(!search.ErrorMessage().isEmpty());
        QVERIFY(!search.FindNext("T1", 0));
        QCOMPARE(search.CountMatches("T1"), 0);
        QCOMPARE(search.ReplaceAll("T1", "X").Count, 0);
        // The same text as plain text is fine.
        QVERIFY(TTextSearch(Options("T(\\d+", "")).IsValid());
    }

    void countsInTheBackground()
    {
        QByteArray text;
        for (int i = 0; i < 100000; ++i)
            text += "N" + QByteArray::number(i) + (i % 2 ? " G1 X5\n" : " G0\n");
        TMatchCounter counter;
        QSignalSpy counted(&counter, &TMatchCounter::Counted);
        // The newer request wins: the first answer never arrives.
        counter.Start(TTextSearch(Options("N", "")), text);
        counter.Start(TTextSearch(Options("X5", "")), text);
        QVERIFY(counter.Running());
        QVERIFY(counted.wait(10000));
        QCOMPARE(counted.size(), 1);
        QCOMPARE(counted.first().first().value<qsizetype>(), 50000);
        QVERIFY(!counter.Running());
        QTest::qWait(50);
        QCOMPARE(counted.size(), 1);
    }

    void counterGoneBeforeItsAnswer()
    {
        const QByteArray text(8 << 20, 'A');
        {
            TMatchCounter gone;
            gone.Start(TTextSearch(Options("A", "")), text);
        }
        // The destroyed counter's answer is dropped (not delivered into freed
        // memory); a counter made afterwards gets its own answer only.
        TMatchCounter counter;
        QSignalSpy counted(&counter, &TMatchCounter::Counted);
        counter.Start(TTextSearch(Options("AA", "")), text.left(10));
        QVERIFY(counted.wait(10000));
        QTest::qWait(300);
        QCOMPARE(counted.size(), 1);
        QCOMPARE(counted.first().first().value<qsizetype>(), 5);
    }
};

QTEST_GUILESS_MAIN(TestTextSearch)
#include "tst_textsearch.moc"
