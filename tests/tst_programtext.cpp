#include "content/ProgramText.h"
#include "tests/support/ReferencePaths.h"

#include <QTest>

class TestProgramText : public QObject {
    Q_OBJECT
private slots:
    void foldTurkishLetter()
    {
        const QString from = QString::fromUtf8("ÇçĞğİıÖöŞşÜüAzéß1");
        const QString to = "CCGGIIOOSSUUAzéß1";
        for (qsizetype i = 0; i < from.size(); ++i)
            QCOMPARE(FoldTurkishLetter(from[i]), to[i]);
    }

    void asciiUpperCase()
    {
        QCOMPARE(AsciiUpperCase(QString::fromUtf8("g1 x5 (çok) i ı")), QString::fromUtf8("G1 X5 (çOK) I ı"));
    }

    void splitPercentLines_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("keep");
        QTest::addColumn<QString>("expected");
        QTest::newRow("number, percent, comment") << "O1000 % (A)" << false << "O1000\r\n%\r\n(A)\r\n";
        QTest::newRow("Siemens header kept") << "%_N_PART_MPF\nG0" << true << "%_N_PART_MPF\r\nG0\r\n";
        QTest::newRow("Siemens header split") << "%_N_PART_MPF" << false << "%\r\n_N_PART_MPF\r\n";
        QTest::newRow("M30%") << "M30%" << false << "M30\r\n%\r\n";
        QTest::newRow("percent between blanks unchanged") << " % \r" << false << " % \r\n";
        QTest::newRow("only first percent") << "A%B%C" << false << "A\r\n%\r\nB%C\r\n";
        QTest::newRow("keep needs leading percent") << "M30%" << true << "M30\r\n%\r\n";
        QTest::newRow("empty") << "" << false << "";
        QTest::newRow("blank line kept") << "G0\n\nG1" << false << "G0\r\n\r\nG1\r\n";
    }
    void splitPercentLines()
    {
        QFETCH(QString, text);
        QFETCH(bool, keep);
        QFETCH(QString, expected);
        QCOMPARE(SplitPercentLines(text, keep), expected);
    }

    void insertWordSpaces_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("block") << "N10G01X1.5Y2"
                               << "N10 G01 X1.5 Y2";
        QTest::newRow("parenthesis") << "(T1M6)"
                                     << "(T1M6)";
        QTest::newRow("semicolon") << "; 10MM"
                                   << "; 10MM";
        QTest::newRow("after point") << "X1.Y2"
                                     << "X1. Y2";
        QTest::newRow("quote") << "G0\"1A\"2B"
                               << "G0\"1A\"2 B";
        QTest::newRow("brackets") << "#1=[2A]3B"
                                  << "#1=[2A]3 B";
        QTest::newRow("nested parentheses") << "((1A)2B)3C"
                                            << "((1A)2B)3 C";
        QTest::newRow("comment ends at line break") << "G1;1A\n2B"
                                                    << "G1;1A\n2 B";
        QTest::newRow("unclosed quote ends at line break") << "\"1A\r2B"
                                                           << "\"1A\r2 B";
        QTest::newRow("stray closing paren") << ")1A"
                                             << ")1 A";
        QTest::newRow("non-ASCII letter") << QString::fromUtf8("1ş") << QString::fromUtf8("1ş");
        QTest::newRow("already spaced") << "N1 G0"
                                        << "N1 G0";
    }
    void insertWordSpaces()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(InsertWordSpaces(text), expected);
    }

    void normalize_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<bool>("keep");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("blank dropped, percents added")
            << QStringList { "g1 x5", "", "m30" } << false << QStringList { "%", "G1 X5", "M30", "%" };
        QTest::newRow("Turkish letters") << QStringList { QString::fromUtf8("şiş") } << false
                                         << QStringList { "%", "SIS", "%" };
        QTest::newRow("Siemens first line")
            << QStringList { "%_N_MAIN_MPF", "G0" } << true << QStringList { "%_N_MAIN_MPF", "G0", "%" };
        QTest::newRow("other controller splits it")
            << QStringList { "%_N_MAIN_MPF", "G0" } << false << QStringList { "%", "_N_MAIN_MPF", "G0", "%" };
        QTest::newRow("existing percents")
            << QStringList { " %", "G0", "M30 %" } << false << QStringList { " %", "G0", "M30", "%" };
        QTest::newRow("empty editor") << QStringList {} << false << QStringList { "%" };
        QTest::newRow("only blanks") << QStringList { " ", "\t" } << false << QStringList { "%" };
        QTest::newRow("blanks inside kept") << QStringList { "  g0  " } << false << QStringList { "%", "  G0  ", "%" };
    }
    void normalize()
    {
        QFETCH(QStringList, lines);
        QFETCH(bool, keep);
        QFETCH(QStringList, expected);
        QCOMPARE(NormalizeProgramForUpload(lines, keep), expected);
    }

    // The one-pass normalisation of the editor's text: the same lines as the
    // line-list form above, joined by CR LF, whatever breaks the text had.
    void normalizeText_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("keep");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("empty") << QByteArray() << false << QByteArray("%");
        QTest::newRow("mixed breaks, blank lines")
            << QByteArray("g1 x5\n\r\n \rm30") << false << QByteArray("%\r\nG1 X5\r\nM30\r\n%");
        QTest::newRow("line separator") << QByteArray("a\xE2\x80\xA8"
                                                      "b")
                                        << false << QByteArray("%\r\nA\r\nB\r\n%");
        QTest::newRow("percent inside a line")
            << QByteArray("G1 % X2") << false << QByteArray("%\r\nG1\r\n%\r\nX2\r\n%");
        QTest::newRow("percent first, kept for Siemens")
            << QByteArray(" %_N_MAIN_MPF\r\ng0") << true << QByteArray(" %_N_MAIN_MPF\r\nG0\r\n%");
        QTest::newRow("last line ends with a percent") << QByteArray("%\nG0 %") << false << QByteArray("%\r\nG0\r\n%");
        // A mark at the start is a character, not white space: the first
        // line does not begin with '%', and the part before it is a line.
        QTest::newRow("mark before the first percent")
            << QByteArray("\xEF\xBB\xBF%\nG0") << false << QByteArray("%\r\n\xEF\xBB\xBF\r\n%\r\nG0\r\n%");
        QTest::newRow("Turkish letters folded, others kept")
            << QByteArray("\xC3\xA7\xC4\x9F\xC4\xB1\xC4\xB0\xC3\xB6\xC5\x9F\xC3\xBC \xC3\xA9") << false
            << QByteArray("%\r\nCGIIOSU \xC3\xA9\r\n%");
    }
    void normalizeText()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, keep);
        QFETCH(QByteArray, expected);
        QCOMPARE(NormalizeTextForUpload(text, keep), expected);
        QCOMPARE(ReferenceNormalizeTextForUpload(text, keep), expected);
    }

    void uploadBytesOfText()
    {
        // One byte per UTF-16 unit: a character outside the BMP counts two.
        QCOMPARE(UploadBytesOfText("G1\r\n(\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80)"), QByteArray("G1\r\n(\?\?\?\?)\r\n"));
        QCOMPARE(UploadBytesOfText("%"), QByteArray("%\r\n"));
    }

    void uploadBytes()
    {
        QCOMPARE(ProgramUploadBytes({ "%", "G1 X5", "%" }), QByteArray("%\r\nG1 X5\r\n%\r\n"));
        // One byte per character, so the scanner's offsets stay byte offsets.
        QCOMPARE(ProgramUploadBytes({ QString::fromUtf8("(é€)") }),
            QByteArray("(?"
                       "?)\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestProgramText)
#include "tst_programtext.moc"
