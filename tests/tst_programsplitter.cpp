#include "content/ProgramSplitter.h"

#include "content/EditorText.h"
#include "tests/support/ReferencePaths.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

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

    // Over the editor's text the programs, their lines and their files are the
    // same as splitting the text's lines, whatever the line breaks.
    void slices_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("two programs") << QByteArray("%\nO0001\nG0 X0\nM30\nO0002\nG1 X1\nM30\n%");
        QTest::newRow("colons") << QByteArray("%\r\n:100 (A:B)\r\nG0 (X:1)\r\n:200\r\nG1\r\n%\r\n");
        QTest::newRow("empty lines inside and at the end of a program") << QByteArray("O1\n\n\nO2\n\nG0\n\n%\n");
        QTest::newRow("lone CR and U+2028 breaks") << QByteArray("(A)\rO1\rG0\xE2\x80\xA8O2\r\nG1\xE2\x80\xA8%");
        QTest::newRow("mixed breaks, empty lines") << QByteArray("O1\r\n\r\rG0\n\r\nO2\r\r\n");
        QTest::newRow("closing percent with blanks") << QByteArray("O1\nG0\n \t% \n");
        QTest::newRow("last line kept") << QByteArray("O1\nG0\n%%");
        QTest::newRow("percent between programs") << QByteArray("O1\nG0\n%\nO2\nG1\n%");
        QTest::newRow("last line starts a program") << QByteArray("%\nO1\nG0\nO2");
        QTest::newRow("no start line") << QByteArray("%\nG0\n o1\n%");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("single start line") << QByteArray("O9");
        QTest::newRow("Turkish letters, colons and characters the code page lacks") << QByteArray(
            "O1 (\xC5\x9E\xC4\xB0:\xC4\x9E)\nG0 (\xC3\x9C:\xE2\x82\xAC \xF0\x9F\x98\x80)\n:2 \xC4\xB1\nM30");
        QTest::newRow("bytes that are no UTF-8") << QByteArray("O1\nG0 \xFF\xC5:\nO\xC4\n%");
        QTest::newRow("byte order marks starting lines")
            << QByteArray("\xEF\xBB\xBF%\r\n\xEF\xBB\xBFO1\r\n\xEF\xBB\xBF\r\nG0\xEF\xBB\xBF\r\n"
                          "\xEF\xBB\xBF\xEF\xBB\xBF:2\r\n\xEF\xBB\xBF%");
    }
    void slices()
    {
        QFETCH(QByteArray, text);
        const QList<TSplitProgram> expected = SplitPrograms(SplitUtf8Lines(text));
        const QList<TProgramSlice> programs = FindPrograms(text);
        QCOMPARE(programs.size(), expected.size());
        QCOMPARE(Utf8LineCount(text), SplitUtf8Lines(text).size());
        QStringList names;
        for (qsizetype i = 0; i < programs.size(); ++i) {
            QCOMPARE(programs[i].Name, expected[i].Name);
            QCOMPARE(ProgramLines(text, programs[i]), expected[i].Lines);
            QCOMPARE(ProgramText(text, programs[i]), expected[i].Lines.join("\r\n").toUtf8());
            QCOMPARE(ProgramFileBytes(text, programs[i]), ProgramFileBytes(expected[i].Lines));
            names << programs[i].Name;
        }
        QCOMPARE(ProgramFileNames(names), ProgramFileNames(expected));
    }

    void fileName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("file");
        QTest::newRow("forbidden characters") << "O1 \"'*/:<>?\\|"
                                              << "O1 __________.CNC";
        QTest::newRow("kept as it is") << QString::fromUtf8("O0001 (ŞAFT-1 .5) [A] #2")
                                       << QString::fromUtf8("O0001 (ŞAFT-1 .5) [A] #2.CNC");
        QTest::newRow("control characters") << QString("O1") + QChar(0) + "\t\x1f\x7f"
                                            << "O1____.CNC";
        QTest::newRow("C1 controls, the next one kept")
            << QString("O1") + QChar(0x80) + QChar(0x9f) + QChar(0xa0) << QString("O1__") + QChar(0xa0) + ".CNC";
        QTest::newRow("empty") << ""
                               << "_.CNC";
        QTest::newRow("dots only") << ".."
                                   << "_.CNC";
        QTest::newRow("blanks and dots") << " . "
                                         << "_.CNC";
        QTest::newRow("a control character is no blank") << "\t"
                                                         << "_.CNC";
        QTest::newRow("255 bytes fit") << QString(251, u'O') << QString(251, u'O') + ".CNC";
        QTest::newRow("256 bytes shortened") << QString(252, u'O') << QString(251, u'O') + ".CNC";
        QTest::newRow("cut between characters")
            << "O" + QString(200, QChar(0x20AC)) << "O" + QString(83, QChar(0x20AC)) + ".CNC"; // three bytes each
        QTest::newRow("a pair of surrogates stays whole")
            << "OO" + QString::fromUtf8("\xF0\x9F\x98\x80").repeated(100)
            << "OO" + QString::fromUtf8("\xF0\x9F\x98\x80").repeated(62) + ".CNC";
        QTest::newRow("blank after shortening") << QString(300, u' ') + "X"
                                                << "_.CNC";
    }
    void fileName()
    {
        QFETCH(QString, name);
        QFETCH(QString, file);
        QCOMPARE(ProgramFileName(name), file);
        QVERIFY(file.toUtf8().size() <= MaxProgramFileNameBytes);
    }

    void fileNames_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QStringList>("files");
        QTest::newRow("different") << QStringList { "O1", "O2" } << QStringList { "O1.CNC", "O2.CNC" };
        QTest::newRow("repeated in row order")
            << QStringList { "O0001 (A/B)", "O2", "O0001 (A_B)", "O0001 (A:B)" }
            << QStringList { "O0001 (A_B).CNC", "O2.CNC", "O0001 (A_B) (2).CNC", "O0001 (A_B) (3).CNC" };
        QTest::newRow("a number already taken by a name")
            << QStringList { "O1", "O1 (2)", "O1" } << QStringList { "O1.CNC", "O1 (2).CNC", "O1 (3).CNC" };
        QTest::newRow("letter case") << QStringList { "O1 (a)", "O1 (A)" }
                                     << QStringList { "O1 (a).CNC", "O1 (A) (2).CNC" };
        QTest::newRow("unnamed") << QStringList { "", "..", " " } << QStringList { "_.CNC", "_ (2).CNC", "_ (3).CNC" };
        QTest::newRow("the number fits too") << QStringList { QString(300, u'O'),
            QString(300, u'O') } << QStringList { QString(251, u'O') + ".CNC", QString(247, u'O') + " (2).CNC" };
    }
    void fileNames()
    {
        QFETCH(QStringList, names);
        QFETCH(QStringList, files);
        QList<TSplitProgram> programs;
        for (const QString& name : names)
            programs.append({ name, { "%", name, "%" } });
        QCOMPARE(ProgramFileNames(programs), files);
    }

    void saveAllPause_data()
    {
        QTest::addColumn<int>("programs");
        QTest::addColumn<int>("ms");
        QTest::newRow("none") << 0 << 0;
        QTest::newRow("one") << 1 << 0;
        QTest::newRow("two") << 2 << 2000;
        QTest::newRow("five") << 5 << 500;
        QTest::newRow("four: 666.7 up") << 4 << 667;
        QTest::newRow("seven: 333.3 down") << 7 << 333;
        QTest::newRow("33: 62.5 to even 62") << 33 << 62;
        QTest::newRow("161: 12.5 to even 12") << 161 << 12;
        QTest::newRow("801: 2.5 to even 2") << 801 << 2;
        QTest::newRow("1601: 1.25 down") << 1601 << 1;
        QTest::newRow("2001: 1") << 2001 << 1;
        QTest::newRow("4001: 0.5 to even 0") << 4001 << 0;
        QTest::newRow("2668: 0.75 up") << 2668 << 1;
    }
    void saveAllPause()
    {
        QFETCH(int, programs);
        QFETCH(int, ms);
        QCOMPARE(SaveAllPauseMs(programs), ms);
    }

    // Every file whole with its bytes, and a file the system refuses part way
    // (here over the process's file size limit, as on a full disk) is reported
    // by name and not left behind half-written; the ones before it stay whole.
    void saveAllWritesWholeFilesOrFails()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QByteArray big(4096, 'X');
        const QByteArray text = "%\nO1\nG0\nO2\nG1 " + big + "\nO3\nG2\n%\n";
        const QList<TProgramSlice> programs = FindPrograms(text);
        QCOMPARE(programs.size(), 3);
        QString error;
        QVERIFY(QDir().mkdir(dir.filePath("whole")));
        QVERIFY2(SaveAllPrograms(dir.filePath("whole"), text, programs, error), qPrintable(error));
        const QString whole = dir.filePath("whole/" + ProgramFolderName + "/");
        QCOMPARE(QDir(whole).entryList(QDir::Files, QDir::Name), QStringList({ "O1.CNC", "O2.CNC", "O3.CNC" }));
        const auto bytesOf = [](const QString& path) {
            QFile file(path);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
        };
        QCOMPARE(bytesOf(whole + "O1.CNC"), QByteArray("%\r\nO1\r\nG0\r\n%\r\n"));
        QCOMPARE(bytesOf(whole + "O2.CNC"), "%\r\nO2\r\nG1 " + big + "\r\n%\r\n");

        QVERIFY(QDir().mkdir(dir.filePath("limited")));
        rlimit saved {};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = saved;
        limited.rlim_cur = 1024;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
        const bool written = SaveAllPrograms(dir.filePath("limited"), text, programs, error);
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);
        QVERIFY(!written);
        const QString limitedFolder = dir.filePath("limited/" + ProgramFolderName + "/");
        QVERIFY2(error.startsWith(limitedFolder + "O2.CNC: ") && error.size() > (limitedFolder + "O2.CNC: ").size(),
            qPrintable(error));
        QCOMPARE(QDir(limitedFolder).entryList(QDir::Files), QStringList { "O1.CNC" });
        QCOMPARE(bytesOf(limitedFolder + "O1.CNC"), QByteArray("%\r\nO1\r\nG0\r\n%\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestProgramSplitter)
#include "tst_programsplitter.moc"
