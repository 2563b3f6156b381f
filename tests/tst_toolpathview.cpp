// The "Takım Yolu" view on the offscreen platform, read from its drawn
// pixels: the path lands where it should, the caret's move and the selected
// start-from point's run are highlighted, a click moves the caret; and in the
// window: the tool-bar button, the panel's remembered place, the view
// following the editor's text and caret.
#include "DrawnPixels.h"
#include "ScriptedPrompter.h"
#include "tests/support/FormWidget.h"

#include "app/ToolpathPanel.h"
#include "app/ToolpathView.h"
#include "app/WindowLook.h"
#include "app/unitmainform.h"

#include <QApplication>
#include <QListView>
#include <QSignalSpy>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>
#include <QWidget>

#include <Qsci/qsciscintilla.h>

namespace {

// A 10 × 10 square at Z -1; each side on a line of its own (4 to 7).
const char* const Square = "G21 G90 G17\n"
                           "G0 X0 Y0 Z5\n"
                           "G1 Z-1 F100\n"
                           "G1 X10\n"
                           "G1 Y10\n"
                           "G1 X0\n"
                           "G1 Y0\n"
                           "G0 Z5\n"
                           "M30\n";

bool IsCutBlue(const QColor& c)
{
    return c.blue() >= 140 && c.blue() - qMax(c.red(), c.green()) >= 60;
}

// Pixels of the kind within two pixels of the point.
int PixelsNear(const QImage& image, QPointF at, const std::function<bool(const QColor&)>& matches)
{
    int count = 0;
    for (int y = int(at.y()) - 2; y <= int(at.y()) + 2; ++y)
        for (int x = int(at.x()) - 2; x <= int(at.x()) + 2; ++x)
            if (image.rect().contains(x, y) && matches(image.pixelColor(x, y)))
                ++count;
    return count;
}

QPointF Pixel(const TToolpathView& view, double x, double y)
{
    return view.Camera().Project(x, y, -1, view.size());
}

bool WaitForPath(const TToolpathView& view)
{
    return QTest::qWaitFor([&] { return !view.Building() && view.Scene(); }, 10000);
}

} // namespace

class TestToolpathView : public QObject {
    Q_OBJECT
    QTemporaryDir FDir;

    std::unique_ptr<TFormMain> Window(TScriptedPrompter& prompter)
    {
        TMainFormOptions options;
        options.StatusPort = 0; // any free port: no device takes part
        options.StartupDelayMs = 3600000;
        auto window = std::make_unique<TFormMain>(prompter, options);
        window->resize(1200, 700);
        window->show();
        return window;
    }

private slots:
    void initTestCase()
    {
        qputenv("QUILLEX_SETTINGS", FDir.filePath("quillex_settings.ini").toLocal8Bit());
        qputenv("QUILLEX_NO_KEYCHAIN", "1");
        qputenv("XDG_CONFIG_HOME", FDir.path().toLocal8Bit());
    }

    // From the top the square's sides are drawn in the cut colour at the
    // corners' pixels, its inside left blank; the caret's side turns red.
    void squareAndCaret()
    {
        TToolpathView view;
        view.resize(240, 240);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.SetDirection(TViewDirection::Top);
        view.SetProgram(Square, true);
        QVERIFY(WaitForPath(view));
        QVERIFY(view.Note().isEmpty());
        QImage image = view.grab().toImage();
        const QPointF sides[] = { Pixel(view, 5, 0), Pixel(view, 10, 5), Pixel(view, 5, 10), Pixel(view, 0, 5) };
        for (const QPointF& side : sides)
            QVERIFY2(PixelsNear(image, side, IsCutBlue) > 0, qPrintable(QString("%1,%2").arg(side.x()).arg(side.y())));
        QCOMPARE(PixelsNear(image, Pixel(view, 5, 5), IsCutBlue), 0);
        QVERIFY(Pixel(view, 0, 0).x() < Pixel(view, 10, 0).x()); // X to the right
        QVERIFY(Pixel(view, 0, 0).y() > Pixel(view, 0, 10).y()); // Y up
        QCOMPARE(CountDrawnPixels(&view, IsWarningRed), 0);

        for (int line : { 5, 4 }) {
            view.SetCaretLine(line);
            image = view.grab().toImage();
            const QPointF caretSide = line == 5 ? Pixel(view, 10, 5) : Pixel(view, 5, 0);
            const QPointF otherSide = line == 5 ? Pixel(view, 5, 0) : Pixel(view, 10, 5);
            QVERIFY2(PixelsNear(image, caretSide, IsWarningRed) > 0, "the caret's move is red");
            QCOMPARE(PixelsNear(image, otherSide, IsWarningRed), 0);
        }
        view.SetCaretLine(9); // M30 moves nothing: no highlight
        QCOMPARE(CountDrawnPixels(&view, IsWarningRed), 0);
    }

    // A click on a side names that side's line; a click beside the path none.
    void clickSelectsLine_data()
    {
        QTest::addColumn<QPointF>("point"); // in program units
        QTest::addColumn<int>("line");
        QTest::newRow("bottom") << QPointF(3, 0) << 4;
        QTest::newRow("right") << QPointF(10, 7) << 5;
        QTest::newRow("top") << QPointF(6, 10) << 6;
        QTest::newRow("left") << QPointF(0, 4) << 7;
        QTest::newRow("inside") << QPointF(5, 5) << 0;
    }

    void clickSelectsLine()
    {
        QFETCH(QPointF, point);
        QFETCH(int, line);
        TToolpathView view;
        view.resize(240, 240);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.SetDirection(TViewDirection::Top);
        view.SetProgram(Square, true);
        QVERIFY(WaitForPath(view));
        QSignalSpy clicked(&view, &TToolpathView::LineClicked);
        QTest::mouseClick(&view, Qt::LeftButton, {}, Pixel(view, point.x(), point.y()).toPoint() + QPoint(1, 1));
        QCOMPARE(clicked.size(), line > 0 ? 1 : 0);
        if (line > 0)
            QCOMPARE(clicked.first().first().toInt(), line);
    }

    // The selected start-from point's run is drawn in its own colour to the next tool change.
    void startFromRun()
    {
        TToolpathView view;
        view.resize(240, 240);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.SetDirection(TViewDirection::Top);
        view.SetProgram("T1 M6\nG0 X0 Y0 Z0\nG1 X10 F100\nT2 M6\nG1 Y10\nT3 M6\nG1 X0\n", true);
        QVERIFY(WaitForPath(view));
        view.SetStartFromPoints({ 1, 4, 6 });
        const auto isSection
            = [](const QColor& c) { return c.green() >= 110 && c.green() - qMax(c.red(), c.blue()) >= 50; };
        QCOMPARE(CountDrawnPixels(&view, isSection), 0);
        view.SelectStartFrom(4);
        QImage image = view.grab().toImage();
        QVERIFY(PixelsNear(image, view.Camera().Project(10, 5, 0, view.size()), isSection) > 0);
        QCOMPARE(PixelsNear(image, view.Camera().Project(5, 0, 0, view.size()), isSection), 0);
        QCOMPARE(PixelsNear(image, view.Camera().Project(5, 10, 0, view.size()), isSection), 0);
    }

    // Wheel, drag and right-drag change the camera; F fits the whole path again.
    void mouseAndKeys()
    {
        TToolpathView view;
        view.resize(240, 240);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.SetProgram(Square, true);
        QVERIFY(WaitForPath(view));
        const TViewCamera fitted = view.Camera();
        QWheelEvent wheel(QPointF(60, 60), view.mapToGlobal(QPointF(60, 60)), {}, QPoint(0, 240), Qt::NoButton, {},
            Qt::NoScrollPhase, false);
        QApplication::sendEvent(&view, &wheel);
        QVERIFY(view.Camera().Scale > fitted.Scale * 1.4);
        QTest::mousePress(&view, Qt::RightButton, {}, QPoint(100, 100));
        QTest::mouseMove(&view, QPoint(140, 120));
        QTest::mouseRelease(&view, Qt::RightButton, {}, QPoint(140, 120));
        QVERIFY(view.Camera().Yaw != fitted.Yaw);
        view.setFocus();
        QTest::keyClick(&view, Qt::Key_F);
        QCOMPARE(view.Camera().Scale < fitted.Scale * 1.4, true);
    }

    // In the window: the button shows and hides the panel, the view follows
    // the editor's text and caret, a click moves the caret, and the panel's
    // visibility and width come back with the next window.
    void inTheWindow()
    {
        TScriptedPrompter prompter;
        int width = 0;
        {
            auto window = Window(prompter);
            QVERIFY(QTest::qWaitForWindowExposed(window.get()));
            QToolButton* button = window->ToolpathButton();
            QCOMPARE(button->toolTip(), QString::fromUtf8("TAKIM YOLU GÖRÜNÜMÜ"));
            TToolpathPanel* panel = window->ToolpathPanel();
            QVERIFY(panel->isHidden());
            window->SetEditorText(QString::fromLatin1(Square));
            QVERIFY(!panel->View()->Building()); // a hidden view makes no path
            QTest::mouseClick(button, Qt::LeftButton);
            QVERIFY(panel->isVisible());
            QVERIFY(button->isChecked());
            TToolpathView* view = panel->View();
            QVERIFY(WaitForPath(*view));
            QVERIFY(view->width() > 150);
            // The panel sits beside the editor.
            QVERIFY(view->mapTo(window.get(), QPoint(0, 0)).x()
                >= Widget<QsciScintilla>(*window, "SynEditProgram")->mapTo(window.get(), QPoint(0, 0)).x()
                    + Widget<QsciScintilla>(*window, "SynEditProgram")->width());

            QsciScintilla* editor = Widget<QsciScintilla>(*window, "SynEditProgram");
            editor->setCursorPosition(4, 0); // line 5
            QTRY_COMPARE(view->CaretMove(), view->Scene()->FirstMoveAtLine(5));
            panel->DirectionButton(TViewDirection::Top)->click();
            QTest::mouseClick(view, Qt::LeftButton, {}, Pixel(*view, 6, 10).toPoint() + QPoint(1, 1));
            int line = -1, index = -1;
            editor->getCursorPosition(&line, &index);
            QCOMPARE(line + 1, 6);

            // An edit is followed after a pause.
            const TToolpathScene* before = view->Scene();
            editor->setText(QString::fromLatin1(Square).replace("X10", "X20"));
            QVERIFY(QTest::qWaitFor([&] { return view->Scene() != before && !view->Building(); }, 10000));
            QCOMPARE(view->Scene()->Summary().Max.X, 20.0);

            SetPanelWidth(window.get(), 410);
            width = panel->width();
        }
        auto window = Window(prompter);
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QVERIFY(window->ToolpathPanel()->isVisible());
        QVERIFY(window->ToolpathButton()->isChecked());
        QCOMPARE(window->ToolpathPanel()->width(), width);
        window->ToolpathButton()->click();
        QVERIFY(window->ToolpathPanel()->isHidden());
        window.reset(); // its layout is saved as it goes
        window = Window(prompter);
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QVERIFY(window->ToolpathPanel()->isHidden());
    }

    // In the window's first size the device list gives way to the panel:
    // the editor stays wide enough to read, the path wide enough to see.
    void editorKeepsItsWidthInTheFirstSize()
    {
        TScriptedPrompter prompter;
        auto window = Window(prompter);
        window->resize(WindowWidth, WindowHeight);
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QTest::qWait(50);
        QVERIFY(window->ToolpathPanel()->isHidden());
        // The tool-change panel shows too, as it does for a program with tool changes.
        window->SetEditorText("G21 G90\nT1 M6\nG0 X0 Y0 Z5\nG1 X10 F100\nT2 M6\nG1 Y10\nM30\n");
        window->SpeedButtonScanToolChangesClick();
        QTRY_VERIFY(Widget<QListView>(*window, "ListBoxToolChanges")->isVisible());
        window->ToolpathButton()->click();
        QTRY_VERIFY(window->ToolpathPanel()->isVisible());
        QTest::qWait(50); // the splitters lay out
        QsciScintilla* editor = Widget<QsciScintilla>(*window, "SynEditProgram");
        // The panel's own buttons keep it from the narrowest width asked, so the
        // editor may get a little less than it asks.
        QVERIFY2(editor->width() >= 200, qPrintable(QString::number(editor->width())));
        QVERIFY2(window->ToolpathPanel()->width() >= MinToolpathPanelWidth - 10,
            qPrintable(QString::number(window->ToolpathPanel()->width())));
        QVERIFY(Widget<QWidget>(*window, "PanelDevices")->width() >= MinDevicesPanelWidth - 10);
        window->ToolpathButton()->click(); // leaves it hidden for the next test's window
    }

private:
    static void SetPanelWidth(TFormMain* window, int panelWidth)
    {
        auto* splitter = window->findChild<QSplitter*>("SplitterToolpath");
        QVERIFY(splitter);
        const int total = splitter->width();
        splitter->setSizes({ total - panelWidth, panelWidth });
    }
};

QTEST_MAIN(TestToolpathView)
#include "tst_toolpathview.moc"
