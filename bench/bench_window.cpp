// The window's handling of large content against the core functions alone.
#include "BenchUtil.h"

#include "app/FindBar.h"
#include "app/GCodeLexer.h"
#include "app/unitmainform.h"
#include "content/CodePage.h"
#include "content/HexDump.h"
#include "content/TextDocument.h"
#include "ui_unitmainform.h"

#include <QApplication>
#include <QCheckBox>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <Qsci/qsciscintilla.h>

namespace {

constexpr qsizetype Size32MiB = 32 * 1024 * 1024;

class TBenchPrompter : public TUiPrompter {
public:
    QString OpenFile;
    bool AskPin(const QString&, const QString&, QString&) override { return false; }
    void ShowMessage(const QString& text) override { std::fprintf(stderr, "message: %s\n", qPrintable(text)); }
    bool ConfirmOkCancel(const QString&) override { return true; }
    bool ConfirmYesNo(const QString&) override { return true; }
    bool AskNewPin(const QString&, const QString&, const QString&, QString&, QString&) override { return false; }
    bool AskOpenFile(const QString&, QString& fileName) override
    {
        fileName = OpenFile;
        return true;
    }
    bool AskSaveFile(const QString&, const QString&, const QString&, const QString&, QString&) override
    {
        return false;
    }
    bool AskFolder(const QString&, QString&) override { return false; }
    bool AskInteger(const QString&, const QString&, int, int, int&) override { return false; }
};

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    qputenv("QUILLEX_SETTINGS", dir.filePath("settings.ini").toLocal8Bit());
    qputenv("QUILLEX_NO_KEYCHAIN", "1");

    RequireCorpus(QUILLEX_GCODE_DATA);
    // The corpus programs to 32 MiB, and one closing line whose words occur nowhere else.
    const QByteArray lastLine = "M30 (QUILLEX SON)\n";
    const QByteArray program = BuildCorpusProgram(QUILLEX_GCODE_DATA, Size32MiB - lastLine.size()) + lastLine;
    const QString programFile = dir.filePath("program.nc");
    QFile out(programFile);
    if (!out.open(QIODevice::WriteOnly) || out.write(program) != program.size())
        qFatal("cannot write the program");
    out.close();

    TBenchPrompter prompter;
    prompter.OpenFile = programFile;
    TMainFormOptions options;
    options.StatusPort = 15699;
    TFormMain window(prompter, options);
    window.resize(1055, 674);
    window.show();
    QApplication::processEvents();
    auto* lexer = qobject_cast<TSynGCodeSyn*>(window.Form()->SynEditProgram->lexer());

    // Opening until the editor shows coloured text.
    QElapsedTimer timer;
    timer.start();
    window.SpeedButtonFileOpenClick();
    window.Form()->SynEditProgram->grab(); // paints: the lexer styles what is shown
    const double open = timer.nsecsElapsed() / 1e9;
    const qint64 styled = lexer ? lexer->StyledCharacters() : 0;
    const double reader = BestSeconds(3, [&] { ReadTextDocument(program); });
    std::printf("window: %lld lines in the editor, %lld characters styled after opening\n",
        qlonglong(window.Form()->SynEditProgram->lines()), qlonglong(styled));
    PrintFigure("(5a) opening 32 MiB in the window / text reader alone", open / reader, "ratio", "target <= 3");

    timer.restart();
    const int last = window.Form()->SynEditProgram->lines() - 1;
    window.Form()->SynEditProgram->setCursorPosition(last, 0);
    window.Form()->SynEditProgram->ensureLineVisible(last);
    window.Form()->SynEditProgram->grab();
    PrintFigure("(5b) jump to the last line and show it", timer.nsecsElapsed() / 1e6, "ms", "");

    // Find and replace through the bar, on the editor's 32 MiB text, against
    // grep and sed on the same file.
    QsciScintilla* editor = window.Form()->SynEditProgram;
    TFindBar* bar = window.FindBar();
    window.ShowFindBar(true);
    bar->FindEdit()->setText("QUILLEX SON");
    const double findLast = BestSeconds(3, [&] {
        editor->SendScintilla(QsciScintilla::SCI_GOTOPOS, 0L);
        window.FindNextClick();
    });
    if (editor->selectedText() != "QUILLEX SON")
        qFatal("the last match was not found");
    const double grepLast = CommandSeconds(3, "grep", { "-c", "QUILLEX SON", programFile });
    PrintFigure("(5d) find the last match in 32 MiB (F3 from the top) / grep -c", findLast / grepLast, "ratio", "");

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
    const double sed = CommandSeconds(3, "sed", { "s/G1/G01/g", programFile });
    std::printf("find bar: %lld matches of G1, counted in the background in %.3fs (typing pause included)\n",
        qlonglong(matches), countSeconds);
    PrintFigure("(5e) replace all G1 in 32 MiB (one undo step) / sed s///g", replaceAll / sed, "ratio", "");
    std::printf("absolute: find %.3fs grep %.3fs | replace all %.3fs sed %.3fs\n", findLast, grepLast, replaceAll, sed);
    bar->HideBar();

    QByteArray capture(Size32MiB, Qt::Uninitialized);
    QRandomGenerator(1).fillRange(reinterpret_cast<quint32*>(capture.data()), capture.size() / 4);
    timer.restart();
    window.ShowRawCapture(capture);
    window.grab(); // the dump as it shows
    const double raw = timer.nsecsElapsed() / 1e9;
    const double dump = BestSeconds(3, [&] { HexDumpText(capture); });
    PrintFigure("(5c) showing a 32 MiB raw capture / HexDumpText alone", raw / dump, "ratio", "target <= 2");
    std::printf("absolute: open %.3fs reader %.3fs | raw %.3fs dump %.3fs\n", open, reader, raw, dump);
    window.close();
    return 0;
}
