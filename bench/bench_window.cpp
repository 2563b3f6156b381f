// The window's handling of large content against the core functions alone.
#include "BenchUtil.h"

#include "app/GCodeLexer.h"
#include "app/unitmainform.h"
#include "content/CodePage.h"
#include "content/HexDump.h"
#include "content/TextDocument.h"
#include "ui_unitmainform.h"

#include <QApplication>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

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

    const QByteArray program = BuildCorpusProgram(QUILLEX_GCODE_DATA, Size32MiB);
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
