#include "content/UnitGCodeHighlighter.h"

#include <QTest>

namespace {

// "kind:text" per token, as the editor would see them.
QStringList Tokens(const QString& line)
{
    QStringList tokens;
    TGCodeTokenizer tokenizer;
    tokenizer.SetLine(line, 0);
    const char* names[] = { "null", "space", "comment", "G", "M", "T", "F", "S", "N", "X", "Y", "Z", "unknown" };
    while (!tokenizer.GetEol()) {
        if (tokenizer.GetTokenKind() != gtkNull)
            tokens.append(QString(names[tokenizer.GetTokenKind()]) + ":" + tokenizer.GetToken().toString());
        else
            tokens.append("eol");
        tokenizer.Next();
    }
    return tokens;
}

} // namespace

class TestGCodeTokenizer : public QObject {
    Q_OBJECT
private slots:
    void tokens_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QStringList>("tokens");
        QTest::newRow("full block") << "N10 G01 X-12.5 Y3 F200 (ROUGH)"
                                    << QStringList { "N:N10", "space: ", "G:G01", "space: ", "X:X-12.5",
                                           "space: ", "Y:Y3", "space: ", "F:F200", "space: ", "comment:(ROUGH)",
                                           "eol" };
        QTest::newRow("lower case, no spaces") << "g1x5" << QStringList { "G:g1", "X:x5", "eol" };
        QTest::newRow("open comment") << "( open comment" << QStringList { "comment:( open comment", "eol" };
        QTest::newRow("semicolon comment") << "T1 ; M6" << QStringList { "T:T1", "space: ", "comment:; M6", "eol" };
        QTest::newRow("percent") << "%" << QStringList { "unknown:%", "eol" };
        QTest::newRow("program number") << "O1000"
                                        << QStringList { "unknown:O", "unknown:1", "unknown:0", "unknown:0",
                                               "unknown:0", "eol" };
        QTest::newRow("empty") << "" << QStringList { "eol" };
        QTest::newRow("letter alone") << "G" << QStringList { "G:G", "eol" };
        QTest::newRow("leading point") << "x.5" << QStringList { "X:x.5", "eol" };
        QTest::newRow("two points") << "X1.2.3" << QStringList { "X:X1.2", "unknown:.", "unknown:3", "eol" };
        QTest::newRow("comment ends at paren") << "(A)G0" << QStringList { "comment:(A)", "G:G0", "eol" };
        QTest::newRow("sign without digits") << "Z-" << QStringList { "Z:Z-", "eol" };
        QTest::newRow("tabs and unicode space")
            << QString("\t \u00A0S1") << QStringList { "space:\t \u00A0", "S:S1", "eol" };
        QTest::newRow("other letters") << "I1J2"
                                       << QStringList { "unknown:I", "unknown:1", "unknown:J", "unknown:2", "eol" };
        QTest::newRow("Turkish letter") << QString::fromUtf8("ŞM3")
                                        << QStringList { QString::fromUtf8("unknown:Ş"), "M:M3", "eol" };
    }
    void tokens()
    {
        QFETCH(QString, line);
        QFETCH(QStringList, tokens);
        QCOMPARE(Tokens(line), tokens);
    }

    void tokensCoverTheLine()
    {
        // Whatever the input, tokens are contiguous and never empty, so the
        // editor styles every character exactly once.
        const QString line = QString::fromUtf8("N5G0X1.2.3(a;b)[#1=2]  ;tail ü\u2028");
        qsizetype pos = 0;
        while (pos < line.size()) {
            const TGCodeToken token = NextGCodeToken(line, pos);
            QCOMPARE(token.Start, pos);
            QVERIFY(token.Length > 0);
            pos += token.Length;
        }
        QCOMPARE(pos, line.size());
    }

    // A few colours the editor must show; the rest of the table is data.
    void fixedColours_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("colour"); // red, green, blue
        QTest::addColumn<bool>("italic");
        QTest::newRow("comment grey, italic") << int(gtkComment) << "128,128,128" << true;
        QTest::newRow("tool teal") << int(gtkT) << "0,128,128" << false;
        QTest::newRow("X red") << int(gtkX) << "255,0,0" << false;
    }
    void fixedColours()
    {
        QFETCH(int, kind);
        QFETCH(QString, colour);
        QFETCH(bool, italic);
        const TGCodeAttribute* attribute = GCodeAttributeFor(TGCodeTokenKind(kind));
        QVERIFY(attribute && attribute->HasForeground);
        QCOMPARE(QString("%1,%2,%3").arg(attribute->Red).arg(attribute->Green).arg(attribute->Blue), colour);
        QCOMPARE(attribute->Italic, italic);
    }

    void uncolouredKinds()
    {
        QVERIFY(!GCodeAttributeFor(gtkSpace)->HasForeground); // the editor's own colour
        QCOMPARE(GCodeAttributeFor(gtkNull), nullptr);
        QCOMPARE(GCodeAttributeFor(gtkUnknown), nullptr);
    }
};

QTEST_GUILESS_MAIN(TestGCodeTokenizer)
#include "tst_gcodetokenizer.moc"
