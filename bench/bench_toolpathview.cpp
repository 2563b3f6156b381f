// The toolpath panel's cost in the window: opening the large program with the
// panel shown (until its path is drawn) against the same with it hidden, and
// the redraw of the whole path after a turn of the view.
#include "BenchPrompter.h"
#include "BenchUtil.h"

#include "app/ToolpathPanel.h"
#include "app/unitmainform.h"

#include <QApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QThreadPool>

#include <algorithm>

// Usage: quillex-bench-toolpathview PROGRAM_FILE (the file made by
// bench/make-toolpath-program.sh); run under an X server (xvfb-run) on the
// xcb platform.
int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 2 || !QFileInfo(argv[1]).isFile()) {
        std::fprintf(stderr, "quillex-bench-toolpathview: a program file is needed\n");
        return 1;
    }
    QTemporaryDir dir;
    qputenv("QUILLEX_SETTINGS", dir.filePath("settings.ini").toLocal8Bit());
    qputenv("QUILLEX_NO_KEYCHAIN", "1");
    TBenchPrompter prompter;
    prompter.OpenFile = QFileInfo(argv[1]).absoluteFilePath();
    TMainFormOptions options;
    options.StatusPort = BenchStatusPort();
    TFormMain window(prompter, options);
    window.resize(1280, 800);
    window.show();
    QApplication::processEvents();
    TToolpathView* view = window.ToolpathPanel()->View();

    const auto waitForPath = [&] {
        if (!view->Building())
            return;
        QEventLoop loop;
        QObject::connect(view, &TToolpathView::SceneReady, &loop, &QEventLoop::quit);
        loop.exec();
    };
    // Opened until the frame reaches the X server, and with the panel shown
    // until its path is made and drawn. The editor is emptied first (not
    // timed): the same text opened again would not be interpreted again.
    const auto setPanel = [&](bool shown) {
        window.SetEditorText(QString());
        if (window.ToolpathPanel()->isHidden() == shown)
            window.SpeedButtonToolpathClick();
        waitForPath();
        // No older path still made on a worker while the next opening is timed.
        QThreadPool::globalInstance()->waitForDone();
        TToolpathView::WaitForBuilds();
        QApplication::processEvents();
    };
    const auto openOnce = [&] {
        window.SpeedButtonFileOpenClick();
        waitForPath();
        window.repaint();
        QGuiApplication::sync();
    };
    // The window's own part: until the editor's frame is painted while the
    // path is still made on the worker (what the operator waits for before
    // the window answers).
    const auto openPainted = [&] {
        window.SpeedButtonFileOpenClick();
        window.repaint();
        QGuiApplication::sync();
    };
    setPanel(true);
    openOnce(); // warms the caches
    std::vector<TTimes> shown, hidden, painted, hiddenAgain;
    for (int pair = 0; pair < BenchPairs(); ++pair) {
        setPanel(true);
        shown.push_back(Measure(openOnce));
        setPanel(false);
        hidden.push_back(Measure(openOnce));
        setPanel(true);
        painted.push_back(Measure(openPainted));
        waitForPath();
        setPanel(false);
        hiddenAgain.push_back(Measure(openPainted));
    }
    PrintPairs("window open, toolpath shown (path drawn) / hidden", shown, hidden, 1.5);
    PrintPairs("window open, toolpath shown (editor painted) / hidden", painted, hiddenAgain, 1.5);

    // The whole path drawn again after each of 20 turns of the isometric view.
    setPanel(true);
    openOnce();
    view->SetDirection(TViewDirection::Isometric);
    const TToolpathScene* scene = view->Scene();
    std::vector<double> redraws;
    for (int turn = 0; turn < 20; ++turn) {
        TViewCamera camera = view->Camera();
        camera.Rotate(0.05, turn % 2 ? 0.02 : -0.02);
        view->SetCamera(camera);
        redraws.push_back(Measure([&] {
            view->repaint();
            QGuiApplication::sync();
        }).Wall);
    }
    std::sort(redraws.begin(), redraws.end());
    std::printf("toolpath redraw after a turn (%lld moves, %lld points, %lld lines drawn in %dx%d): "
                "min %.1f ms, median %.1f ms, max %.1f ms; load %s\n",
        qlonglong(scene ? scene->Path().Moves().size() : 0), qlonglong(scene ? scene->Points().size() : 0),
        qlonglong(view->DrawnLines()), view->width(), view->height(), redraws.front() * 1000, Median(redraws) * 1000,
        redraws.back() * 1000, LoadAverage().constData());
    return 0;
}
