// The "Takım Yolu" view on the offscreen platform, read from its drawn
// pixels: the path lands where it should, the caret's move and the selected
// start-from point's run are highlighted, a click moves the caret; and in the
// window: the tool-bar button, the panel's remembered place, the view
// following the editor's text and caret.
#include "DrawnPixels.h"
#include "Loopback.h"
#include "ScriptedPrompter.h"
#include "StatusDatagram.h"
#include "tests/support/FormWidget.h"

#include "app/ToolpathPanel.h"
#include "app/ToolpathView.h"
#include "app/WindowLook.h"
#include "app/unitmainform.h"
#include "discovery/DeviceListModel.h"

#include <QApplication>
#include <QListView>
#include <QSignalSpy>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>
#include <QToolButton>
#include <QUdpSocket>
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

// The dimension lines' dark grey (60, 60, 60), drawn without antialiasing.
bool IsDimensionGrey(const QColor& c)
{
    return qAbs(c.red() - 60) <= 8 && qAbs(c.green() - 60) <= 8 && qAbs(c.blue() - 60) <= 8;
}

// Pixels darker than the background's half: text.
bool IsDark(const QColor& c)
{
    return c.lightness() < 128;
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

// Sends a status document to the window's port from a loopback address.
void SendStatus(quint16 port, const QString& from, const QByteArray& json)
{
    QUdpSocket socket;
    socket.bind(QHostAddress(from), 0);
    socket.writeDatagram(StatusDatagram(json), QHostAddress::LocalHost, port);
    socket.waitForBytesWritten(1000);
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

    // From the top the extents are dimensioned as a drawing does it: under
    // the path the X extent's dimension line with an arrowhead at each end,
    // extension lines down from the path's corners and the length in a gap
    // of the line; left of the path the same for Y, its text turned.
    void extentsDimensioned()
    {
        TToolpathView view;
        view.resize(300, 260);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.SetDirection(TViewDirection::Top);
        view.SetProgram("G21 G90\nG0 X0 Y0 Z5\nG1 Z-1 F100\nG1 X20\nG1 Y10\nG1 X0\nG1 Y0\nM30\n", true);
        QVERIFY(WaitForPath(view));
        const QImage image = view.grab().toImage();
        const QPointF low = Pixel(view, 0, 0), right = Pixel(view, 20, 0), top = Pixel(view, 0, 10);
        struct TExpected {
            QPointF From, To; // the dimension line's ends
            QPointF Across; // one pixel across the line
            QPointF Corner1, Corner2; // where its extension lines leave the path
        };
        const QPointF down(0, DimensionOffset), leftward(-DimensionOffset, 0);
        const TExpected dimensions[] = {
            { low + down, right + down, { 0, 1 }, low, right },
            { low + leftward, top + leftward, { 1, 0 }, low, top },
        };
        for (const TExpected& d : dimensions) {
            const QPointF along = (d.To - d.From) / QLineF(d.From, d.To).length();
            // The line itself, away from its text.
            for (double t : { 0.15, 0.85 }) {
                const QPointF at = d.From + (d.To - d.From) * t;
                QVERIFY2(
                    PixelsNear(image, at, IsDimensionGrey) > 0, qPrintable(QString("%1,%2").arg(at.x()).arg(at.y())));
            }
            // Arrowheads: a few pixels in from each end they are wider than the line.
            for (const auto& [tip, inward] : { std::pair { d.From, along }, std::pair { d.To, -along } }) {
                const QPointF base = tip + inward * 6;
                int wide = 0;
                for (int side : { -2, 2 })
                    wide += IsDimensionGrey(image.pixelColor((base + d.Across * side).toPoint()));
                QVERIFY2(wide == 2, qPrintable(QString("%1,%2").arg(base.x()).arg(base.y())));
            }
            // Extension lines between the path and the dimension line.
            for (const QPointF& corner : { d.Corner1, d.Corner2 }) {
                const QPointF between = corner + (d.From - d.Corner1) * 0.6;
                QVERIFY2(PixelsNear(image, between, IsDimensionGrey) > 0,
                    qPrintable(QString("%1,%2").arg(between.x()).arg(between.y())));
            }
            // The length, as text over the line's middle.
            const QPointF middle = (d.From + d.To) / 2;
            int text = 0;
            for (int a = -12; a <= 12; ++a)
                for (int b : { -4, -3, -2, 2, 3, 4 }) // beside the line's own row
                    text += IsDark(image.pixelColor((middle + along * a + d.Across * b).toPoint()));
            QVERIFY2(text >= 12, qPrintable(QString::number(text)));
        }
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

    // A newer text stops the worker still interpreting the older one: its
    // path never arrives and the view shows the newer one.
    void newTextStopsTheOlderBuild()
    {
        QByteArray large = "G21 G90 G17\nG0 X0 Y0 Z5\nF500\n";
        for (int i = 0; i < 400000; ++i)
            large += "G1 X" + QByteArray::number(i % 97) + " Y" + QByteArray::number(i % 89) + "\n";
        large += "M30\n";
        TToolpathView view;
        view.resize(200, 200);
        const int stoppedBefore = TToolpathView::StoppedBuilds();
        QSignalSpy ready(&view, &TToolpathView::SceneReady);
        view.SetProgram(large, true);
        QCoreApplication::processEvents(); // its worker starts
        view.SetProgram(Square, true);
        QVERIFY(WaitForPath(view));
        QVERIFY(TToolpathView::WaitForBuilds(30000));
        QCoreApplication::processEvents();
        QCOMPARE(TToolpathView::StoppedBuilds(), stoppedBefore + 1);
        QCOMPARE(ready.count(), 1);
        QCOMPARE(view.Scene()->Summary().Max.X, 10.0);

        // A text that is not interpreted stops it too.
        view.SetProgram(large, true);
        QCoreApplication::processEvents();
        view.SetNotInterpreted("-");
        QVERIFY(TToolpathView::WaitForBuilds(30000));
        QCoreApplication::processEvents();
        QCOMPARE(TToolpathView::StoppedBuilds(), stoppedBefore + 2);
        QVERIFY(!view.Scene());
        QCOMPARE(view.Note(), QString("-"));
    }

    // Selecting a SIEMENS control's device replaces the path by the reason it
    // is not drawn; selecting another device brings the path back.
    void siemensDeviceSwitch()
    {
        TScriptedPrompter prompter;
        const quint16 port = FreeUdpPort();
        TMainFormOptions options;
        options.StatusPort = port;
        options.StartupDelayMs = 0;
        options.TickSource = [] { return quint32(100000); }; // the devices never age
        TFormMain window(prompter, options);
        window.resize(1200, 700);
        window.show();
        QVERIFY(
            QTest::qWaitFor([&] { return window.StatusListener() && window.StatusListener()->IsListening(); }, 5000));
        SendStatus(port, RunIp("40.1"), "{\"macid\":\"m1\",\"name\":\"Torna\",\"controller\":\"FANUC\"}");
        SendStatus(port, RunIp("40.2"), "{\"macid\":\"m2\",\"name\":\"Freze\",\"controller\":\"SIEMENS\"}");
        QTRY_COMPARE(window.StatusListener()->AcceptedDatagrams(), 2);
        window.TimerDeviceInfoTimer();
        TDeviceListModel* list = window.DeviceList();
        QCOMPARE(list->rowCount(), 2);
        const int fanuc = list->Devices()[0].Controller == "FANUC" ? 0 : 1;
        list->SelectRow(fanuc);

        window.SetEditorText(QString::fromLatin1(Square));
        window.ToolpathButton()->click();
        TToolpathView* view = window.ToolpathPanel()->View();
        QVERIFY(WaitForPath(*view));
        const QString siemensNote
            = QString::fromUtf8("SIEMENS kontrolünün programı yorumlanmıyor; takım yolu ve güvenlik kontrolü yok.");

        list->SelectRow(1 - fanuc);
        QVERIFY(window.IsSelectedDeviceSiemens());
        QCOMPARE(view->Scene(), nullptr);
        QCOMPARE(view->Note(), siemensNote);
        QCOMPARE(CountDrawnPixels(view, IsCutBlue), 0); // the path is gone from the drawing

        list->SelectRow(fanuc);
        QVERIFY(WaitForPath(*view));
        QVERIFY(CountDrawnPixels(view, IsCutBlue) > 20);
        QCOMPARE(view->Scene()->Summary().Max.X, 10.0);
        QCOMPARE(view->Note(), QString());
        window.ToolpathButton()->click(); // leaves it hidden for the next test's window
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
