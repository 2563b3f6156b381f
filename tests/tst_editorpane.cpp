// The editor pane on its own: what a drag over the editor hands to the
// window, and the text commands that the dump of a capture does not offer.
#include "app/EditorPane.h"
#include "app/EditorTextStore.h"
#include "app/FindBar.h"
#include "app/HexDumpView.h"
#include "dialogs/UiPrompter.h"

#include <QMenu>
#include <QMimeData>
#include <QSignalSpy>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QVBoxLayout>

#include <Qsci/qsciscintilla.h>

#include <memory>

namespace {

// Every question refused: a command that asks has nothing to do here.
class TRefusingPrompter : public TUiPrompter {
public:
    bool AskPin(const QString&, const QString&, QString&) override { return false; }
    void ShowMessage(const QString&) override { }
    bool ConfirmOkCancel(const QString&) override { return false; }
    bool ConfirmYesNo(const QString&) override { return false; }
    bool AskNewPin(const QString&, const QString&, const QString&, QString&, QString&) override { return false; }
    bool AskOpenFile(const QString&, QString&) override { return false; }
    bool AskSaveFile(const QString&, const QString&, const QString&, const QString&, QString&) override
    {
        return false;
    }
    bool AskFolder(const QString&, QString&) override { return false; }
    bool AskInteger(const QString&, const QString&, int, int, int&) override { return false; }
};

// The window's editor and its surroundings, the pane over them.
struct TPaneFixture {
    QWidget Panel;
    QVBoxLayout* Layout = new QVBoxLayout(&Panel);
    // The splitter first in the layout, as in the window: the find bar goes under it.
    QSplitter* Split = [this] {
        auto* split = new QSplitter(&Panel);
        Layout->addWidget(split);
        return split;
    }();
    QsciScintilla* Editor = new QsciScintilla(Split);
    TProgramDocument Document { *new TEditorTextStore(Editor) };
    TRefusingPrompter Prompter;
    TEditorPane Pane { Editor, Split, Layout, Document, Prompter };
    TPaneFixture()
    {
        QObject::connect(&Document, &TProgramDocument::Changed, &Pane, [this] { Pane.ShowDocument(Shown); });
    }
    TDocumentMode Shown = TDocumentMode::Text;
};

} // namespace

class TestEditorPane : public QObject {
    Q_OBJECT
private slots:
    // Only a local file is the window's to open, and only on the drop;
    // dropped text is the editor's own.
    void drops_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("taken");
        QTest::newRow("a local file") << "file" << true;
        QTest::newRow("a folder") << "folder" << false;
        QTest::newRow("text") << "text" << false;
        QTest::newRow("a web address") << "web" << false;
    }
    void drops()
    {
        QFETCH(QString, kind);
        QFETCH(bool, taken);
        QTemporaryDir dir;
        const QString file = dir.filePath("program.nc");
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write("G1 X1\n") > 0);
        out.close();
        QMimeData data;
        if (kind == "file")
            data.setUrls({ QUrl::fromLocalFile(file) });
        else if (kind == "folder")
            data.setUrls({ QUrl::fromLocalFile(dir.path()) });
        else if (kind == "web")
            data.setUrls({ QUrl("https://127.0.0.1/program.nc") });
        else
            data.setText("G1 X1");
        TPaneFixture fixture;
        QSignalSpy dropped(&fixture.Pane, &TEditorPane::FileDropped);
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCOMPARE(fixture.Pane.DropEvent(&enter), taken);
        QCOMPARE(dropped.count(), 0); // a drag over the editor opens nothing yet
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCOMPARE(fixture.Pane.DropEvent(&drop), taken);
        QCOMPARE(dropped.count(), taken ? 1 : 0);
        if (taken)
            QCOMPARE(dropped.first().first().toString(), file);
    }

    // The dump of a capture replaces the editor: find, replace and the
    // context menu's text commands are gone until a text comes back.
    void dumpHasNoTextCommands()
    {
        TPaneFixture fixture;
        fixture.Panel.show();
        fixture.Document.ShowRawCapture(QByteArray("\x01\x02\x03", 3));
        QVERIFY(fixture.Pane.HexView()->isVisible());
        QVERIFY(!fixture.Editor->isVisible());
        fixture.Pane.ShowFindBar(true);
        QVERIFY(!fixture.Pane.FindBar()->isVisible());
        std::unique_ptr<QMenu> menu(fixture.Pane.CreateContextMenu(nullptr));
        for (QAction* action : menu->actions())
            QVERIFY2(!action->isEnabled() || action->isSeparator(), qPrintable(action->text()));

        fixture.Shown = TDocumentMode::RawCapture;
        fixture.Document.OpenBytes("G1 X1\r\n", false);
        QVERIFY(fixture.Editor->isVisible() && !fixture.Editor->isReadOnly());
        QVERIFY(!fixture.Pane.HexView()->isVisible());
        fixture.Pane.ShowFindBar(true);
        QVERIFY(fixture.Pane.FindBar()->isVisible());
    }
};

QTEST_MAIN(TestEditorPane)
#include "tst_editorpane.moc"
