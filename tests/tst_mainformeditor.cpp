// The window's editor commands on the offscreen platform: the find and
// replace bar, go to line, renumbering, the context menu, the recent files on
// the Open button, files dropped on the window and rows copied from the hex
// dump. Questions are answered through the scripted prompter.
#include "ScriptedPrompter.h"
#include "TestUtil.h"
#include "tests/support/FormWidget.h"

#include "app/FindBar.h"
#include "app/GCodeLexer.h"
#include "app/HexDumpView.h"
#include "app/unitmainform.h"
#include "content/BlockRenumber.h"
#include "content/HexDump.h"
#include "content/UnitGCodeHighlighter.h"
#include "dialogs/UiPrompter.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDialog>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include <Qsci/qsciscintilla.h>

class TestMainFormEditor : public QObject {
    Q_OBJECT
    QTemporaryDir FDir;

    QString File(const QString& name, const QByteArray& bytes)
    {
        QFile file(FDir.filePath(name));
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(bytes);
        return file.fileName();
    }

    std::unique_ptr<TFormMain> Window(TScriptedPrompter& prompter)
    {
        TMainFormOptions options;
        options.StatusPort = 0; // any free port: no device takes part
        options.StartupDelayMs = 3600000;
        auto window = std::make_unique<TFormMain>(prompter, options);
        window->resize(1100, 700);
        window->show();
        return window;
    }

    static QsciScintilla* Editor(TFormMain& window) { return Widget<QsciScintilla>(window, "SynEditProgram"); }

    static QByteArray EditorBytes(TFormMain& window) { return Editor(window)->text().toUtf8(); }

    static QString Selected(TFormMain& window) { return Editor(window)->selectedText(); }

    static long SelectionStart(TFormMain& window)
    {
        return Editor(window)->SendScintilla(QsciScintilla::SCI_GETSELECTIONSTART);
    }

    static void SetFind(TFormMain& window, const QString& pattern, const QString& flags)
    {
        TFindBar* bar = window.FindBar();
        bar->FindEdit()->setText(pattern);
        bar->MatchCaseBox()->setChecked(flags.contains('c'));
        bar->WholeWordBox()->setChecked(flags.contains('w'));
        bar->RegexBox()->setChecked(flags.contains('r'));
    }

    // A drag entering the target and dropped there, as the window system delivers it.
    static bool DropOn(QWidget* target, const QMimeData& data)
    {
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &enter);
        if (!enter.isAccepted())
            return false;
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &drop);
        return drop.isAccepted();
    }

    static QStringList MenuTexts(QMenu* menu)
    {
        QStringList texts;
        for (QAction* action : menu->actions())
            texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
        return texts;
    }

    static QAction* MenuAction(QMenu* menu, const QString& text)
    {
        for (QAction* action : menu->actions())
            if (action->text() == text)
                return action;
        return nullptr;
    }

private slots:
    void init()
    {
        qputenv("QUILLEX_SETTINGS", FDir.filePath("quillex_settings.ini").toLocal8Bit());
        qputenv("QUILLEX_NO_KEYCHAIN", "1");
        qputenv("XDG_CONFIG_HOME", FDir.path().toLocal8Bit());
        QFile::remove(FDir.filePath("quillex_settings.ini"));
    }

    void findAndReplaceAll_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("flags");
        QTest::addColumn<QString>("replacement");
        QTest::addColumn<QString>("firstFound");
        QTest::addColumn<int>("firstStart");
        QTest::addColumn<QString>("replaced");
        QTest::addColumn<QString>("count");

        QTest::newRow("plain, any case") << "g1 X5\r\nG1 X6"
                                         << "G1"
                                         << ""
                                         << "G01"
                                         << "g1" << 0 << "G01 X5\r\nG01 X6" << QString::fromUtf8("2 eşleşme");
        QTest::newRow("match case") << "g1 X5\r\nG1 X6"
                                    << "G1"
                                    << "c"
                                    << "G01"
                                    << "G1" << 7 << "g1 X5\r\nG01 X6" << QString::fromUtf8("1 eşleşme");
        QTest::newRow("whole word") << "T1 M6\r\nT12 M6\r\nT1"
                                    << "T1"
                                    << "w"
                                    << "T3"
                                    << "T1" << 0 << "T3 M6\r\nT12 M6\r\nT3" << QString::fromUtf8("2 eşleşme");
        QTest::newRow("regular expression with a group")
            << "X10 Y20\r\nX3 Y4"
            << "X(\\d+) Y(\\d+)"
            << "r"
            << "X$2 Y$1"
            << "X10 Y20" << 0 << "X20 Y10\r\nX4 Y3" << QString::fromUtf8("2 eşleşme");
        QTest::newRow("match at the very end of the text")
            << "G0 X0\r\nM30"
            << "M30"
            << "w"
            << "M02"
            << "M30" << 7 << "G0 X0\r\nM02" << QString::fromUtf8("1 eşleşme");
        QTest::newRow("Turkish text in a comment")
            << "(ÇAP 10)\r\nG1 (çap 12)" << QString::fromUtf8("çap") << ""
            << "D" << QString::fromUtf8("ÇAP") << 1 << "(D 10)\r\nG1 (D 12)" << QString::fromUtf8("2 eşleşme");
        QTest::newRow("nothing found") << "G1 X5"
                                       << "M30"
                                       << ""
                                       << "M02"
                                       << "" << 0 << "G1 X5" << QString::fromUtf8("Eşleşme yok");
    }
    void findAndReplaceAll()
    {
        QFETCH(QString, text);
        QFETCH(QString, pattern);
        QFETCH(QString, flags);
        QFETCH(QString, replacement);
        QFETCH(QString, firstFound);
        QFETCH(int, firstStart);
        QFETCH(QString, replaced);
        QFETCH(QString, count);
        TScriptedPrompter prompter;
        auto window = Window(prompter);
        window->SetEditorText(text);
        Editor(*window)->setCursorPosition(0, 0);
        QTest::keyClick(Editor(*window), Qt::Key_H, Qt::ControlModifier);
        TFindBar* bar = window->FindBar();
        QVERIFY(bar->isVisible());
        QVERIFY(bar->ReplaceRowShown());
        SetFind(*window, pattern, flags);
        bar->ReplaceEdit()->setText(replacement);
        QTRY_COMPARE(bar->CountText(), count);

        QTest::keyClick(Editor(*window), Qt::Key_F3);
        QCOMPARE(Selected(*window), firstFound);
        if (!firstFound.isEmpty())
            QCOMPARE(SelectionStart(*window), long(text.left(firstStart).toUtf8().size()));
        else
            QCOMPARE(bar->MessageText(), QString::fromUtf8("Bulunamadı."));

        const bool modifiedBefore = window->Document().IsModified();
        bar->ReplaceAll();
        QCOMPARE(window->EditorText(), replaced);
        if (replaced == text)
            return;
        QVERIFY(window->Document().IsModified());
        // Replace all is one undo step.
        Editor(*window)->undo();
        QCOMPARE(window->EditorText(), text);
        QCOMPARE(window->Document().IsModified(), modifiedBefore);
        QVERIFY(Editor(*window)->isRedoAvailable());
    }

    void nextAndPreviousWrapAroundTheEnds()
    {
        TScriptedPrompter prompter;
        auto window = Window(prompter);
        window->SetEditorText("T1 M6\r\nG0 X0\r\nT2 M6\r\nM30");
        QsciScintilla* editor = Editor(*window);
        window->ShowFindBar(false);
        SetFind(*window, "M6", "c");
        editor->setCursorPosition(2, 0);
        QTest::keyClick(editor, Qt::Key_F3);
        QCOMPARE(SelectionStart(*window), 17L);
        QCOMPARE(window->FindBar()->MessageText(), QString());
        // The layout as it is without a message: a message moves nothing, in
        // a window as narrow as it can be.
        window->resize(window->minimumSizeHint().width(), 674);
        QApplication::processEvents();
        const QList<QRect> layout = { Widget<QListView>(*window, "ListBoxDevices")->geometry(), editor->geometry(),
            window->FindBar()->geometry() };
        const QSize barMinimum = window->FindBar()->minimumSizeHint();
        QTest::keyClick(editor, Qt::Key_F3);
        QCOMPARE(SelectionStart(*window), 3L);
        QCOMPARE(window->FindBar()->MessageText(), QString::fromUtf8("Sona gelindi, baştan devam edildi."));
        QApplication::processEvents();
        QCOMPARE(window->FindBar()->minimumSizeHint(), barMinimum);
        QCOMPARE(QList<QRect>({ Widget<QListView>(*window, "ListBoxDevices")->geometry(), editor->geometry(),
                     window->FindBar()->geometry() }),
            layout);
        QTest::keyClick(editor, Qt::Key_F3, Qt::ShiftModifier);
        QCOMPARE(SelectionStart(*window), 17L);
        QCOMPARE(window->FindBar()->MessageText(), QString::fromUtf8("Başa gelindi, sondan devam edildi."));
        QTest::keyClick(editor, Qt::Key_F3, Qt::ShiftModifier);
        QCOMPARE(SelectionStart(*window), 3L);
        QCOMPARE(window->FindBar()->MessageText(), QString());
    }

    void barKeysAndSelection()
    {
        TScriptedPrompter prompter;
        auto window = Window(prompter);
        window->SetEditorText("G1 X5\r\nG1 X6");
        QsciScintilla* editor = Editor(*window);
        TFindBar* bar = window->FindBar();
        QVERIFY(!bar->isVisible());
        // A selection within one line becomes the text to find.
        editor->setSelection(0, 3, 0, 5);
        QTest::keyClick(editor, Qt::Key_F, Qt::ControlModifier);
        QVERIFY(bar->isVisible());
        QVERIFY(!bar->ReplaceRowShown());
        QCOMPARE(bar->FindEdit()->text(), QString("X5"));
        QCOMPARE(window->focusWidget(), bar->FindEdit());
        // Enter finds the next, Ctrl+H from the bar opens the replace row, Escape closes.
        bar->FindEdit()->setText("G1");
        QTest::keyClick(bar->FindEdit(), Qt::Key_Return);
        QCOMPARE(SelectionStart(*window), 7L);
        QTest::keyClick(bar->FindEdit(), Qt::Key_H, Qt::ControlModifier);
        QVERIFY(bar->ReplaceRowShown());
        QTest::keyClick(bar->FindEdit(), Qt::Key_Escape);
        QVERIFY(!bar->isVisible());
        QCOMPARE(window->focusWidget(), editor);
        // An invalid regular expression says so and finds nothing.
        window->ShowFindBar(false);
        SetFind(*window, "T(\\d", "r");
        window->FindNextClick();
        QCOMPARE(bar->MessageText(), QString::fromUtf8("Geçersiz düzenli ifade."));
    }

    void replaceOneAtATime()
    {
        TScriptedPrompter prompter;
        auto window = Window(prompter);
        window->SetEditorText("T1 M6\r\nT2 M6\r\nT3 M6");
        window->ShowFindBar(true);
        TFindBar* bar = window->FindBar();
        SetFind(*window, "M6", "");
        bar->ReplaceEdit()->setText("M06");
        Editor(*window)->setCursorPosition(1, 0);
        bar->ReplaceOne(); // finds the first one after the caret, changes nothing
        QCOMPARE(window->EditorText(), QString("T1 M6\r\nT2 M6\r\nT3 M6"));
        QCOMPARE(SelectionStart(*window), 10L);
        bar->ReplaceOne(); // replaces it and shows the next
        QCOMPARE(window->EditorText(), QString("T1 M6\r\nT2 M06\r\nT3 M6"));
        QCOMPARE(SelectionStart(*window), 18L);
        QCOMPARE(Selected(*window), QString("M6"));
    }

    void goToLine()
    {
        TScriptedPrompter prompter;
        auto window = Window(prompter);
        QStringList lines;
        for (int i = 1; i <= 2000; ++i)
            lines << QString("N%1 G1 X%1").arg(i);
        window->SetEditorText(lines.join("\r\n"));
        QsciScintilla* editor = Editor(*window);
        editor->setCursorPosition(4, 2);
        prompter.IntegerAnswers << 1500;
        QTest::keyClick(editor, Qt::Key_G, Qt::ControlModifier);
        QCOMPARE(prompter.IntegerQuestions, QStringList { QString::fromUtf8("Satır numarası (1 - 2000):|1|2000|5") });
        int line = 0, index = 0;
        editor->getCursorPosition(&line, &index);
        QCOMPARE(line, 1499);
        QCOMPARE(index, 0);
        const long first = editor->SendScintilla(QsciScintilla::SCI_GETFIRSTVISIBLELINE);
        const long shown = editor->SendScintilla(QsciScintilla::SCI_LINESONSCREEN);
        QVERIFY2(first <= 1499 && 1499 < first + shown, qPrintable(QString("%1 + %2").arg(first).arg(shown)));
        // Cancelled: the caret stays.
        QTest::keyClick(editor, Qt::Key_G, Qt::ControlModifier);
        editor->getCursorPosition(&line, &index);
        QCOMPARE(line, 1499);
    }

    void renumberAsOneStep()
    {
        TScriptedPrompter prompter;
        auto window = Window(prompter);
        // LF line breaks stay LF: only the N words change.
        prompter.OpenFiles << File("renumber.nc", "%\nO1000\nN5 G0 X0\nG1 X5\n(N99)\nN7 M30\n%\n");
        window->SpeedButtonFileOpenClick();
        const QString before = window->EditorText();
        prompter.IntegerAnswers << 100 << 5;
        prompter.Confirmations << true << true; // lines without N too; go on with 3 lines
        QTest::keyClick(Editor(*window), Qt::Key_R, Qt::ControlModifier);
        QCOMPARE(prompter.Questions,
            (QStringList { QString::fromUtf8("N numarası olmayan satırlara da numara verilsin mi?"),
                QString::fromUtf8("3 satırın numarası değişecek. Devam etmek istiyor musunuz?") }));
        QCOMPARE(window->EditorLines(),
            (QStringList { "%", "O1000", "N100 G0 X0", "N105 G1 X5", "(N99)", "N110 M30", "%" }));
        QVERIFY(window->Document().IsModified());
        QVERIFY(window->Document().FileBytes().contains("N105 G1 X5\nN99") == false);
        QVERIFY(window->Document().FileBytes().contains("N105 G1 X5\n(N99)\nN110 M30\n"));
        Editor(*window)->undo();
        QCOMPARE(window->EditorText(), before);
        QVERIFY(!window->Document().IsModified());

        // Declined at the count: nothing changes.
        prompter.IntegerAnswers << 1 << 1;
        prompter.Confirmations << false << false;
        window->RenumberClick();
        QCOMPARE(window->EditorText(), before);
        // Nothing to change: said, not asked.
        window->SetEditorText("N10 G0\r\nN20 G1");
        prompter.IntegerAnswers << 10 << 10;
        prompter.Confirmations << false;
        window->RenumberClick();
        QCOMPARE(prompter.Messages.last(), QString::fromUtf8("Değişecek satır yok."));
    }

    // The renumbering questions show their whole title: the dialog is sized
    // to it, not to the short question under it.
    void integerQuestionShowsItsWholeTitle()
    {
        TDialogPrompter prompter;
        const QString caption = QString::fromUtf8("Yeniden Numarala");
        int width = 0, titleWidth = 0;
        QTimer::singleShot(0, [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            QVERIFY(dialog);
            QFont font = dialog->font();
            font.setBold(true);
            titleWidth = QFontMetrics(font).horizontalAdvance(dialog->windowTitle());
            width = dialog->width();
            static_cast<QDialog*>(dialog)->reject();
        });
        int value = 10;
        QVERIFY(!prompter.AskInteger(caption, QString::fromUtf8("Artış:"), 1, 99999, value));
        // Room beside the title for the window manager's icon and three buttons.
        QVERIFY2(titleWidth > 0 && width >= titleWidth + 120, qPrintable(QString("%1 %2").arg(width).arg(titleWidth)));
    }

    void contextMenuInTurkish()
    {
        TScriptedPrompter prompter;
        auto window = Window(prompter);
        window->SetEditorText("G1 X5");
        std::unique_ptr<QMenu> menu(window->CreateEditorContextMenu());
        QCOMPARE(MenuTexts(menu.get()),
            (QStringList { "Geri Al", "Yinele", "-", "Kes", "Kopyala", QString::fromUtf8("Yapıştır"), "-",
                QString::fromUtf8("Tümünü Seç"), "-", QString::fromUtf8("Bul…"), QString::fromUtf8("Değiştir…"),
                QString::fromUtf8("Satıra Git…"), QString::fromUtf8("Yeniden Numarala…") }));
        QCOMPARE(MenuAction(menu.get(), "Geri Al")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Z));
        QVERIFY(MenuAction(menu.get(), "Geri Al")->isEnabled()); // the text was set as an edit
        QVERIFY(!MenuAction(menu.get(), "Yinele")->isEnabled());
        QVERIFY(!MenuAction(menu.get(), "Kopyala")->isEnabled()); // nothing selected
        MenuAction(menu.get(), QString::fromUtf8("Tümünü Seç"))->trigger();
        QCOMPARE(Selected(*window), QString("G1 X5"));
        menu.reset(window->CreateEditorContextMenu());
        QVERIFY(MenuAction(menu.get(), "Kopyala")->isEnabled());
        MenuAction(menu.get(), "Kes")->trigger();
        QCOMPARE(window->EditorText(), QString());
        QCOMPARE(QGuiApplication::clipboard()->text(), QString("G1 X5"));
        menu.reset(window->CreateEditorContextMenu());
        MenuAction(menu.get(), "Geri Al")->trigger();
        QCOMPARE(window->EditorText(), QString("G1 X5"));
        MenuAction(menu.get(), QString::fromUtf8("Bul…"))->trigger();
        QVERIFY(window->FindBar()->isVisible());

        // The hex dump has no text commands.
        window->ShowRawCapture("ABC");
        menu.reset(window->CreateEditorContextMenu());
        QVERIFY(!MenuAction(menu.get(), QString::fromUtf8("Satıra Git…"))->isEnabled());
        QVERIFY(!MenuAction(menu.get(), QString::fromUtf8("Yapıştır"))->isEnabled());
    }

    void recentFilesKeptOrderedAndPruned()
    {
        TScriptedPrompter prompter;
        auto window = Window(prompter);
        const QString a = File("a.nc", "G1 X1\n"), b = File("b.nc", "G1 X2\n"), c = FDir.filePath("c.nc");
        prompter.OpenFiles << a << b;
        prompter.Confirmations << true;
        window->SpeedButtonFileOpenClick();
        window->SpeedButtonFileOpenClick();
        prompter.SaveFiles << c;
        window->SpeedButtonFileSaveAsClick();
        QCOMPARE(QSettings(FDir.filePath("quillex_settings.ini"), QSettings::IniFormat)
                     .value("MainForm/RecentFiles")
                     .toStringList(),
            (QStringList { c, b, a }));

        QMenu* menu = window->RecentFilesMenu();
        emit menu->aboutToShow();
        QCOMPARE(MenuTexts(menu), (QStringList { "&1  " + c, "&2  " + b, "&3  " + a }));
        // The button keeps its hint and its click; a right click shows the list.
        QToolButton* open = Widget<QToolButton>(*window, "SpeedButtonFileOpen");
        QCOMPARE(open->toolTip(), QString::fromUtf8("BİLGİSAYARDAN DOSYA AÇ (CTRL+O)"));
        QVERIFY(!open->menu());
        emit open->customContextMenuRequested(QPoint(10, 10));
        QTRY_VERIFY(menu->isVisible());
        menu->hide();

        // Opening one runs the Open command's rules: the question first, word spaces.
        QFile::remove(b);
        File("a.nc", "g1x7\n");
        prompter.Confirmations << false;
        QVERIFY(!window->OpenRecentFile(a));
        QCOMPARE(window->EditorText(), QString("G1 X2"));
        prompter.Confirmations << true;
        menu->actions().at(2)->trigger();
        QCOMPARE(window->EditorText(), QString("g1 x7"));
        QCOMPARE(window->CurrentFileName(), a);

        // A missing file leaves the list with a message.
        const int questions = prompter.Questions.size();
        QVERIFY(!window->OpenRecentFile(b));
        QCOMPARE(prompter.Questions.size(), questions); // not asked about losing the text
        QCOMPARE(prompter.Messages.last(), QString::fromUtf8("Dosya bulunamadı, listeden çıkarıldı:\n%1").arg(b));
        emit menu->aboutToShow();
        QCOMPARE(MenuTexts(menu), (QStringList { "&1  " + a, "&2  " + c }));
    }

    // A line of many KiB is kept whole in the text, but only its start is
    // drawn, plain, cut between characters; the lines around it are coloured.
    void hugeLineShowsItsStartOnly()
    {
        TScriptedPrompter prompter;
        auto window = Window(prompter);
        // A tool change, and a letter whose second byte is the line's 10,001st.
        QByteArray line = "T2 M6 " + QByteArray("X1 ").repeated(3331) + "\xC5\x9E";
        line += QByteArray("Y2 ").repeated(70000);
        window->OpenFile(File("huge-line.nc", "%\nO1\n" + line + "\nG1 X0\n%\n"));
        QsciScintilla* editor = Editor(*window);
        editor->grab(); // paints: the lexer styles what is shown
        QCOMPARE(editor->lines(), 5);
        QByteArray shown = EditorBytes(*window).split('\n').value(2);
        if (shown.endsWith('\r'))
            shown.chop(1);
        QCOMPARE(shown, line);
        const long start = editor->SendScintilla(QsciScintilla::SCI_POSITIONFROMLINE, 2L);
        const auto styleAt
            = [&](long position) { return int(editor->SendScintilla(QsciScintilla::SCI_GETSTYLEAT, position)); };
        QCOMPARE(styleAt(start), int(gtkSpace));
        QCOMPARE(styleAt(start + 9998), int(gtkSpace));
        QCOMPARE(styleAt(start + 9999), TSynGCodeSyn::HiddenStyle);
        QCOMPARE(styleAt(start + 10000), TSynGCodeSyn::HiddenStyle);
        QCOMPARE(styleAt(start + line.size() - 1), TSynGCodeSyn::HiddenStyle);
        QVERIFY(!editor->SendScintilla(QsciScintilla::SCI_STYLEGETVISIBLE, TSynGCodeSyn::HiddenStyle));
        QCOMPARE(styleAt(editor->SendScintilla(QsciScintilla::SCI_POSITIONFROMLINE, 3L)), int(gtkG));
        // Its row in the tool-change list shows the start of it too.
        const QAbstractItemModel* rows = Widget<QListView>(*window, "ListBoxToolChanges")->model();
        QCOMPARE(rows->rowCount(), 1);
        const QString row = rows->index(0, 0).data().toString();
        QCOMPARE(row.size(), 1001);
        QVERIFY2(row.startsWith(QString::fromUtf8("Satır 3, bayt ")) && row.contains(": T2 M6 X1 X1 "),
            qPrintable(row.left(40)));
        QVERIFY(row.endsWith(QChar(0x2026)));
    }

    void droppedFileOpens()
    {
        TScriptedPrompter prompter;
        auto window = Window(prompter);
        const QString file = File("dropped.nc", "g0x1\nm30\n");
        QMimeData data;
        data.setUrls({ QUrl::fromLocalFile(file) });
        QVERIFY(DropOn(Editor(*window)->viewport(), data));
        QCOMPARE(window->EditorLines(), (QStringList { "g0 x1", "m30" }));
        QCOMPARE(window->CurrentFileName(), file);

        // Over a text that is not blank, the Open command's question comes first.
        window->SetEditorText("G1");
        prompter.Confirmations << false;
        QVERIFY(DropOn(Widget<QListView>(*window, "ListBoxDevices"), data)); // anywhere on the window
        QCOMPARE(prompter.Questions.size(), 1);
        QCOMPARE(prompter.Questions.last(),
            QString::fromUtf8("Mevcut program içeriği kaybolacak, devam etmek istiyor musunuz?"));
        QCOMPARE(window->EditorText(), QString("G1"));

        // Dropped text is the editor's own: no file opened, no question.
        QMimeData text;
        text.setText("X5");
        QVERIFY(!window->OpenDroppedFiles(&text));
    }

    void hexRowsCopiedExactly()
    {
        TScriptedPrompter prompter;
        auto window = Window(prompter);
        QByteArray capture;
        for (int i = 0; i < 100; ++i)
            capture += char(i * 7);
        window->ShowFindBar(false);
        QVERIFY(window->FindBar()->isVisible());
        window->ShowRawCapture(capture); // the dump has no text: the bar goes
        QVERIFY(!window->FindBar()->isVisible());
        THexDumpView* view = window->HexView();
        QVERIFY(view->isVisible());
        const QStringList rows = HexDumpText(capture).split("\r\n", Qt::SkipEmptyParts);
        QCOMPARE(rows.size(), 7);

        // A click on the second row, Shift+Down twice: rows 2 to 4.
        const int rowHeight = view->fontMetrics().lineSpacing();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(40, 6 + rowHeight + rowHeight / 2));
        QTest::keyClick(view, Qt::Key_Down, Qt::ShiftModifier);
        QTest::keyClick(view, Qt::Key_Down, Qt::ShiftModifier);
        QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), rows.mid(1, 3).join("\r\n") + "\r\n");

        // Shift+click extends from the anchor; Ctrl+A takes every row, the short last one too.
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::ShiftModifier, QPoint(40, 6 + rowHeight / 2));
        QCOMPARE(view->SelectedText(), rows.mid(0, 2).join("\r\n") + "\r\n");
        QTest::keyClick(view, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), HexDumpText(capture));
        // Read-only: typing changes nothing.
        QTest::keyClicks(view, "XYZ");
        QCOMPARE(window->Document().Content(), capture);
        // Ctrl+F does not open the find bar over the dump.
        QTest::keyClick(view, Qt::Key_F, Qt::ControlModifier);
        QVERIFY(!window->FindBar()->isVisible());
    }

    void corpusProgramsFindAndRenumber()
    {
        QUILLEX_REQUIRE_CORPUS();
        const QStringList files = CorpusFiles();
        QVERIFY(!files.isEmpty());
        TScriptedPrompter prompter;
        auto window = Window(prompter);
        const QRegularExpression toolChange(
            "(?<![\\p{L}\\p{N}_])M0?6(?![\\p{L}\\p{N}_])", QRegularExpression::CaseInsensitiveOption);
        const QRegularExpression nWord("^\\s*/?[Nn](\\d+)");
        for (const QString& path : files) {
            if (!window->Document().IsBlank())
                prompter.Confirmations << true;
            QVERIFY2(window->OpenFile(path), qPrintable(path));
            if (window->Document().Mode() != TDocumentMode::Text)
                continue;
            const QString text = window->EditorText();
            const QStringList before = window->EditorLines();
            // The bar's count agrees with Qt's own engine.
            window->ShowFindBar(false);
            SetFind(*window, "M0?6", "rw");
            qsizetype expected = 0;
            for (auto it = toolChange.globalMatch(text); it.hasNext(); it.next())
                ++expected;
            QTRY_COMPARE_WITH_TIMEOUT(window->FindBar()->CountText(),
                expected ? QString::fromUtf8("%1 eşleşme").arg(expected) : QString::fromUtf8("Eşleşme yok"), 20000);

            // Renumbered N words count up by the step; every other line is as it was.
            prompter.IntegerAnswers << 10 << 10;
            prompter.Confirmations << false << true;
            window->RenumberClick();
            QVERIFY(prompter.IntegerAnswers.isEmpty());
            if (!prompter.Confirmations.isEmpty()) { // no line to change: said, not asked
                QCOMPARE(prompter.Messages.last(), QString::fromUtf8("Değişecek satır yok."));
                prompter.Confirmations.clear();
            }
            const QStringList after = window->EditorLines();
            QCOMPARE(after.size(), before.size());
            qint64 number = 10;
            for (qsizetype i = 0; i < after.size(); ++i) {
                const auto match = nWord.match(before[i]);
                if (!match.hasMatch() || IsRenumberSkippedLine(before[i])) {
                    QCOMPARE(after[i], before[i]);
                    continue;
                }
                QCOMPARE(nWord.match(after[i]).captured(1), QString::number(number));
                QCOMPARE(after[i].mid(nWord.match(after[i]).capturedEnd()), before[i].mid(match.capturedEnd()));
                number += 10;
            }
            Editor(*window)->undo();
            QCOMPARE(window->EditorText(), text);
        }
    }
};

QTEST_MAIN(TestMainFormEditor)
#include "tst_mainformeditor.moc"
