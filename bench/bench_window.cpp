// The window's handling of large content against the core functions alone.
#include "BenchPrompter.h"
#include "BenchUtil.h"
#include "tests/support/FormWidget.h"

#include "app/FindBar.h"
#include "app/GCodeLexer.h"
#include "app/unitmainform.h"
#include "content/CodePage.h"
#include "content/EditorText.h"
#include "content/HexDump.h"
#include "content/TextDocument.h"
#include "dialogs/UnitProgramListsForm.h"

#include <QApplication>
#include <QCheckBox>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QTimer>

#include <Qsci/qsciscintilla.h>

// Usage: quillex-bench-window PROGRAM_FILE [--open-only] (the file made by
// bench/make-program.sh); run under an X server (xvfb-run) on the xcb
// platform. --open-only: the opening figures alone.
int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const bool openOnly = argc == 3 && qstrcmp(argv[2], "--open-only") == 0;
    if ((argc != 2 && !openOnly) || !QFileInfo(argv[1]).isFile()) {
        std::fprintf(stderr,
            "quillex-bench-window: a program file is needed (bench/make-program.sh makes one "
            "from ../shared/data/gcode/)\n");
        return 1;
    }
    const QString programFile = QFileInfo(argv[1]).absoluteFilePath();
    const qint64 fileSize = QFileInfo(programFile).size();
    QTemporaryDir dir;
    qputenv("QUILLEX_SETTINGS", dir.filePath("settings.ini").toLocal8Bit());
    qputenv("QUILLEX_NO_KEYCHAIN", "1");

    TBenchPrompter prompter;
    prompter.OpenFile = programFile;
    TMainFormOptions options;
    options.StatusPort = BenchStatusPort();
    TFormMain window(prompter, options);
    window.resize(1055, 674);
    window.show();
    QApplication::processEvents();
    auto* lexer = qobject_cast<TSynGCodeSyn*>(Widget<QsciScintilla>(window, "SynEditProgram")->lexer());

    // Opening until the frame showing the coloured text has reached the X
    // server (painted into the window's backing store, handed to the server,
    // and a round trip to the server), against the peer: reading the file and
    // decoding it into the text the editor shows, no more. The window shows
    // word spaces for any control but a SIEMENS one, and none is selected
    // here; the same read without them is printed beside it. One opening and
    // one read first warm the caches; then the pairs in turns. The peak memory
    // of the whole process is read after the first opening, before a peer
    // holds a text of its own.
    const auto openOnce = [&] {
        window.SpeedButtonFileOpenClick();
        window.repaint(); // paints: the lexer styles what is shown
        QGuiApplication::sync();
    };
    // What an opening leaves for later (the restart checks, on a worker) ends
    // before the next figure is taken, so that it slows neither side of a pair.
    const auto settle = [] {
        QCoreApplication::processEvents(); // the checks begin once the window is back in its loop
        QThreadPool::globalInstance()->waitForDone();
    };
    qsizetype peerLength = 0;
    const auto readAndDecode = [&](bool wordSpaces) {
        QByteArray bytes;
        QString error;
        if (!ReadWholeFile(programFile, bytes, error))
            qFatal("%s", qPrintable(error));
        const TEditorText text = ReadEditorText(bytes, wordSpaces);
        if (text.Utf8.isEmpty() && !bytes.isEmpty())
            qFatal("nothing decoded");
        if (wordSpaces)
            peerLength = text.Utf8.size();
    };
    openOnce();
    const qint64 openPeak = PeakMemoryBytes();
    settle();
    const qint64 checkedPeak = PeakMemoryBytes();
    const qint64 styled = lexer ? lexer->StyledCharacters() : 0;
    readAndDecode(true);
    std::vector<TTimes> opens, reads, bareReads;
    for (int pair = 0; pair < BenchPairs(); ++pair) {
        opens.push_back(Measure(openOnce));
        settle();
        reads.push_back(Measure([&] { readAndDecode(true); }));
        bareReads.push_back(Measure([&] { readAndDecode(false); }));
    }
    const auto shownLength
        = Widget<QsciScintilla>(window, "SynEditProgram")->SendScintilla(QsciScintilla::SCI_GETLENGTH);
    std::printf("window: %lld bytes, %lld lines in the editor, %lld characters styled after opening\n",
        qlonglong(fileSize), qlonglong(Widget<QsciScintilla>(window, "SynEditProgram")->lines()), qlonglong(styled));
    PrintPairs("window open until painted / read and decode alone", opens, reads, 2.0);
    std::printf(
        "  (the peer decodes %lld bytes, the editor holds %lld)\n", qlonglong(peerLength), qlonglong(shownLength));
    PrintPairs("  the same / read and decode without word spaces", opens, bareReads);
    PrintPeak("window peak memory opening it", openPeak, fileSize, 40, 4);
    std::printf("  (%.1f MiB once the restart checks have run)\n", checkedPeak / 1048576.0);
    if (openOnly)
        return 0;

    // A program whose body is one line of 16 MiB against the same bytes in
    // their normal lines, each opened until painted, in turns.
    {
        QByteArray bytes;
        QString error;
        if (!ReadWholeFile(programFile, bytes, error))
            qFatal("%s", qPrintable(error));
        const qsizetype size = qMin<qsizetype>(16 * 1024 * 1024, bytes.size());
        const QByteArray normal = bytes.left(bytes.lastIndexOf('\n', size - 1) + 1) + "%\n";
        const qsizetype head = normal.indexOf('\n', normal.indexOf('\n') + 1) + 1; // '%' and the program line
        QByteArray single = normal;
        std::replace(single.begin() + head, single.end() - 3, '\n', ' ');
        const QString normalFile = dir.filePath("lines.nc"), singleFile = dir.filePath("single-line.nc");
        WriteBenchFile(normalFile, normal);
        WriteBenchFile(singleFile, single);
        const auto openFile = [&](const QString& file) {
            return [&, file] {
                prompter.OpenFile = file;
                openOnce();
            };
        };
        const TPairs pairs = TakePairs(openFile(singleFile), openFile(normalFile));
        std::printf("long line: %lld bytes in %lld lines, against one line of %lld bytes\n", qlonglong(normal.size()),
            qlonglong(normal.count('\n')), qlonglong(single.size() - head - 3));
        PrintPairs("open a 16 MiB single-line program / 16 MiB of lines", pairs, 3.0);
        prompter.OpenFile = programFile;
        openOnce();
    }

    QElapsedTimer timer;
    timer.start();
    const int last = Widget<QsciScintilla>(window, "SynEditProgram")->lines() - 1;
    Widget<QsciScintilla>(window, "SynEditProgram")->setCursorPosition(last, 0);
    Widget<QsciScintilla>(window, "SynEditProgram")->ensureLineVisible(last);
    Widget<QsciScintilla>(window, "SynEditProgram")->grab();
    PrintFigure("jump to the last line and show it", timer.nsecsElapsed() / 1e6, "ms", "");

    // The program list window on the whole text: every program a row, the
    // first one shown.
    timer.restart();
    {
        TFormProgramList programs(prompter, window.Document().Utf8Text(), &window);
        programs.show();
        QApplication::processEvents();
        std::printf("program list window: %d programs, the first one %lld lines\n",
            Widget<QListWidget>(programs, "ListBox1")->count(),
            qlonglong(Widget<QsciScintilla>(programs, "Memo1")->lines()));
        PrintFigure("open the program list window and show it", timer.nsecsElapsed() / 1e6, "ms", "");
    }

    // Find and replace through the bar, on the 32 MiB program with one closing
    // line whose words occur nowhere else, against grep and sed on the same file.
    const QString markedFile = dir.filePath("marked.nc");
    {
        QByteArray marked;
        QString error;
        if (!ReadWholeFile(programFile, marked, error))
            qFatal("%s", qPrintable(error));
        marked += "M30 (QUILLEX SON)\n";
        WriteBenchFile(markedFile, marked);
    }
    prompter.OpenFile = markedFile;
    window.SpeedButtonFileOpenClick();
    QsciScintilla* editor = Widget<QsciScintilla>(window, "SynEditProgram");
    TFindBar* bar = window.FindBar();
    window.ShowFindBar(true);
    bar->FindEdit()->setText("QUILLEX SON");
    const double findLast = BestSeconds(3, [&] {
        editor->SendScintilla(QsciScintilla::SCI_GOTOPOS, 0L);
        window.FindNextClick();
    });
    if (editor->selectedText() != "QUILLEX SON")
        qFatal("the last match was not found");
    const double grepLast = CommandSeconds(3, "grep", { "-c", "QUILLEX SON", markedFile });
    PrintFigure("find the last match in 32 MiB (F3 from the top) / grep -c", findLast / grepLast, "ratio", "");

    bar->FindEdit()->setText("G1");
    bar->MatchCaseBox()->setChecked(true);
    bar->ReplaceEdit()->setText("G01");
    QElapsedTimer counting;
    counting.start();
    qsizetype matches = -1;
    {
        QEventLoop loop;
        QObject::connect(bar, &TFindBar::MatchesCounted, &loop, [&](qsizetype count) {
            matches = count;
            loop.quit();
        });
        QTimer::singleShot(60000, &loop, &QEventLoop::quit);
        loop.exec();
    }
    if (matches < 0)
        qFatal("the matches were not counted");
    const double countSeconds = counting.nsecsElapsed() / 1e9;
    double replaceAll = 1e9;
    for (int run = 0; run < 3; ++run) {
        timer.restart();
        bar->ReplaceAll();
        replaceAll = qMin(replaceAll, timer.nsecsElapsed() / 1e9);
        editor->undo(); // one step back to the text as opened
    }
    if (window.Document().IsModified())
        qFatal("replace all was not undone in one step");
    const double sed = CommandSeconds(3, "sed", { "s/G1/G01/g", markedFile });
    std::printf("find bar: %lld matches of G1, counted in the background in %.3fs (typing pause included)\n",
        qlonglong(matches), countSeconds);
    PrintFigure("replace all G1 in 32 MiB (one undo step) / sed s///g", replaceAll / sed, "ratio", "");
    std::printf("absolute: find %.3fs grep %.3fs | replace all %.3fs sed %.3fs\n", findLast, grepLast, replaceAll, sed);
    bar->HideBar();

    QByteArray capture(32 * 1024 * 1024, Qt::Uninitialized);
    QRandomGenerator(1).fillRange(reinterpret_cast<quint32*>(capture.data()), capture.size() / 4);
    timer.restart();
    window.ShowRawCapture(capture);
    window.grab(); // the dump as it shows
    const double raw = timer.nsecsElapsed() / 1e9;
    const double dump = BestSeconds(3, [&] { HexDumpText(capture); });
    PrintRatio("showing a 32 MiB raw capture / HexDumpText alone", raw, dump, 2.0);
    window.close();
    return 0;
}
