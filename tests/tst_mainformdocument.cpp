// The window's document on the offscreen platform: opening in every line-break
// style, whole-text replacements as single undo steps, a new document shown
// from its start, the question before unsaved edits are lost, and the editor's
// text store reading its buffer where it lies.
#include "ScriptedPrompter.h"
#include "tests/support/FormWidget.h"

#include "app/DeviceWait.h"
#include "app/EditorTextStore.h"
#include "app/unitmainform.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QListView>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <Qsci/qsciscintilla.h>

#include "LineBreakCases.h"

class TestMainFormDocument : public QObject {
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

    static const QString LoseEdits;

private slots:
    void init()
    {
        qputenv("QUILLEX_SETTINGS", FDir.filePath("quillex_settings.ini").toLocal8Bit());
        qputenv("QUILLEX_NO_KEYCHAIN", "1");
        qputenv("XDG_CONFIG_HOME", FDir.path().toLocal8Bit());
    }

    void lineBreakStyles_data() { AddLineBreakRows(); }

    void lineBreakStyles()
    {
        QFETCH(QByteArray, lineBreak);
        QFETCH(int, candidateOffset);
        QFETCH(int, rowOffset);
        TScriptedPrompter prompter;
        auto window = Window(prompter);
        prompter.OpenFiles << File("breaks.nc", LineBreakProgram(lineBreak));
        window->SpeedButtonFileOpenClick();
        QCOMPARE(window->EditorLines(), LineBreakProgramLines());
        QCOMPARE(window->ToolChangeCandidates(), QList<TStartFromCandidate>({ { 3, candidateOffset } }));
        QCOMPARE(Widget<QListView>(*window, "ListBoxToolChanges")->model()->rowCount(), 1);
        QCOMPARE(Widget<QListView>(*window, "ListBoxToolChanges")->model()->index(0, 0).data().toString(),
            QString::fromUtf8("Satır 3, bayt %1: T1 M6").arg(rowOffset));
        QCOMPARE(window->Document().PrepareUpload(false).Content, LineBreakProgramUpload());
    }

    void wholeTextReplacementsUndoAsOneStep()
    {
        TScriptedPrompter prompter;
        auto window = Window(prompter);
        QsciScintilla* editor = Widget<QsciScintilla>(*window, "SynEditProgram");
        prompter.OpenFiles << File("blank.nc", "g1x5\n\nm30\n");
        window->SpeedButtonFileOpenClick();
        QCOMPARE(window->EditorText(), QString("g1 x5\r\nm30")); // loaded with its scan
        QVERIFY(!editor->isUndoAvailable()); // a new document starts a fresh history

        window->SetEditorText("g1 x5\r\n\r\nm30");
        window->ScanToolChanges();
        QCOMPARE(window->EditorText(), QString("g1 x5\r\nm30"));
        editor->undo();
        QCOMPARE(window->EditorText(), QString("g1 x5\r\n\r\nm30"));

        window->Document().PrepareUpload(false);
        QCOMPARE(window->EditorText(), QString("%\r\nG1 X5\r\nM30\r\n%"));
        editor->undo();
        QCOMPARE(window->EditorText(), QString("g1 x5\r\n\r\nm30"));
    }

    void newDocumentShowsItsStart()
    {
        TScriptedPrompter prompter;
        auto window = Window(prompter);
        QsciScintilla* editor = Widget<QsciScintilla>(*window, "SynEditProgram");
        QStringList lines;
        for (int i = 0; i < 300; ++i)
            lines << "G1 X" + QString::number(i) + " " + QString(300, 'Y');
        window->SetEditorText(lines.join("\r\n"));
        editor->setCursorPosition(250, 290);
        editor->ensureCursorVisible();
        QVERIFY(editor->SendScintilla(QsciScintilla::SCI_GETXOFFSET) > 0);
        QVERIFY(editor->firstVisibleLine() > 0);

        prompter.Confirmations << true;
        prompter.OpenFiles << File("short.nc", "G0 X1\n");
        window->SpeedButtonFileOpenClick();
        QCOMPARE(window->EditorText(), QString("G0 X1"));
        QCOMPARE(editor->SendScintilla(QsciScintilla::SCI_GETXOFFSET), 0L);
        QCOMPARE(editor->firstVisibleLine(), 0);
        int line = -1, column = -1;
        editor->getCursorPosition(&line, &column);
        QCOMPARE(line, 0);
        QCOMPARE(column, 0);
    }

    // A file over a piece goes into the editor piece by piece: the same text
    // and scan as reading it whole, a fresh history, shown from its start, and
    // the file read again afterwards still the same (blank lines included).
    void largeFileOpensInPieces()
    {
        QByteArray program;
        for (int i = 0; program.size() < 3 * LoadPieceBytes; ++i)
            program += "n" + QByteArray::number(i) + "g1x" + QByteArray::number(i % 89)
                + "y2(\xDE"
                  "AFT)\r\n"
                + (i % 4000 == 0 ? "T" + QByteArray::number(i / 4000 + 1) + " M6\r\n\r\n" : QByteArray());
        TPlainTextStore wholeStore;
        TProgramDocument whole(wholeStore);
        whole.SetLoadPieceBytes(program.size());
        whole.OpenBytes(program, false);

        TScriptedPrompter prompter;
        auto window = Window(prompter);
        QsciScintilla* editor = Widget<QsciScintilla>(*window, "SynEditProgram");
        editor->setText("G0 X1\nG0 X2");
        editor->setCursorPosition(1, 3);
        prompter.Confirmations << true;
        for (int open = 0; open < 2; ++open) {
            prompter.OpenFiles << File("large.nc", program);
            window->SpeedButtonFileOpenClick();
            QVERIFY(window->Document().Text().toUtf8() == wholeStore.Text());
            QCOMPARE(window->ToolChangeCandidates(), whole.ToolChangeCandidates());
            QCOMPARE(
                Widget<QListView>(*window, "ListBoxToolChanges")->model()->rowCount(), whole.ToolChangeRows().size());
            QVERIFY(!editor->isUndoAvailable());
            QVERIFY(!window->Document().IsModified());
            QCOMPARE(window->Document().FileBytes(), whole.FileBytes());
            int line = -1, column = -1;
            editor->getCursorPosition(&line, &column);
            QCOMPARE(line, 0);
            QCOMPARE(column, 0);
        }
    }

    // Blank means nothing above code 32 anywhere: before, across and after the
    // pieces the store reads, and with the editor's gap moved into the text.
    void editorStoreBlankCheck_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("insertAt");
        QTest::addColumn<QByteArray>("inserted");
        QTest::addColumn<bool>("blank");
        const QByteArray blanks = QByteArray(" \t\r\n").repeated(50000); // 200000 bytes, several pieces
        QTest::newRow("empty") << QByteArray() << -1 << QByteArray() << true;
        QTest::newRow("only blanks") << blanks << -1 << QByteArray() << true;
        QTest::newRow("a letter first") << "X" + blanks << -1 << QByteArray() << false;
        QTest::newRow("a letter last") << blanks + "X" << -1 << QByteArray() << false;
        QTest::newRow("a letter on a piece's edge") << blanks.left(65536) + "X" + blanks << -1 << QByteArray() << false;
        QTest::newRow("a letter typed in the middle") << blanks << 100001 << QByteArray("X") << false;
        QTest::newRow("a space typed in the middle") << blanks << 100001 << QByteArray(" ") << true;
        QTest::newRow("a non-ASCII letter last") << blanks + "\xc3\x87" << -1 << QByteArray() << false;
    }

    void editorStoreBlankCheck()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, insertAt);
        QFETCH(QByteArray, inserted);
        QFETCH(bool, blank);
        QsciScintilla editor;
        editor.setUtf8(true);
        TEditorTextStore store(&editor);
        store.ReplaceText(text, TLineBreakStyle::CrLf, TTextReplace::NewDocument);
        if (insertAt >= 0) {
            editor.SendScintilla(QsciScintilla::SCI_INSERTTEXT, long(insertAt), inserted.constData());
            text.insert(insertAt, inserted);
        }
        QCOMPARE(store.IsBlank(), blank);
        QCOMPARE(store.Text(), text);
    }

    // A newly loaded text is read whole, and checked for blankness, from the
    // buffer it was loaded into: no second copy of a large program is made.
    void editorStoreReadsANewTextInPlace()
    {
        QsciScintilla editor;
        editor.setUtf8(true);
        TEditorTextStore store(&editor);
        const QByteArray text = QByteArray("G1 X10 Y20\r\n").repeated(100000);
        store.ReplaceText(text, TLineBreakStyle::CrLf, TTextReplace::NewDocument);
        const auto buffer = editor.SendScintilla(QsciScintilla::SCI_GETRANGEPOINTER, 0L, 1L);
        QVERIFY(!store.IsBlank());
        QCOMPARE(store.Text(), text);
        QCOMPARE(editor.SendScintilla(QsciScintilla::SCI_GETRANGEPOINTER, 0L, 1L), buffer);
        QCOMPARE(editor.SendScintilla(QsciScintilla::SCI_GETCHARACTERPOINTER), buffer);
    }

    void closingWithUnsavedEdits_data()
    {
        QTest::addColumn<bool>("edit");
        QTest::addColumn<bool>("save");
        QTest::addColumn<QList<bool>>("answers");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<bool>("closed");
        QTest::newRow("no edits") << false << false << QList<bool>() << false << true;
        QTest::newRow("edited, cancelled") << true << false << QList<bool>({ false }) << true << false;
        QTest::newRow("edited, confirmed") << true << false << QList<bool>({ true }) << true << true;
        QTest::newRow("edited and saved") << true << true << QList<bool>() << false << true;
    }

    void closingWithUnsavedEdits()
    {
        QFETCH(bool, edit);
        QFETCH(bool, save);
        QFETCH(QList<bool>, answers);
        QFETCH(bool, asked);
        QFETCH(bool, closed);
        TScriptedPrompter prompter;
        auto window = Window(prompter);
        prompter.OpenFiles << File("program.nc", "G0 X1\n");
        window->SpeedButtonFileOpenClick();
        if (edit) {
            Widget<QsciScintilla>(*window, "SynEditProgram")->setFocus();
            QTest::keyClicks(Widget<QsciScintilla>(*window, "SynEditProgram"), "M30");
        }
        if (save)
            window->SpeedButtonFileSaveClick();
        prompter.Questions.clear();
        prompter.Confirmations = answers;
        QCOMPARE(window->close(), closed);
        QCOMPARE(prompter.Questions.contains(LoseEdits), asked);
        QCOMPARE(window->isVisible(), !closed);
    }

    // A file handed over by a second start waits while a modal window is open
    // or a transfer runs: the text the operator is busy with keeps its file
    // name, so that a save cannot write it over the handed-over file.
    void handedOverFileWaitsUntilTheWindowIsFree_data()
    {
        QTest::addColumn<bool>("modal");
        QTest::newRow("modal window open") << true;
        QTest::newRow("transfer running") << false;
    }

    void handedOverFileWaitsUntilTheWindowIsFree()
    {
        QFETCH(bool, modal);
        TScriptedPrompter prompter;
        auto window = Window(prompter);
        const QString current = File("current.nc", "G0 X1\n");
        const QString victim = File("victim.nc", "G0 X2\n");
        QVERIFY(window->OpenFile(current));
        QDialog dialog(window.get());
        if (modal) {
            dialog.setModal(true);
            dialog.show();
            QTRY_VERIFY(QApplication::activeModalWidget() == &dialog);
        } else {
            window->SetTransferControlsEnabled(false);
        }
        prompter.Confirmations = { true };
        window->OpenHandedOverFile(victim);
        QTest::qWait(300);
        QCOMPARE(window->CurrentFileName(), current);
        QCOMPARE(window->WaitingHandedOverFile(), victim);
        if (modal)
            dialog.accept();
        else
            window->SetTransferControlsEnabled(true);
        QTRY_COMPARE(window->CurrentFileName(), victim);
        QVERIFY(window->WaitingHandedOverFile().isEmpty());
    }

    // A close asked for while a device answers (as the window manager sends
    // it) is neither carried out in the middle of the query nor lost: it waits
    // for the query and any modal window still open, then closes the window.
    void closeDuringADeviceQueryIsCarriedOutAfterIt()
    {
        TScriptedPrompter prompter;
        auto window = Window(prompter);
        QWidget* const handle = window.get();
        bool visibleAfterQuery = false;
        QDialog other(window.get()); // a modal window open when the query ends
        other.setModal(true);
        WindowCallRunner()([&] {
            QMetaObject::invokeMethod(
                handle,
                [handle] {
                    QCloseEvent close;
                    QCoreApplication::sendEvent(handle->windowHandle(), &close);
                },
                Qt::QueuedConnection);
            QThread::msleep(300);
        });
        visibleAfterQuery = window->isVisible();
        other.show();
        QTest::qWait(300);
        QVERIFY(visibleAfterQuery);
        QVERIFY(window->isVisible());
        other.accept();
        QTRY_VERIFY(!window->isVisible());
    }
};

const QString TestMainFormDocument::LoseEdits
    = QString::fromUtf8("Kaydedilmemiş değişiklikler kaybolacak, çıkmak istiyor musunuz?");

QTEST_MAIN(TestMainFormDocument)
#include "tst_mainformdocument.moc"
