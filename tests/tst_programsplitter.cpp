#include "content/ProgramSplitter.h"

#include <QTest>

namespace {

QStringList Describe(const QList<TSplitProgram>& programs)
{
    QStringList out;
    for (const TSplitProgram& p : programs)
        out << p.Name + " = " + p.Lines.join('|');
    return out;
}

} // namespace

class TestProgramSplitter : public QObject {
    Q_OBJECT
private slots:
    void split_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QStringList>("programs");
        QTest::newRow("two programs") << QStringList { "%", "O0001", "G0 X0", "M30", "O0002", "G1 X1", "M30", "%" }
                                      << QStringList { "O0001 = %|O0001|G0 X0|M30|%", "O0002 = %|O0002|G1 X1|M30|%" };
        QTest::newRow("colons become O") << QStringList { "%", ":100 (A:B)", "G0", ":200", "G1", "%" }
                                         << QStringList { "O100 (AOB) = %|O100 (AOB)|G0|%", "O200 = %|O200|G1|%" };
        QTest::newRow("percent between programs")
            << QStringList { "O1", "G0", "%", "O2", "G1", "%" } << QStringList { "O1 = %|O1|G0|%|%", "O2 = %|O2|G1|%" };
        QTest::newRow("no start line") << QStringList { "%", "G0", "M30", "%" } << QStringList {};
        QTest::newRow("leading blank or lower case") << QStringList { " O0001", "o0002", "G0", "%" } << QStringList {};
        QTest::newRow("percent only") << QStringList { "%" } << QStringList {};
        QTest::newRow("empty") << QStringList {} << QStringList {};
        QTest::newRow("lines before the first program dropped")
            << QStringList { "(HEADER)", "O5", "", "G0", "%" } << QStringList { "O5 = %|O5||G0|%" };
        QTest::newRow("digits not required")
            << QStringList { "OPEN", "G0", "%" } << QStringList { "OPEN = %|OPEN|G0|%" };
        // The text's last line is kept when it is not the closing '%'.
        QTest::newRow("last line M30 kept")
            << QStringList { "%", "O1", "G0", "M30" } << QStringList { "O1 = %|O1|G0|M30|%" };
        QTest::newRow("last line starts a program")
            << QStringList { "%", "O1", "G0", "O2" } << QStringList { "O1 = %|O1|G0|%", "O2 = %|O2|%" };
        QTest::newRow("single start line") << QStringList { "O9" } << QStringList { "O9 = %|O9|%" };
        QTest::newRow("closing percent with blanks")
            << QStringList { "O1", "G0", " % " } << QStringList { "O1 = %|O1|G0|%" };
    }
    void split()
    {
        QFETCH(QStringList, lines);
        QFETCH(QStringList, programs);
        const QStringList before = lines;
        QCOMPARE(Describe(SplitPrograms(lines)), programs);
        QCOMPARE(lines, before);
    }

    void fileNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("fileName");
        QTest::newRow("plain") << "O0001 (TORNA)"
                               << "O0001 (TORNA).CNC";
        QTest::newRow("forbidden") << "O1 \"'*/:<>?\\|"
                                   << "O1 __________.CNC";
        QTest::newRow("NUL") << QString::fromLatin1("O1\0X", 4) << "O1_X.CNC";
        QTest::newRow("controls") << "O1\x1b[2J\t\r\n\x7f"
                                  << "O1_[2J____.CNC";
    }
    void fileNames()
    {
        // A control character, a NUL above all, would cut the name short of ".CNC".
        QFETCH(QString, name);
        QFETCH(QString, fileName);
        QCOMPARE(ProgramFileName(name), fileName);
    }
};

QTEST_GUILESS_MAIN(TestProgramSplitter)
#include "tst_programsplitter.moc"
