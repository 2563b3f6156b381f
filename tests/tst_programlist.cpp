// The program list window on the offscreen platform: the programs of a text as
// rows, saving all of them or one, moving one into the main editor, deleting
// rows; opened from the main window and run on a real backup of several programs.
#include "ScriptedPrompter.h"
#include "TestUtil.h"
#include "tests/support/FormWidget.h"

#include "app/unitmainform.h"
#include "content/CodePage.h"
#include "content/EditorText.h"
#include "content/ProgramSplitter.h"
#include "content/TextDocument.h"
#include "dialogs/UnitProgramListsForm.h"
#include "tests/support/ReferencePaths.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFrame>
#include <QLabel>
#include <QListView>
#include <QListWidget>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <Qsci/qsciscintilla.h>

namespace {

const QStringList ThreePrograms
    = { "%", "O0001 (A/B)", "G0 X0", "M30", "O0002 <X>", "G1 X1", "M30", ":0003", "G2 X2", "M30", "%" };

QString Utf8(const char* text)
{
    return QString::fromUtf8(text);
}

QStringList Rows(const QAbstractItemView* list)
{
    QStringList rows;
    for (int i = 0; i < list->model()->rowCount(); ++i)
        rows << list->model()->index(i, 0).data().toString();
    return rows;
}

// The memo's whole text (QScintilla's text() ends at a character of code 0).
QStringList MemoLines(const TFormProgramList& form)
{
    QsciScintilla* memo = Widget<QsciScintilla>(form, "Memo1");
    const auto length = qsizetype(memo->SendScintilla(QsciScintilla::SCI_GETLENGTH));
    return SplitTextLines(QString::fromUtf8(
        reinterpret_cast<const char*>(memo->SendScintilla(QsciScintilla::SCI_GETCHARACTERPOINTER)), length));
}

int SelectedRow(const TFormProgramList& form)
{
    const QList<QListWidgetItem*> selected = Widget<QListWidget>(form, "ListBox1")->selectedItems();
    return selected.isEmpty() ? -1 : Widget<QListWidget>(form, "ListBox1")->row(selected.first());
}

// File name -> bytes of every file in folder.
QMap<QString, QByteArray> FolderFiles(const QString& folder)
{
    QMap<QString, QByteArray> files;
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name))
        files.insert(name, FileBytes(QDir(folder).filePath(name)));
    return files;
}

// What the save-all pauses were asked for, and where the bar stood at each.
struct TPauseLog {
    QList<int> Ms;
    QList<int> BarValues;
};

int RunCli(const QStringList& args)
{
    QProcess process;
    process.start(QUILLEX_CLI, args);
    return process.waitForFinished(60000) ? process.exitCode() : -1;
}

// The real backup: a main part and three numbered subroutines in one file.
QString RealBackup()
{
    return QUILLEX_GCODE_DATA "/pcb2gcode/testing/gerbv_example/example_board_al_mach3_tiled/expected/back.ngc";
}

// Runs probe inside the modal window the next call opens: a posted call is
// delivered by the window's own event loop, once the window is up.
void WhenModal(std::function<void(TFormProgramList*)> probe)
{
    QMetaObject::invokeMethod(
        qApp, [probe] { probe(qobject_cast<TFormProgramList*>(QApplication::activeModalWidget())); },
        Qt::QueuedConnection);
}

} // namespace

class TestProgramList : public QObject {
    Q_OBJECT
    QTemporaryDir FDir;
    TPauseLog FPauses;

    // The window as the main window opens it; the save-all pauses are only recorded.
    std::unique_ptr<TFormProgramList> OpenForm(TScriptedPrompter& prompter, const QStringList& lines)
    {
        auto form = std::make_unique<TFormProgramList>(prompter, JoinUtf8Lines(lines, TLineBreakStyle::CrLf));
        TFormProgramList* f = form.get();
        FPauses = {};
        form->SetPause([this, f](int ms) {
            FPauses.Ms << ms;
            FPauses.BarValues << Widget<QProgressBar>(*f, "JvGradientProgressBar1")->value();
        });
        form->show();
        return form;
    }

    std::unique_ptr<TFormMain> MainWindow(TScriptedPrompter& prompter)
    {
        TMainFormOptions options;
        options.StartupDelayMs = 24 * 3600 * 1000; // no status listener needed
        auto window = std::make_unique<TFormMain>(prompter, options);
        window->show();
        return window;
    }

    QString NewFolder(const QString& name)
    {
        const QString path = FDir.filePath(name);
        QDir(path).removeRecursively();
        QDir().mkpath(path);
        return path;
    }

    void RequireCorpus()
    {
        if (QFileInfo::exists(RealBackup()))
            return;
        if (qEnvironmentVariableIsSet("CI"))
            QFAIL(qPrintable("the real backup is missing: " + RealBackup()));
        QSKIP("the shared G-code corpus is not beside the repository");
    }

private slots:
    void init()
    {
        qputenv("QUILLEX_SETTINGS", FDir.filePath("quillex_settings.ini").toLocal8Bit());
        qputenv("QUILLEX_NO_KEYCHAIN", "1");
        qputenv("XDG_CONFIG_HOME", FDir.path().toLocal8Bit());
    }

    void layout()
    {
        TScriptedPrompter prompter;
        auto form = OpenForm(prompter, ThreePrograms);
        const QObject* f = form.get();
        QCOMPARE(form->windowTitle(), QString("Program Listesi"));
        QVERIFY(form->isModal());
        QCOMPARE(form->size(), QSize(908, 529));
        QCOMPARE(Widget<QFrame>(f, "Panel1")->height(), 49);
        QCOMPARE(Widget<QListWidget>(f, "ListBox1")->width(), 273);
        QCOMPARE(Widget<QProgressBar>(f, "JvGradientProgressBar1")->height(), 17);
        QCOMPARE(Widget<QProgressBar>(f, "JvGradientProgressBar1")->geometry().bottom(), form->rect().bottom());
        QCOMPARE(Widget<QLabel>(f, "Label1")->text(), QString("Program Listesi"));
        QCOMPARE(Widget<QLabel>(f, "Label2")->text(), Utf8("Program İçeriği"));
        QCOMPARE(QStringList({ Widget<QPushButton>(f, "Button4")->text(), Widget<QPushButton>(f, "Button3")->text(),
                     Widget<QPushButton>(f, "Button2")->text(), Widget<QPushButton>(f, "Button1")->text() }),
            QStringList({ Utf8("Seçili Olanı Sil"), Utf8("Seçili Olanı Aktar"), Utf8("Seçili Olanı Kaydet"),
                Utf8("Hepsini Kaydet") }));
        // The buttons in that order from left to right, "Hepsini Kaydet" at the right end.
        QVERIFY(Widget<QPushButton>(f, "Button4")->x() < Widget<QPushButton>(f, "Button3")->x()
            && Widget<QPushButton>(f, "Button3")->x() < Widget<QPushButton>(f, "Button2")->x()
            && Widget<QPushButton>(f, "Button2")->x() < Widget<QPushButton>(f, "Button1")->x());
        QVERIFY(Widget<QLabel>(f, "Label3")->x() > Widget<QLabel>(f, "Label1")->x()
            && Widget<QLabel>(f, "Label2")->x() >= Widget<QListWidget>(f, "ListBox1")->width() - 10);
        QCOMPARE(Widget<QsciScintilla>(f, "Memo1")->wrapMode(), QsciScintilla::WrapNone);
        QVERIFY(!Widget<QsciScintilla>(f, "Memo1")->isReadOnly());
        QVERIFY(QFontInfo(Widget<QsciScintilla>(f, "Memo1")->font()).fixedPitch());
        QVERIFY(Widget<QsciScintilla>(f, "Memo1")->marginWidth(0) > 0);
    }

    void opening_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QString>("count");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("three programs") << ThreePrograms << QStringList { "O0001 (A/B)", "O0002 <X>", "O0003" }
                                        << "3 Adet Program" << QStringList { "%", "O0001 (A/B)", "G0 X0", "M30", "%" };
        QTest::newRow("no program-number line")
            << QStringList { "%", "G0 X0", " O0001", "M30", "%" } << QStringList {} << QString() << QStringList {};
        // Shown whole: a character of code 0 does not end the text.
        const QString withNull = QString("G0 X1") + QChar(0) + " (A)";
        QTest::newRow("a character of code 0") << QStringList { "O1", withNull, "M30" } << QStringList { "O1" }
                                               << "1 Adet Program" << QStringList { "%", "O1", withNull, "M30", "%" };
    }
    void opening()
    {
        QFETCH(QStringList, lines);
        QFETCH(QStringList, rows);
        QFETCH(QString, count);
        QFETCH(QStringList, shown);
        TScriptedPrompter prompter;
        auto form = OpenForm(prompter, lines);
        const QObject* f = form.get();
        QCOMPARE(Rows(Widget<QListWidget>(f, "ListBox1")), rows);
        QCOMPARE(SelectedRow(*form), rows.isEmpty() ? -1 : 0);
        QCOMPARE(MemoLines(*form), shown);
        QCOMPARE(Widget<QLabel>(f, "Label3")->isVisible(), !count.isEmpty());
        if (!count.isEmpty())
            QCOMPARE(Widget<QLabel>(f, "Label3")->text(), count);
        QVERIFY(form->isEnabled());
        for (QPushButton* button :
            { Widget<QPushButton>(f, "Button2"), Widget<QPushButton>(f, "Button3"), Widget<QPushButton>(f, "Button4") })
            QCOMPARE(button->isEnabled(), !rows.isEmpty());
        // "Hepsini Kaydet" on an empty list asks for no folder.
        if (rows.isEmpty()) {
            prompter.Folders = { FDir.path() };
            form->Button1Click();
            QCOMPARE(prompter.Folders.size(), 1);
        }
    }

    void selectingShowsTheStoredLines()
    {
        TScriptedPrompter prompter;
        auto form = OpenForm(prompter, ThreePrograms);
        const QObject* f = form.get();
        Widget<QsciScintilla>(f, "Memo1")->setText("%\r\nO0001 (EDITED)\r\n%");
        QTest::mouseClick(Widget<QListWidget>(f, "ListBox1")->viewport(), Qt::LeftButton, {},
            Widget<QListWidget>(f, "ListBox1")->visualItemRect(Widget<QListWidget>(f, "ListBox1")->item(2)).center());
        QCOMPARE(MemoLines(*form), QStringList({ "%", "O0003", "G2 X2", "M30", "%" }));
        Widget<QListWidget>(f, "ListBox1")->setCurrentRow(0);
        QCOMPARE(MemoLines(*form), QStringList({ "%", "O0001 (A/B)", "G0 X0", "M30", "%" }));
        // Undo does not bring back another program's text.
        Widget<QsciScintilla>(f, "Memo1")->undo();
        QCOMPARE(MemoLines(*form), QStringList({ "%", "O0001 (A/B)", "G0 X0", "M30", "%" }));
    }

    void saveAllFileNames_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QStringList>("files");
        const QString longName = "O1 " + QString(300, u'X');
        const QString turkishName = "O2" + QString(200, QChar(0x015E)); // 'Ş', two bytes in UTF-8
        QTest::newRow("forbidden characters") << QStringList { "%", "O0001 (A/B)", "G0", "O0002 <X>", "G1", "%" }
                                              << QStringList { "O0001 (A_B).CNC", "O0002 _X_.CNC" };
        QTest::newRow("control characters") << QStringList { "O1\tA\x01"
                                                             "B",
            "G0", QString("O2") + QChar(0) + "X", "G1", "%" }
                                            << QStringList { "O1_A_B.CNC", "O2_X.CNC" };
        QTest::newRow("repeated names in row order")
            << QStringList { "O0001 (A/B)", "G0", "O0001 (A_B)", "G1", "O0002", "O0001 (A/B)", "G2", "%" }
            << QStringList { "O0001 (A_B) (2).CNC", "O0001 (A_B) (3).CNC", "O0001 (A_B).CNC", "O0002.CNC" };
        QTest::newRow("letter case repeats a name")
            << QStringList { "O1 (a)", "G0", "O1 (A)", "G1", "%" } << QStringList { "O1 (A) (2).CNC", "O1 (a).CNC" };
        QTest::newRow("too long for the file system") << QStringList { longName, "G0", turkishName, "G1",
            "%" } << QStringList { longName.left(251) + ".CNC", turkishName.left(2 + 124) + ".CNC" };
    }
    void saveAllFileNames()
    {
        QFETCH(QStringList, lines);
        QFETCH(QStringList, files);
        TScriptedPrompter prompter;
        auto form = OpenForm(prompter, lines);
        const QString folder = NewFolder("names");
        prompter.Folders = { folder };
        form->Button1Click();
        QCOMPARE(prompter.Messages, QStringList());
        QCOMPARE(FolderFiles(folder + "/Velcarn").keys(), files);
        for (const QString& file : files)
            QVERIFY(file.toUtf8().size() <= 255);
    }

    void saveAllProgressAndPauses_data()
    {
        QTest::addColumn<int>("programs");
        QTest::addColumn<int>("pause");
        QTest::addColumn<int>("barMaximum");
        QTest::newRow("five programs: 500 ms") << 5 << 500 << 4;
        QTest::newRow("three programs: 1000 ms") << 3 << 1000 << 2;
        QTest::newRow("33 programs: 62.5 to the even 62 ms") << 33 << 62 << 32;
        QTest::newRow("one program: no pause, shown done") << 1 << 0 << 1;
    }
    void saveAllProgressAndPauses()
    {
        QFETCH(int, programs);
        QFETCH(int, pause);
        QFETCH(int, barMaximum);
        QStringList lines;
        for (int i = 1; i <= programs; ++i)
            lines << QString("O%1").arg(i, 4, 10, QChar('0')) << "G0 X" + QString::number(i);
        lines << "%";
        TScriptedPrompter prompter;
        auto form = OpenForm(prompter, lines);
        const QString folder = NewFolder("progress");
        prompter.Folders = { folder };
        form->Button1Click();
        QCOMPARE(FolderFiles(folder + "/Velcarn").size(), programs);
        QList<int> values;
        for (int i = 0; i < programs; ++i)
            values << i;
        QCOMPARE(FPauses.Ms, pause ? QList<int>(programs, pause) : QList<int>());
        QCOMPARE(FPauses.BarValues, pause ? values : QList<int>());
        auto* bar = Widget<QProgressBar>(*form, "JvGradientProgressBar1");
        QCOMPARE(bar->minimum(), 0);
        QCOMPARE(bar->maximum(), barMaximum);
        QCOMPARE(bar->value(), barMaximum);
        QCOMPARE(prompter.Messages, QStringList()); // no message at the end
    }

    // The real pause: the window keeps handling events, closes only once the
    // last file is written, and the commands wait meanwhile.
    void saveAllPausesWithTheWindowAlive()
    {
        QStringList lines;
        for (int i = 1; i <= 5; ++i)
            lines << QString("O%1").arg(i) << "G0";
        lines << "%";
        TScriptedPrompter prompter;
        TFormProgramList form(prompter, JoinUtf8Lines(lines, TLineBreakStyle::CrLf));
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        const QObject* f = &form;
        const QString folder = NewFolder("paced");
        prompter.Folders = { folder };

        QList<int> barDuringPause;
        bool commandsDisabled = false;
        QTimer probe;
        connect(&probe, &QTimer::timeout, &form, [&] {
            barDuringPause << Widget<QProgressBar>(f, "JvGradientProgressBar1")->value();
            commandsDisabled = !Widget<QPushButton>(f, "Button1")->isEnabled()
                && !Widget<QPushButton>(f, "Button4")->isEnabled() && !Widget<QListWidget>(f, "ListBox1")->isEnabled();
            form.close(); // held while the files are written
        });
        probe.start(300);
        QElapsedTimer elapsed;
        elapsed.start();
        form.Button1Click();
        const qint64 ms = elapsed.elapsed();
        probe.stop();
        QVERIFY2(ms >= 2400 && ms < 10000, qPrintable(QString::number(ms))); // five pauses of 500 ms
        QVERIFY2(barDuringPause.size() >= 4, qPrintable(QString::number(barDuringPause.size())));
        QVERIFY(barDuringPause.first() < barDuringPause.last());
        QVERIFY(commandsDisabled);
        QCOMPARE(FolderFiles(folder + "/Velcarn").size(), 5);
        // The close asked for meanwhile is carried out once the files are written.
        QVERIFY(!form.isVisible());
        QCOMPARE(form.result(), int(QDialog::Rejected));
        QCOMPARE(Widget<QListWidget>(f, "ListBox1")->count(), 0); // closed as a close ends it
    }

    void saveAllRefused()
    {
        TScriptedPrompter prompter;
        auto form = OpenForm(prompter, ThreePrograms);
        // A folder that already holds "Velcarn": nothing is written into it.
        const QString folder = NewFolder("taken");
        QDir(folder).mkdir("Velcarn");
        prompter.Folders = { folder, FDir.filePath("missing/deeper") };
        form->Button1Click();
        QCOMPARE(prompter.Messages,
            QStringList {
                Utf8("SEÇTİĞİNİZ KLASÖR UYGUN DEĞİL, İÇİNDE Velcarn KLASÖRÜ MEVCUT, BAŞKA BİR KONUM SEÇİNİZ") });
        QVERIFY(FolderFiles(folder + "/Velcarn").isEmpty());
        // A folder that cannot be made.
        form->Button1Click();
        QCOMPARE(prompter.Messages.value(1), Utf8("SEÇTİĞİNİZ KLASÖR UYGUN DEĞİL, İÇİNE Velcarn KLASÖRÜ AÇILAMADI."));
        // The folder dialog cancelled: nothing happens.
        form->Button1Click();
        QCOMPARE(prompter.Messages.size(), 2);
        QVERIFY(FPauses.Ms.isEmpty());
        QCOMPARE(Widget<QProgressBar>(*form, "JvGradientProgressBar1")->value(), 0);
    }

    void saveAllWriteErrorKeepsTheWrittenFiles()
    {
        TScriptedPrompter prompter;
        auto form = OpenForm(prompter, ThreePrograms);
        const QString folder = NewFolder("failing");
        // After the first file a folder takes the second file's name, so writing it fails.
        form->SetPause([&](int) { QDir().mkpath(folder + "/Velcarn/O0002 _X_.CNC"); });
        prompter.Folders = { folder };
        form->Button1Click();
        QCOMPARE(prompter.Messages.size(), 1);
        QVERIFY2(
            prompter.Messages[0].startsWith(folder + "/Velcarn/O0002 _X_.CNC: "), qPrintable(prompter.Messages[0]));
        QVERIFY(prompter.Messages[0].size() > (folder + "/Velcarn/O0002 _X_.CNC: ").size());
        const QMap<QString, QByteArray> files = FolderFiles(folder + "/Velcarn");
        QCOMPARE(files.keys(), QStringList { "O0001 (A_B).CNC" });
        QCOMPARE(files.first(), QByteArray("%\r\nO0001 (A/B)\r\nG0 X0\r\nM30\r\n%\r\n"));
        QVERIFY(Widget<QPushButton>(*form, "Button1")->isEnabled());
    }

    // The window and `quillex-cli split -d` write the same files with the same bytes.
    void saveAllEqualsTheCommandLine()
    {
        const QStringList lines = ThreePrograms.mid(0, ThreePrograms.size() - 1)
            + QStringList { Utf8("O0004 (ŞAFT ığ)"), Utf8("(KESİCİ Ø10)"), "O0001 (A/B)", "G4",
                  QString("O5") + QChar(0) + "\t" + QString(300, u'Y'), "M30", "%" };
        TScriptedPrompter prompter;
        auto form = OpenForm(prompter, lines);
        QCOMPARE(Widget<QListWidget>(*form, "ListBox1")->count(), 6);
        const QString window = NewFolder("window"), cli = NewFolder("cli");
        prompter.Folders = { window };
        form->Button1Click();
        QCOMPARE(prompter.Messages, QStringList());
        const QString text = FDir.filePath("multi.nc");
        QString error;
        QVERIFY(WriteWholeFile(
            text, EncodeText(JoinTextLines(lines, TLineBreakStyle::CrLf, true), TTextEncoding::Utf8, true), error));
        QCOMPARE(RunCli({ "split", text, "-d", cli }), 0);
        const QMap<QString, QByteArray> written = FolderFiles(window + "/Velcarn");
        QCOMPARE(written.size(), 6);
        QCOMPARE(written, FolderFiles(cli + "/Velcarn"));
        QCOMPARE(written.value(Utf8("O0004 (ŞAFT ığ).CNC")),
            QByteArray("%\r\nO0004 (\xDE"
                       "AFT \xFD\xF0)\r\n(KES\xDD"
                       "C\xDD \xD8"
                       "10)\r\n%\r\n"));
        QVERIFY(written.contains("O0001 (A_B) (2).CNC"));
    }

    void saveSelectedWritesTheStoredLines()
    {
        TScriptedPrompter prompter;
        auto form = OpenForm(prompter, ThreePrograms);
        const QObject* f = form.get();
        Widget<QListWidget>(f, "ListBox1")->setCurrentRow(1);
        Widget<QsciScintilla>(f, "Memo1")->setText("%\r\nO0002 (EDITED)\r\n%");
        const QByteArray stored("%\r\nO0002 <X>\r\nG1 X1\r\nM30\r\n%\r\n");
        const QString file = FDir.filePath("selected.txt");
        QFile::remove(file);
        // A new file: written without asking.
        prompter.SaveFiles = { file };
        form->Button2Click();
        QCOMPARE(prompter.SaveProposals, QStringList { "||" }); // no name, extension or filter
        QCOMPARE(FileBytes(file), stored);
        QCOMPARE(prompter.Questions, QStringList());
        // An existing file: replaced only after OK.
        QString error;
        QVERIFY(WriteWholeFile(file, "old", error));
        prompter.SaveFiles = { file, file };
        prompter.Confirmations = { false, true };
        form->Button2Click();
        QCOMPARE(FileBytes(file), QByteArray("old"));
        form->Button2Click();
        QCOMPARE(FileBytes(file), stored);
        QCOMPARE(prompter.Questions, QStringList(2, Utf8("VAR OLAN DOSYANIN ÜSTÜNE YAZILSIN MI?")));
        // The dialog cancelled, then a file that cannot be written: the platform's message.
        form->Button2Click();
        prompter.SaveFiles = { FDir.filePath("missing/selected.txt") };
        form->Button2Click();
        QCOMPARE(prompter.Messages.size(), 1);
        QVERIFY(!prompter.Messages[0].isEmpty());
    }

    void takeMovesTheEditedText()
    {
        TScriptedPrompter prompter;
        auto form = OpenForm(prompter, ThreePrograms);
        const QObject* f = form.get();
        Widget<QListWidget>(f, "ListBox1")->setCurrentRow(2);
        Widget<QsciScintilla>(f, "Memo1")->setText("%\r\nO0003\r\nG2 X2 (EDITED)\r\nM30\r\n%");
        QStringList taken;
        connect(form.get(), &TFormProgramList::ProgramTaken, this, [&](const QString& text) { taken << text; });
        Widget<QPushButton>(f, "Button3")->click();
        QCOMPARE(taken, QStringList { "%\r\nO0003\r\nG2 X2 (EDITED)\r\nM30\r\n%\r\n" });
        QCOMPARE(form->result(), int(QDialog::Accepted));
        QVERIFY(!form->isVisible());
        // Closing discarded the rows and hid the count.
        QCOMPARE(Widget<QListWidget>(f, "ListBox1")->count(), 0);
        QVERIFY(Widget<QLabel>(f, "Label3")->isHidden());
    }

    void takeKeepsEveryCharacter()
    {
        TScriptedPrompter prompter;
        const QString withNull = QString("G0 X1") + QChar(0) + " (A)";
        auto form = OpenForm(prompter, { "O1", withNull, "M30" });
        QStringList taken;
        connect(form.get(), &TFormProgramList::ProgramTaken, this, [&](const QString& text) { taken << text; });
        Widget<QPushButton>(*form, "Button3")->click();
        QCOMPARE(taken, QStringList { "%\r\nO1\r\n" + withNull + "\r\nM30\r\n%\r\n" });
    }

    // The text keeps no key that moves through the window: Tab and Shift+Tab
    // (with or without Ctrl) leave it unchanged and move the focus, Esc closes.
    void keyboardLeavesTheText_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("closes");
        QTest::newRow("Tab") << int(Qt::Key_Tab) << int(Qt::NoModifier) << false;
        QTest::newRow("Shift+Tab") << int(Qt::Key_Backtab) << int(Qt::ShiftModifier) << false;
        QTest::newRow("Ctrl+Tab") << int(Qt::Key_Tab) << int(Qt::ControlModifier) << false;
        QTest::newRow("Ctrl+Shift+Tab") << int(Qt::Key_Backtab) << int(Qt::ControlModifier | Qt::ShiftModifier)
                                        << false;
        QTest::newRow("Esc") << int(Qt::Key_Escape) << int(Qt::NoModifier) << true;
    }

    void keyboardLeavesTheText()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(bool, closes);
        TScriptedPrompter prompter;
        auto form = OpenForm(prompter, ThreePrograms);
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        QsciScintilla* memo = Widget<QsciScintilla>(*form, "Memo1");
        memo->setFocus();
        QTRY_VERIFY(memo->hasFocus());
        const QString text = memo->text();
        QTest::keyClick(memo, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        if (closes) {
            QVERIFY(!form->isVisible());
            return;
        }
        QCOMPARE(memo->text(), text);
        QVERIFY(form->isVisible());
        QVERIFY(!memo->hasFocus());
        QVERIFY(form->focusWidget() != nullptr && form->isAncestorOf(form->focusWidget()));
    }

    void closingDiscardsTheRows()
    {
        TScriptedPrompter prompter;
        auto form = OpenForm(prompter, ThreePrograms);
        QVERIFY(Widget<QLabel>(*form, "Label3")->isVisible());
        form->close();
        QCOMPARE(form->result(), int(QDialog::Rejected));
        QCOMPARE(Widget<QListWidget>(*form, "ListBox1")->count(), 0);
        QVERIFY(Widget<QLabel>(*form, "Label3")->isHidden());
    }

    void deleteRow_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<int>("selected");
        QTest::addColumn<bool>("confirmed");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<int>("selectedAfter");
        const QStringList one { "O0007", "G7", "%" };
        QTest::newRow("middle of three: the next")
            << ThreePrograms << 1 << true << QStringList { "O0001 (A/B)", "O0003" } << 1;
        QTest::newRow("last: the new last")
            << ThreePrograms << 2 << true << QStringList { "O0001 (A/B)", "O0002 <X>" } << 1;
        QTest::newRow("first: the next") << ThreePrograms << 0 << true << QStringList { "O0002 <X>", "O0003" } << 0;
        QTest::newRow("cancelled") << ThreePrograms << 1 << false << QStringList { "O0001 (A/B)", "O0002 <X>", "O0003" }
                                   << 1;
        QTest::newRow("the only one: none left") << one << 0 << true << QStringList {} << -1;
    }
    void deleteRow()
    {
        QFETCH(QStringList, lines);
        QFETCH(int, selected);
        QFETCH(bool, confirmed);
        QFETCH(QStringList, rows);
        QFETCH(int, selectedAfter);
        TScriptedPrompter prompter;
        auto form = OpenForm(prompter, lines);
        const QObject* f = form.get();
        const QString count = Widget<QLabel>(f, "Label3")->text();
        Widget<QListWidget>(f, "ListBox1")->setCurrentRow(selected);
        Widget<QsciScintilla>(f, "Memo1")->setText("EDITED");
        prompter.Confirmations = { confirmed };
        Widget<QPushButton>(f, "Button4")->click();
        QCOMPARE(prompter.Questions, QStringList { Utf8("SİLMEK İSTEDİĞİNİZDEN EMİN MİSİNİZ?") });
        QCOMPARE(Rows(Widget<QListWidget>(f, "ListBox1")), rows);
        QCOMPARE(SelectedRow(*form), selectedAfter);
        QCOMPARE(Widget<QLabel>(f, "Label3")->text(), count); // the count keeps its value
        QVERIFY(Widget<QLabel>(f, "Label3")->isVisible());
        if (!confirmed) {
            QCOMPARE(Widget<QsciScintilla>(f, "Memo1")->text(), QString("EDITED"));
            return;
        }
        const QList<TSplitProgram> programs = SplitPrograms(lines);
        QStringList shown;
        for (const TSplitProgram& program : programs)
            if (selectedAfter >= 0 && program.Name == rows[selectedAfter])
                shown = program.Lines;
        QCOMPARE(MemoLines(*form), shown);
        for (QPushButton* button :
            { Widget<QPushButton>(f, "Button2"), Widget<QPushButton>(f, "Button3"), Widget<QPushButton>(f, "Button4") })
            QCOMPARE(button->isEnabled(), selectedAfter >= 0);
        QVERIFY(Widget<QPushButton>(f, "Button1")->isEnabled());
    }

    // From the main window: one line opens nothing; otherwise a modal window
    // owned by the main window, and a double click moves the edited program.
    void openedFromTheMainWindow()
    {
        TScriptedPrompter prompter;
        auto window = MainWindow(prompter);
        const QString file = FDir.filePath("backup.nc");
        QString error;
        QVERIFY(WriteWholeFile(file, "%\r\nO0009\r\nT1 M6\r\nT2 M6\r\nM30\r\n%\r\n", error));
        prompter.OpenFiles = { file };
        window->SpeedButtonFileOpenClick();
        const QStringList toolChanges = Rows(Widget<QListView>(*window, "ListBoxToolChanges"));
        QCOMPARE(toolChanges.size(), 2);

        QList<TFormProgramList*> opened;
        WhenModal([&](TFormProgramList* form) { opened << form; });
        window->SetEditorText("O0001");
        Widget<QToolButton>(*window, "SpeedButtonExtractPrograms")->click();
        QTRY_COMPARE(opened.size(), 1);
        QCOMPARE(opened[0], nullptr); // one line: no window

        window->SetEditorText("%\r\nO0001\r\nT1 M6\r\nM30\r\nO0002\r\nT2 M6\r\nM30\r\n%\r\n");
        QStringList rows;
        WhenModal([&](TFormProgramList* form) {
            opened << form;
            if (!form)
                return;
            const auto closeOnFailure = qScopeGuard([form] { form->reject(); });
            QVERIFY(form->isModal() && form->isVisible());
            QCOMPARE(form->parentWidget(), window.get());
            // Centred on the main window; across, the platform keeps it on the offscreen screen, narrower than it.
            QVERIFY(qAbs(form->geometry().center().y() - window->geometry().center().y()) <= 1);
            rows = Rows(Widget<QListWidget>(*form, "ListBox1"));
            QListWidget* list = Widget<QListWidget>(*form, "ListBox1");
            const QPoint at = list->visualItemRect(list->item(1)).center();
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
            Widget<QsciScintilla>(*form, "Memo1")->setText("%\r\nO0002\r\nT2 M6 (EDITED)\r\nM30\r\n%");
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
        });
        Widget<QToolButton>(*window, "SpeedButtonExtractPrograms")->click();
        QCOMPARE(opened.size(), 2);
        QVERIFY(opened[1]);
        QCOMPARE(rows, QStringList({ "O0001", "O0002" }));
        QVERIFY(window->findChildren<TFormProgramList*>().isEmpty()); // destroyed after closing
        // The double click on the shown row moved its text with the edits.
        QCOMPARE(window->EditorLines(), QStringList({ "%", "O0002", "T2 M6 (EDITED)", "M30", "%" }));
        QVERIFY(window->Document().IsModified());
        QCOMPARE(window->CurrentFileName(), file);
        QCOMPARE(Rows(Widget<QListView>(*window, "ListBoxToolChanges")), toolChanges);
    }

    // A real backup through the window: opened, split, every program saved as
    // the command line saves it, one moved into the editor.
    void realBackupEndToEnd()
    {
        RequireCorpus();
        TScriptedPrompter prompter;
        auto window = MainWindow(prompter);
        prompter.OpenFiles = { RealBackup() };
        window->SpeedButtonFileOpenClick();
        const QString saved = FDir.filePath("backup-as-shown.ngc");
        QVERIFY(window->WriteDocumentFile(saved));
        const QString windowFolder = NewFolder("real-window"), cliFolder = NewFolder("real-cli");
        prompter.Folders = { windowFolder };

        QStringList rows, pauses, shownFirst;
        WhenModal([&](TFormProgramList* form) {
            if (!form)
                return;
            const auto closeOnFailure = qScopeGuard([form] { form->reject(); });
            form->SetPause([&](int ms) { pauses << QString::number(ms); });
            rows = Rows(Widget<QListWidget>(*form, "ListBox1"));
            shownFirst = MemoLines(*form);
            form->Button1Click();
            Widget<QListWidget>(*form, "ListBox1")->setCurrentRow(2);
            form->Button3Click();
        });
        window->SpeedButtonExtractProgramsClick();

        QCOMPARE(rows,
            QStringList({ "O200 ( Main subroutine )", "O1 ( G01 with Z-correction subroutine )",
                "O2 ( Y probe subroutine )", "O3 ( X probe subroutine )" }));
        QCOMPARE(shownFirst.mid(0, 2), QStringList({ "%", "O200 ( Main subroutine )" }));
        QCOMPARE(pauses, QStringList(4, "667")); // 2000 / 3
        QCOMPARE(prompter.Messages, QStringList());
        QCOMPARE(RunCli({ "split", saved, "-d", cliFolder }), 0);
        const QMap<QString, QByteArray> written = FolderFiles(windowFolder + "/Velcarn");
        QCOMPARE(written.keys(),
            QStringList({ "O1 ( G01 with Z-correction subroutine ).CNC", "O2 ( Y probe subroutine ).CNC",
                "O200 ( Main subroutine ).CNC", "O3 ( X probe subroutine ).CNC" }));
        QCOMPARE(written, FolderFiles(cliFolder + "/Velcarn"));
        // Every line from the first program on is in one of the files, in order.
        QStringList source = SplitTextLines(DecodeAnsi(FileBytes(saved)));
        source = source.mid(source.indexOf("O200 ( Main subroutine )"));
        QStringList joined;
        for (const QString& row : rows) {
            const QStringList lines = SplitTextLines(DecodeAnsi(written.value(ProgramFileName(row))));
            QCOMPARE(lines.first(), QString("%"));
            QCOMPARE(lines.last(), QString("%"));
            joined += lines.mid(1, lines.size() - 2);
        }
        QCOMPARE(joined, source);
        // "O2 ( Y probe subroutine )" moved into the editor.
        QCOMPARE(window->EditorLines().value(1), QString("O2 ( Y probe subroutine )"));
        QCOMPARE(window->EditorLines().last(), QString("%"));
        QVERIFY(window->Document().IsModified());
        QCOMPARE(window->CurrentFileName(), RealBackup());
    }
};

QTEST_MAIN(TestProgramList)
#include "tst_programlist.moc"
