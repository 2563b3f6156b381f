// The content verbs of quillex-cli: each prints what the window's functions give.
#include "content/CodePage.h"
#include "content/HexDump.h"
#include "content/ProgramSplitter.h"
#include "content/ProgramText.h"
#include "content/TextDocument.h"
#include "content/TextUtil.h"
#include "content/ToolChangeScanner.h"
#include "content/UnitMazatrolCmt.h"
#include "document/ProgramDocument.h"
#include "document/UploadPlan.h"

#include "cli/CliOutput.h"
#include "tests/support/ReferencePaths.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "LineBreakCases.h"
#include "TestUtil.h"

namespace {

struct TRun {
    int ExitCode = -1;
    QByteArray Out;
    QString Err;
};

TRun Cli(const QStringList& args)
{
    QProcess process;
    process.start(QUILLEX_CLI, args);
    TRun run;
    if (!process.waitForFinished(60000))
        return run;
    run.ExitCode = process.exitCode();
    run.Out = process.readAllStandardOutput();
    run.Err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

QString Utf8(const char* text)
{
    return QString::fromUtf8(text);
}

} // namespace

class TestCliContent : public QObject {
    Q_OBJECT
    QTemporaryDir FDir;

    QString Fixture(const QString& name, const QByteArray& bytes)
    {
        QString error;
        WriteWholeFile(FDir.filePath(name), bytes, error);
        return FDir.filePath(name);
    }

private slots:
    void lineBreakStyles_data() { AddLineBreakRows(); }

    void lineBreakStyles()
    {
        // The same answers as the window's: word spaces start afresh at every line break.
        QFETCH(QByteArray, lineBreak);
        QFETCH(int, rowOffset);
        QFETCH(int, candidateOffset);
        const QString file = Fixture("breaks.nc", LineBreakProgram(lineBreak));
        QCOMPARE(Cli({ "scan", file }).Out, Utf8("Satır 3, bayt %1: T1 M6\n").arg(rowOffset).toUtf8());
        QCOMPARE(
            Cli({ "scan", file, "--candidates" }).Out, QByteArray("3\t") + QByteArray::number(candidateOffset) + "\n");
        QCOMPARE(Cli({ "normalize", file }).Out, LineBreakProgramUpload());
    }

    void scan_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("flags");
        QTest::addColumn<QByteArray>("out");
        QTest::newRow("word spaces make a tool change") << QByteArray("G0 X0\r\nN10T1M6\r\n") << QStringList {}
                                                        << QByteArray(Utf8("Satır 2, bayt 7: N10 T1 M6\n").toUtf8());
        QTest::newRow("siemens: no word spaces")
            << QByteArray("G0 X0\r\nN10T1M6\r\n") << QStringList { "--siemens" } << QByteArray();
        QTest::newRow("LF offsets") << QByteArray("G0\nT1 M6\n") << QStringList { "--candidates" }
                                    << QByteArray("2\t0\n");
        QTest::newRow("blank line removed: CR LF from then on")
            << QByteArray("G0\n\nG1\nT1 M6\n") << QStringList { "--candidates" } << QByteArray("3\t4\n");
        QTest::newRow("two program numbers") << QByteArray("O1\nT1 M6\n:2\nT2 M6\n") << QStringList {} << QByteArray();
        QTest::newRow("lower case is no tool change") << QByteArray("t1 m6\n") << QStringList {} << QByteArray();
    }
    void scan()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, flags);
        QFETCH(QByteArray, out);
        const TRun run = Cli(QStringList { "scan", Fixture("scan.nc", file) } + flags);
        QCOMPARE(run.ExitCode, 0);
        QCOMPARE(run.Out, out);
    }

    void split()
    {
        const QString file = Fixture("multi.txt", "%\r\nO0001 (A/B)\r\nG0 X\xFD\r\n:0002 <X>\r\nG1\r\nM30");
        TRun run = Cli({ "split", file });
        QCOMPARE(run.ExitCode, 0);
        QCOMPARE(run.Out, QByteArray("O0001 (A/B)\nO0002 <X>\n"));
        run = Cli({ "split", file, "-d", FDir.path() });
        QCOMPARE(run.ExitCode, 0);
        QCOMPARE(
            FileBytes(FDir.filePath("Velcarn/O0001 (A_B).CNC")), QByteArray("%\r\nO0001 (A/B)\r\nG0 X\xFD\r\n%\r\n"));
        // The text's last line (M30, not a closing '%') stays with the last program.
        QCOMPARE(FileBytes(FDir.filePath("Velcarn/O0002 _X_.CNC")), QByteArray("%\r\nO0002 <X>\r\nG1\r\nM30\r\n%\r\n"));
        // Control characters in a name, a NUL above all, become '_' as well.
        const QString control = Fixture("control.txt",
            QByteArray("%\r\nO7 A\x00"
                       "B\x1b\r\nG0\r\n%\r\n",
                19));
        QVERIFY(QDir(FDir.path()).mkdir("control"));
        QCOMPARE(Cli({ "split", control, "-d", FDir.filePath("control") }).ExitCode, 0);
        QCOMPARE(QDir(FDir.filePath("control/Velcarn")).entryList(QDir::Files), QStringList { "O7 A_B_.CNC" });
        run = Cli({ "split", file, "-d", FDir.path() });
        QCOMPARE(run.ExitCode, 1);
        QCOMPARE(run.Err.trimmed(),
            Utf8("SEÇTİĞİNİZ KLASÖR UYGUN DEĞİL, İÇİNDE Velcarn KLASÖRÜ MEVCUT, BAŞKA BİR KONUM SEÇİNİZ"));
        // Control characters, and a name used again, as the window writes them.
        const QString repeated = Fixture("repeated.txt", "O1\tA\r\nG0\r\nO1\tA\r\nG1\r\n%\r\n");
        const QString folder = FDir.filePath("repeated");
        QVERIFY(QDir().mkpath(folder));
        QCOMPARE(Cli({ "split", repeated, "-d", folder }).ExitCode, 0);
        QCOMPARE(
            QDir(folder + "/Velcarn").entryList(QDir::Files, QDir::Name), QStringList({ "O1_A (2).CNC", "O1_A.CNC" }));
        QCOMPARE(FileBytes(folder + "/Velcarn/O1_A (2).CNC"), QByteArray("%\r\nO1\tA\r\nG1\r\n%\r\n"));
        // A missing folder is made, with its parents.
        const QString deeper = FDir.filePath("new/deeper");
        run = Cli({ "split", file, "-d", deeper });
        QCOMPARE(run.ExitCode, 0);
        QVERIFY(QFileInfo::exists(deeper + "/Velcarn/O0002 _X_.CNC"));
        // Below a plain file no folder can be made, not even by root.
        run = Cli({ "split", file, "-d", Fixture("plain-file", "x") + "/sub" });
        QCOMPARE(run.ExitCode, 1);
        QCOMPARE(run.Err.trimmed(), Utf8("SEÇTİĞİNİZ KLASÖR UYGUN DEĞİL, İÇİNE Velcarn KLASÖRÜ AÇILAMADI."));
    }

    void endlessAndSpecialFiles_data()
    {
        QTest::addColumn<QStringList>("args");
        for (const char* file : { "/dev/zero", "fifo" })
            for (const QStringList& verb :
                QList<QStringList> { { "scan" }, { "normalize" }, { "hexdump" }, { "split" }, { "cmt" } })
                QTest::newRow(qPrintable(verb.join(' ') + " " + file)) << (verb + QStringList { file });
    }
    void endlessAndSpecialFiles()
    {
        // Refused at once with a message, never read without end nor blocked.
        QFETCH(QStringList, args);
        if (args.last() == "fifo") {
            args.last() = FDir.filePath("fifo");
            if (!QFileInfo::exists(args.last()))
                QCOMPARE(::mkfifo(QFile::encodeName(args.last()).constData(), 0600), 0);
        }
        QElapsedTimer clock;
        clock.start();
        const TRun run = Cli(args);
        QCOMPARE(run.ExitCode, 1);
        QCOMPARE(run.Err.trimmed(), args.last() + Utf8(": Normal bir dosya değil, okunmadı"));
        QVERIFY(run.Out.isEmpty());
        QVERIFY(clock.elapsed() < 5000);
    }

    void deviceTextOnATerminal()
    {
        // What goes to a terminal loses its control characters but tab; a pipe keeps every byte.
        const QString text = QString::fromUtf8("Torna\t\x1b]0;x\x07\x1b[2J\r\nşifre\x7f");
        int master = -1, slave = -1;
        QCOMPARE(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
        std::FILE* terminal = ::fdopen(slave, "w");
        QVERIFY(terminal);
        QCOMPARE(TerminalText(text, terminal), QString::fromUtf8("Torna\t?]0;x??[2J??şifre?"));
        std::fclose(terminal);
        ::close(master);
        int pipeEnds[2];
        QCOMPARE(::pipe(pipeEnds), 0);
        std::FILE* pipe = ::fdopen(pipeEnds[1], "w");
        QCOMPARE(TerminalText(text, pipe), text);
        std::fclose(pipe);
        ::close(pipeEnds[0]);
    }

    void cmt()
    {
        const QString file = QUILLEX_FIXTURES "/cmt/two-programs.cmt";
        TRun run = Cli({ "cmt", file });
        QCOMPARE(run.ExitCode, 0);
        QCOMPARE(QString::fromUtf8(run.Out),
            Utf8("Kontrol: TFU (3117)\nBlok: 9, checksum hatası: 1\nProgram: 2\n\n0007  PART-A  (1 blok)\n"
                 "12345  B  (0 blok)\n"));
        run = Cli({ "cmt", file, "--extract", "1", "-o", FDir.filePath("b.cmt") });
        QCOMPARE(run.ExitCode, 0);
        TCmtInfo info;
        QVERIFY(ParseCmt(FileBytes(FDir.filePath("b.cmt")), info));
        QCOMPARE(info.Programs.size(), 1);
        QCOMPARE(info.Programs[0].WorkNo, 12345);

        run = Cli({ "cmt", file, "--extract", "2", "-o", FDir.filePath("c.cmt") });
        QCOMPARE(run.ExitCode, 1);
        QCOMPARE(run.Err.trimmed(), Utf8("Bu CMT dosyasında program ayrı kaydedilemez."));
        const QString other
            = Fixture("m32.cmt", BuildCmtFrame("3121ab") + BuildCmtFrame("1100") + BuildCmtFrame("1200"));
        run = Cli({ "cmt", other });
        QCOMPARE(QString::fromUtf8(run.Out),
            Utf8("Kontrol: M32 (3121)\nBlok: 3, checksum hatası: 0\nBu kontrol tipi için program bilgisi "
                 "doğrulanmadı.\n"));
        // A description holding a marker of its own stays as it is.
        const QString percent = Fixture("percent.cmt",
            BuildCmtFrame("3117x") + BuildCmtFrame("1100" + QByteArray(10, ' ') + "00000050    0850%1 OFF")
                + BuildCmtFrame("1500") + BuildCmtFrame("1200"));
        run = Cli({ "cmt", percent });
        QCOMPARE(QString::fromUtf8(run.Out),
            Utf8("Kontrol: TFU (3117)\nBlok: 4, checksum hatası: 0\nProgram: 1\n\n0050  50%1 OFF  (1 blok)\n"));
        run = Cli({ "cmt", Fixture("none.cmt", "no blocks here") });
        QCOMPARE(run.ExitCode, 1);
        QVERIFY(!run.Err.isEmpty());
    }

    // Output lost to a full disk is a failure with the system's reason, however
    // small or large it is and whichever way it is written.
    void lostOutput_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("normalize, small") << QStringList { "normalize", "small.nc" };
        QTest::newRow("hexdump, larger than the stream's buffer") << QStringList { "hexdump", "large.bin" };
        QTest::newRow("scan") << QStringList { "scan", "small.nc" };
        QTest::newRow("JSON") << QStringList { "normalize", "small.nc", "--json" };
        QTest::newRow("version") << QStringList { "--version" };
        QTest::newRow("to standard output with -o -") << QStringList { "cmt", "CMTFILE", "--extract", "0", "-o", "-" };
    }
    void lostOutput()
    {
        QFETCH(QStringList, args);
        Fixture("small.nc", "%\nO1\nT1 M6\nM30\n%\n");
        Fixture("large.bin", QByteArray(209858, '\x5a'));
        args.replaceInStrings(QRegularExpression("^(small.nc|large.bin)$"), FDir.path() + "/\\1");
        args.replaceInStrings(QRegularExpression("^CMTFILE$"), QUILLEX_FIXTURES "/cmt/two-programs.cmt");
        QProcess process;
        process.setStandardOutputFile("/dev/full");
        process.start(QUILLEX_CLI, args);
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitCode(), 1);
        const QString said = QString::fromUtf8(process.readAllStandardError());
        const QString reason = "standard output: " + QString::fromLocal8Bit(std::strerror(ENOSPC));
        QVERIFY2(said.count(reason) == 1, qPrintable(said)); // said once, with the system's reason
    }

    // -o writes into a FIFO or a terminal; it never puts a regular file in their place.
    void outputIntoSpecialFiles()
    {
        const QString file = QUILLEX_FIXTURES "/cmt/two-programs.cmt";
        TRun expected = Cli({ "cmt", file, "--extract", "1", "-o", "-" });
        QCOMPARE(expected.ExitCode, 0);
        QVERIFY(!expected.Out.isEmpty());

        const QString fifo = FDir.filePath("out.fifo");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QProcess reader;
        reader.start("cat", { fifo });
        QVERIFY(reader.waitForStarted());
        QCOMPARE(Cli({ "cmt", file, "--extract", "1", "-o", fifo }).ExitCode, 0);
        QVERIFY(reader.waitForFinished(10000));
        QCOMPARE(reader.readAllStandardOutput(), expected.Out);
        struct stat info { };
        QCOMPARE(::stat(QFile::encodeName(fifo).constData(), &info), 0);
        QVERIFY(S_ISFIFO(info.st_mode));

        int master = -1, slave = -1;
        char name[256] = {};
        QCOMPARE(::openpty(&master, &slave, name, nullptr, nullptr), 0);
        termios raw {};
        QCOMPARE(::tcgetattr(slave, &raw), 0);
        ::cfmakeraw(&raw);
        QCOMPARE(::tcsetattr(slave, TCSANOW, &raw), 0);
        QCOMPARE(Cli({ "cmt", file, "--extract", "1", "-o", QString::fromLocal8Bit(name) }).ExitCode, 0);
        QByteArray got(expected.Out.size() + 16, '\0');
        qsizetype have = 0;
        while (have < expected.Out.size()) {
            const ssize_t n = ::read(master, got.data() + have, size_t(got.size() - have));
            if (n <= 0)
                break;
            have += n;
        }
        QCOMPARE(got.left(have), expected.Out);
        QCOMPARE(::stat(name, &info), 0);
        QVERIFY(S_ISCHR(info.st_mode));
        ::close(slave);
        ::close(master);
    }

    void normalize()
    {
        const QString file = Fixture("n.nc", "%_N_MAIN_MPF\ng1x5\n\n\xFE\x69\xFE m30\n");
        QCOMPARE(Cli({ "normalize", file }).Out, QByteArray("%\r\n_N_MAIN_MPF\r\nG1 X5\r\nSIS M30\r\n%\r\n"));
        QCOMPARE(Cli({ "normalize", file, "--siemens" }).Out, QByteArray("%_N_MAIN_MPF\r\nG1X5\r\nSIS M30\r\n%\r\n"));
    }

    void usage_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::newRow("scan without file") << QStringList { "scan" } << 2;
        QTest::newRow("cmt -o without --extract") << QStringList { "cmt", "x", "-o", "y" } << 2;
        QTest::newRow("split -d without folder") << QStringList { "split", "x", "-d" } << 2;
        QTest::newRow("missing file") << QStringList { "hexdump", "/nonexistent/file" } << 1;
    }
    void usage()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QCOMPARE(Cli(args).ExitCode, code);
    }

    void helpTexts()
    {
        for (const char* verb : { "scan", "split", "cmt", "hexdump", "normalize" }) {
            const TRun run = Cli({ verb, "--help" });
            QCOMPARE(run.ExitCode, 0);
            QVERIFY(run.Out.contains("Example: quillex-cli " + QByteArray(verb)));
        }
    }

    void corpusInvariants()
    {
        QUILLEX_REQUIRE_CORPUS();
        int toolChanges = 0;
        for (const QString& path : CorpusFiles()) {
            const QByteArray bytes = FileBytes(path);
            // scan: the rows' lines are the lines grep finds in the word-spaced text
            const TRun scan = Cli({ "scan", path });
            QCOMPARE(scan.ExitCode, 0);
            TPlainTextStore store;
            TProgramDocument opened(store);
            opened.OpenBytes(bytes, false);
            if (opened.Mode() != TDocumentMode::Text)
                continue;
            const QByteArray spaced
                = EncodeText(JoinTextLines(opened.Lines(), TLineBreakStyle::Lf, true), opened.Encoding(), false);
            const QString spacedFile = FDir.filePath("spaced.nc");
            QString error;
            QVERIFY(WriteWholeFile(spacedFile, spaced, error));
            QProcess grep;
            grep.start("grep", { "-P", "--text", "(?=.*\\bT\\d+\\b)(?=.*\\bM0*6\\b)", spacedFile });
            QVERIFY(grep.waitForFinished());
            QStringList grepped;
            for (const QByteArray& line : grep.readAllStandardOutput().split('\n'))
                if (!line.isEmpty())
                    grepped << TrimLow(DecodeText(line, opened.Encoding(), false)).toString();
            QStringList rows;
            for (const QString& row : QString::fromUtf8(scan.Out).split('\n', Qt::SkipEmptyParts))
                rows << row.section(": ", 1);
            if (!ScanToolChangeLines(opened.Lines(), 1).MultipleProgramNumbers)
                QVERIFY2(rows == grepped, qPrintable(path));
            toolChanges += int(rows.size());

            // split: the files written hold every line of the opened text from the first program on
            const QList<TSplitProgram> programs = SplitPrograms(opened.Lines());
            const TRun split = Cli({ "split", path });
            QCOMPARE(split.ExitCode, 0);
            QCOMPARE(split.Out.count('\n'), programs.size());
            if (!programs.isEmpty()) {
                QTemporaryDir target;
                QCOMPARE(Cli({ "split", path, "-d", target.path() }).ExitCode, 0);
                QStringList written;
                for (const QString& name : ProgramFileNames(programs)) {
                    const QStringList lines
                        = SplitTextLines(DecodeAnsi(FileBytes(target.filePath(ProgramFolderName + "/" + name))));
                    QVERIFY(lines.size() >= 2);
                    written += lines.mid(1, lines.size() - 2);
                }
                QStringList source = opened.Lines();
                while (!source.isEmpty() && !IsProgramStartLine(source.first()))
                    source.removeFirst();
                if (!source.isEmpty() && TrimLow(source.last()) == u"%")
                    source.removeLast();
                for (QString& line : source) // as the Windows-1254 file holds it
                    line = DecodeAnsi(EncodeAnsi(line.replace(':', 'O')));
                QCOMPARE(written, source);
            }

            // hexdump: byte-identical to the editor's function
            QCOMPARE(Cli({ "hexdump", path }).Out, HexDumpText(bytes).toLatin1());

            // normalize: the upload's bytes
            QCOMPARE(Cli({ "normalize", path }).Out, PrepareFileForUpload(bytes, false).Content);
        }
        QVERIFY(toolChanges > 20);
    }
};

QTEST_GUILESS_MAIN(TestCliContent)
#include "tst_clicontent.moc"
