// quillex-cli toolpath and resume-check: the move lines, the drawing, the
// start-from points' warnings and the exit codes scripts rely on.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "CliProcess.h"

namespace {

// The verbs here read files only: the status port is never listened on.
TRun Cli(const QStringList& args)
{
    return TCli(5003).Run(args, {}, {}, 60000);
}

// The same two tools; the second sets the feed again or not.
QByteArray TwoTools(bool secondSetsFeed)
{
    return QByteArray("G21 G17 G90 G54\nT1 M6\nS1000 M3\nG0 X0 Y0 Z5\nG1 Z-1 F100\nG0 Z5\nT2 M6\nG21 G17 G90 G54\n"
                      "S800 M3\nG0 X10 Y10\nG1 Z-1")
        + (secondSetsFeed ? " F80" : "") + "\nM30\n";
}

} // namespace

class TestCliToolpath : public QObject {
    Q_OBJECT
    QTemporaryDir FDir;

    QString Write(const QString& name, const QByteArray& bytes)
    {
        const QString path = FDir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

private slots:
    void MovesOneLineEach()
    {
        const QString file = Write("moves.nc",
            "G21 G90\nG0 X0 Y0 Z5\nG0 Z5\nG1 Z-1 F100\nG2 X10 Y0 I5 J0\nG3 X10 Y0 I-5 P2\nG81 X3 Y4 Z-2 R1\nG80\n"
            "M30\n");
        const TRun run = Cli({ "toolpath", file, "--moves" });
        QCOMPARE(run.ExitCode, 0);
        QCOMPARE(run.Err, QString());
        // The rapid to Z5 again changes nothing and is left out; the cycle first
        // rises to R where the tool stands, then drills with rapids and a feed.
        QCOMPARE(run.Out,
            QByteArray("2 rapid 0.0000 0.0000 5.0000\n"
                       "4 feed 0.0000 0.0000 -1.0000\n"
                       "5 arc 10.0000 0.0000 -1.0000 5.0000 0.0000 -1.0000 -1\n"
                       "6 arc 10.0000 0.0000 -1.0000 5.0000 0.0000 -1.0000 2\n"
                       "7 rapid 10.0000 0.0000 1.0000\n"
                       "7 rapid 3.0000 4.0000 1.0000\n"
                       "7 feed 3.0000 4.0000 -2.0000\n"
                       "7 rapid 3.0000 4.0000 1.0000\n"));
    }

    void FiguresWarningsAndDrawing()
    {
        const QString file
            = Write("square.nc", "G21 G90\nG0 X0 Y0 Z5\nG1 Z0 F600\nX10\nY10\nX0\nY0\nG0 Z5\nG1 X1 A5\n");
        const QString svg = FDir.filePath("square.svg");
        const TRun run = Cli({ "toolpath", file, "--svg", svg, "--json", "--rapid-rate", "6000" });
        QCOMPARE(run.ExitCode, 0);
        const QJsonObject o = QJsonDocument::fromJson(run.Out).object();
        QCOMPARE(o["moves"].toInt(), 7);
        QCOMPARE(o["feed_length"].toDouble(), 45.0);
        QCOMPARE(o["rapid_length"].toDouble(), 10.0);
        QCOMPARE(o["seconds"].toDouble(), 45.0 / 600 * 60 + 10.0 / 6000 * 60);
        QCOMPARE(o["stopped_line"].toInt(), 9);
        QCOMPARE(o["warnings"].toArray().size(), 1);
        QCOMPARE(o["warnings"].toArray()[0].toObject()["line"].toInt(), 9);
        QFile drawing(svg);
        QVERIFY(drawing.open(QIODevice::ReadOnly));
        const QByteArray text = drawing.readAll();
        QVERIFY(text.startsWith("<?xml"));
        QCOMPARE(text.count("stroke-dasharray"), 2); // the rapid in and the rapid out
        QCOMPARE(text.count("<polyline"), 3);
    }

    void ResumeCheckExitCodes_data()
    {
        QTest::addColumn<QByteArray>("program");
        QTest::addColumn<QStringList>("flags");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("firstLine");
        QTest::newRow("clear") << TwoTools(true) << QStringList() << 0
                               << QByteArray("1\t2\tT1\tGüvenlik kontrolü: sorun bulunmadı.");
        QTest::newRow("warning") << TwoTools(false) << QStringList() << 4
                                 << QByteArray("1\t2\tT1\tGüvenlik kontrolü: sorun bulunmadı.\n2\t7\tT2\tİlk kesmeden "
                                               "önce ilerleme verilmiyor (programda bu noktada F100 etkin).");
        QTest::newRow("siemens") << TwoTools(true) << QStringList { "--siemens" } << 4
                                 << QByteArray("1\t2\tT0\tSIEMENS kontrolünün programı yorumlanmıyor; güvenlik "
                                               "kontrolü yapılamadı.");
    }

    void ResumeCheckExitCodes()
    {
        QFETCH(QByteArray, program);
        QFETCH(QStringList, flags);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, firstLine);
        const QString file = Write("resume.nc", program);
        const TRun run = Cli(QStringList { "resume-check", file } + flags);
        QCOMPARE(run.ExitCode, exitCode);
        QVERIFY2(run.Out.startsWith(firstLine + '\n'), run.Out.constData());
        const TRun json = Cli(QStringList { "resume-check", file, "--json" } + flags);
        QCOMPARE(json.ExitCode, exitCode);
        const QJsonArray points = QJsonDocument::fromJson(json.Out).object()["points"].toArray();
        QCOMPARE(points.size(), 2);
        QCOMPARE(points[1].toObject()["resume_line"].toInt(), 6);
        QCOMPARE(points[1].toObject()["warnings"].toArray().isEmpty(), exitCode == 0);
    }

    // A file is interpreted from its own bytes where that gives what the
    // editor's text gives: the same moves, line numbers (blank lines left
    // out), figures and warnings as the same program with a byte order mark,
    // which always goes through the editor.
    void FileBytesAsTheEditorReadsThem_data()
    {
        QTest::addColumn<QByteArray>("program");
        QTest::addColumn<QByteArray>("firstMove");
        QTest::newRow("CR LF and blank lines") << QByteArray("G21\r\n\r\nG0 X1Y2\r\n  \t \r\nG1X3F100\r\nM30\r\n")
                                               << QByteArray("2 rapid 1.0000 2.0000 0.0000");
        QTest::newRow("lone CR") << QByteArray("G21\rG0 X1\r\rG1 X5 F10\r")
                                 << QByteArray("2 rapid 1.0000 0.0000 0.0000");
        QTest::newRow("mixed breaks, a form feed line")
            << QByteArray("G21\n\x0c\nG0 X1\r\nG1 X5 F10\rG1 Y3\n") << QByteArray("2 rapid 1.0000 0.0000 0.0000");
        QTest::newRow("code-page comment")
            << QByteArray("G21\n(caf\xe9)\n\nG0 X1 ;\xfc\nG1 X5 F10\n") << QByteArray("3 rapid 1.0000 0.0000 0.0000");
        QTest::newRow("UTF-8 comment") << QByteArray("G21\n(\xc3\xbc)\nG0 X1\n")
                                       << QByteArray("3 rapid 1.0000 0.0000 0.0000");
        QTest::newRow("warning quotes a spaced word")
            << QByteArray("G21\nG0 X1\n\nG1X5F10E3Y2\nG1 Y4\n") << QByteArray("2 rapid 1.0000 0.0000 0.0000");
        QTest::newRow("letter beyond ASCII in a word")
            << QByteArray("G21\nG0 X1\nG1 Y\xc3\xa9\n") << QByteArray("2 rapid 1.0000 0.0000 0.0000");
        QTest::newRow("U+2028") << QByteArray("G21\nG0 X1\xe2\x80\xa8G1 X5 F10\n\nG1 Y4\n")
                                << QByteArray("2 rapid 1.0000 0.0000 0.0000");
        QTest::newRow("subprogram after blank lines")
            << QByteArray("O100\nG21\n\nM98 P200 L2\nM30\nO200\n\nG91 G1 X1 F100\n\nM99\n")
            << QByteArray("6 feed 1.0000 0.0000 0.0000");
    }

    void FileBytesAsTheEditorReadsThem()
    {
        QFETCH(QByteArray, program);
        QFETCH(QByteArray, firstMove);
        const QString plain = Write("plain.nc", program);
        const QString marked = Write("marked.nc", "\xEF\xBB\xBF" + program);
        for (const QStringList& options : { QStringList { "--moves" }, QStringList {}, QStringList { "--json" } }) {
            const TRun own = Cli(QStringList { "toolpath", plain } + options);
            const TRun editor = Cli(QStringList { "toolpath", marked } + options);
            QCOMPARE(own.ExitCode, editor.ExitCode);
            QCOMPARE(own.Out, QByteArray(editor.Out).replace(marked.toUtf8(), plain.toUtf8()));
            QCOMPARE(own.Err, editor.Err);
            if (options == QStringList { "--moves" })
                QCOMPARE(own.Out.left(own.Out.indexOf('\n')), firstMove);
        }
    }

    void UnreadableFileFails()
    {
        for (const char* verb : { "toolpath", "resume-check" })
            QCOMPARE(Cli({ verb, FDir.filePath("missing.nc") }).ExitCode, 1);
    }
};

QTEST_GUILESS_MAIN(TestCliToolpath)
#include "tst_clitoolpath.moc"
