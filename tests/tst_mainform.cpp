// The main window on the offscreen platform: start-up and layout, the device
// list and status panel, the logo, and the device settings dialog.
#include "Loopback.h"
#include "ScriptedPeer.h"
#include "ScriptedPrompter.h"
#include "StatusDatagram.h"
#include "app/DeviceInfoPaintBox.h"
#include "app/StatusLogView.h"
#include "tests/support/FormWidget.h"

#include "app/DevicePanel.h"
#include "app/unitmainform.h"
#include "dialogs/UnitDeviceSettingsForm.h"
#include "discovery/DeviceListModel.h"

#include "app/ApplicationSetup.h"
#include "config/Settings.h"
#include "content/UnitMazatrolCmt.h"
#include "discovery/DeviceStatusView.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFrame>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QToolButton>
#include <QUdpSocket>
#include <QWidget>
#include <QWindow>

#include <cerrno>
#include <sys/stat.h>

namespace {

// The status panel's rows as "label=value" lines (a bare value when unlabelled), for comparing.
QStringList RowTexts(const TDeviceInfoRows& rows)
{
    QStringList texts;
    for (const TDeviceInfoRow& row : rows)
        texts << (row.Label.isEmpty() ? row.Value : row.Label + "=" + row.Value);
    return texts;
}

// Sends status documents to the window's port from chosen loopback addresses.
void SendStatus(quint16 port, const QString& from, const QByteArray& json)
{
    QUdpSocket socket;
    socket.bind(QHostAddress(from), 0);
    socket.writeDatagram(StatusDatagram(json), QHostAddress::LocalHost, port);
    socket.waitForBytesWritten(1000);
}

// The title bar and the left and bottom edges are on the screen; only a window
// wider than the screen (its minimum width) may reach past the right edge.
bool FrameOnScreen(const QRect& frame, const QRect& area)
{
    return frame.top() >= area.top() && frame.left() >= area.left() && frame.bottom() <= area.bottom()
        && (frame.right() <= area.right() || frame.left() == area.left());
}

QStringList Captions(const QAbstractItemModel* list)
{
    QStringList captions;
    for (int i = 0; i < list->rowCount(); ++i)
        captions << list->index(i, 0).data().toString();
    return captions;
}

QString SelectedCaption(TDeviceListModel* list)
{
    return list->index(list->SelectedRow(), 0).data().toString();
}

} // namespace

class TestMainForm : public QObject {
    Q_OBJECT
    QTemporaryDir FDir;
    quint32 FNow = 100000;

    QString Settings() const { return FDir.filePath("quillex_settings.ini"); }

    std::unique_ptr<TFormMain> Window(TScriptedPrompter& prompter, quint16 port)
    {
        TMainFormOptions options;
        options.StatusPort = port;
        options.TickSource = [this] { return FNow; };
        return std::make_unique<TFormMain>(prompter, options);
    }

    // The window after its first start-up tick, with a listening status listener.
    std::unique_ptr<TFormMain> StartedWindow(TScriptedPrompter& prompter, quint16 port)
    {
        auto window = Window(prompter, port);
        window->show();
        if (!QTest::qWaitFor([&] { return window->StatusListener() && window->StatusListener()->IsListening(); }, 5000))
            qWarning("the status listener did not start");
        return window;
    }

    // Five clicks on the logo show or hide the status log.
    void ClickLogo(TFormMain& window)
    {
        for (int i = 0; i < 5; ++i) {
            FNow += 100;
            window.ImageLogoClick();
        }
    }
    void ShowLog(TFormMain& window)
    {
        if (!window.LogVisible())
            ClickLogo(window);
        QVERIFY(window.LogVisible());
    }

private slots:
    void init()
    {
        qputenv("QUILLEX_SETTINGS", Settings().toLocal8Bit());
        qputenv("QUILLEX_NO_KEYCHAIN", "1");
        qputenv("XDG_CONFIG_HOME", FDir.path().toLocal8Bit());
        QFile::remove(Settings());
    }

    void firstRunWithoutSettings()
    {
        TScriptedPrompter prompter;
        auto window = Window(prompter, FreeUdpPort());
        QCOMPARE(window->windowTitle(), QString("Quillex - CNC Program Aktarim Istemcisi"));
        // Before the first start-up tick there is no listener and nothing is capable.
        QVERIFY(!window->StatusListener());
        QVERIFY(!window->SelectedDeviceSupportsStartFrom());
        QVERIFY(!window->IsSelectedDeviceSiemens());
        QVERIFY(!Widget<QToolButton>(*window, "SpeedButtonScanToolChanges")->isEnabled());
        QVERIFY(!Widget<QToolButton>(*window, "SpeedButtonStartFromMiddle")->isEnabled());
        QCOMPARE(window->DevicePanel()->InfoMessage(), QString::fromUtf8("Bir cihaz seçin."));
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QCOMPARE(window->geometry().size(), QSize(1055, 674));
        QCOMPARE(Widget<QWidget>(*window, "PanelDevices")->width(), 449);
        QCOMPARE(Widget<QWidget>(*window, "PanelDeviceInfo")->height(), 281);
        QVERIFY(Widget<QFrame>(*window, "PanelTransfer")->isHidden());
        QVERIFY(Widget<QWidget>(*window, "PanelToolChanges")->isHidden());
        QCOMPARE(Widget<QToolButton>(*window, "SpeedButtonUpdate")->toolTip(),
            QString::fromUtf8("YENİ SÜRÜM KONTROL ET VE GÜNCELLE"));
        window->close();
        QSettings settings(Settings(), QSettings::IniFormat);
        settings.beginGroup("MainForm");
        QCOMPARE(settings.childKeys().size(), 10);
        QCOMPARE(settings.value("ToolpathPanelVisible").toInt(), 0);
        QCOMPARE(settings.value("ToolpathPanelWidth").toInt(), 360);
        QCOMPARE(settings.value("Maximized").toString(), QString("0"));
        QCOMPARE(settings.value("DevicesPanelWidth").toInt(), 449);
        QCOMPARE(settings.value("DeviceInfoMemoHeight").toInt(), 281);
        QCOMPARE(settings.value("ToolChangesPanelWidth").toInt(), 245);
        QCOMPARE(settings.value("Width").toInt(), 1055);
    }

    void storedLayoutIsRestored()
    {
        {
            QSettings settings(Settings(), QSettings::IniFormat);
            settings.setValue("MainForm/Left", 20);
            settings.setValue("MainForm/Top", 30);
            settings.setValue("MainForm/Width", 960);
            settings.setValue("MainForm/Height", 500);
            settings.setValue("MainForm/DevicesPanelWidth", 300);
            settings.setValue("MainForm/DeviceInfoMemoHeight", 200);
        }
        TScriptedPrompter prompter;
        auto window = Window(prompter, FreeUdpPort());
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QCOMPARE(window->geometry(), QRect(20, 30, 960, 500));
        QCOMPARE(Widget<QWidget>(*window, "PanelDevices")->width(), 300);
        QCOMPARE(Widget<QWidget>(*window, "PanelDeviceInfo")->height(), 200);
    }

    void positionOffEveryScreen_data()
    {
        QTest::addColumn<int>("height"); // of the stored client area
        QTest::newRow("fits in height") << 400;
        QTest::newRow("taller than the screen") << 5000;
    }

    // The frame is fitted, title bar included, so the window can still be moved.
    void positionOffEveryScreen()
    {
        QFETCH(int, height);
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        {
            QSettings settings(Settings(), QSettings::IniFormat);
            settings.setValue("MainForm/Left", area.right() + 5000);
            settings.setValue("MainForm/Top", 40);
            settings.setValue("MainForm/Width", area.width() + 300);
            settings.setValue("MainForm/Height", height);
        }
        TScriptedPrompter prompter;
        auto window = Window(prompter, FreeUdpPort());
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        const QRect frame = window->frameGeometry();
        QVERIFY(frame != window->geometry()); // the platform draws a frame
        QVERIFY(FrameOnScreen(frame, area));
        // As wide as the screen, or its minimum width when that is wider.
        QCOMPARE(
            frame.width(), qMax(area.width(), window->minimumSizeHint().width() + frame.width() - window->width()));
        QCOMPARE(frame.left(), qMax(area.left(), area.left() + (area.width() - frame.width()) / 2));
        const int frameHeight = qMin(area.height(), height + frame.height() - window->height());
        QCOMPARE(frame.height(), frameHeight);
        QCOMPARE(frame.top(), area.top() + (area.height() - frameHeight) / 2);
    }

    void overlapOfExactly100x50Stays()
    {
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        TScriptedPrompter prompter;
        auto window = Window(prompter, FreeUdpPort());
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->resize(400, 300);
        window->move(area.right() + 1 - 100, area.bottom() + 1 - 50); // the frame's position
        window->EnsureWindowOnScreen();
        QCOMPARE(window->frameGeometry().topLeft(), QPoint(area.right() + 1 - 100, area.bottom() + 1 - 50));
        window->move(area.right() + 1 - 99, area.bottom() + 1 - 50);
        window->EnsureWindowOnScreen();
        QVERIFY(FrameOnScreen(window->frameGeometry(), area));
    }

    void maximisedAndMinimisedCloses()
    {
        {
            QSettings settings(Settings(), QSettings::IniFormat);
            settings.setValue("MainForm/Left", 11);
            settings.setValue("MainForm/Top", 12);
            settings.setValue("MainForm/Width", 613);
            settings.setValue("MainForm/Height", 414);
        }
        TScriptedPrompter prompter;
        {
            auto window = Window(prompter, FreeUdpPort());
            window->showMaximized();
            window->close();
        }
        {
            QSettings settings(Settings(), QSettings::IniFormat);
            QCOMPARE(settings.value("MainForm/Maximized").toString(), QString("1"));
            QCOMPARE(settings.value("MainForm/Left").toInt(), 11);
            QCOMPARE(settings.value("MainForm/Width").toInt(), 613);
        }
        {
            // The next start restores the normal placement, then maximises.
            auto window = Window(prompter, FreeUdpPort());
            QVERIFY(window->windowState() & Qt::WindowMaximized);
            window->showMinimized();
            window->setWindowState(Qt::WindowMinimized);
            window->close();
        }
        QSettings settings(Settings(), QSettings::IniFormat);
        QCOMPARE(settings.value("MainForm/Maximized").toString(), QString("0"));
        QCOMPARE(settings.value("MainForm/Left").toInt(), 11);
    }

    void maximisedWithoutPosition()
    {
        QSettings(Settings(), QSettings::IniFormat).setValue("MainForm/Maximized", 1);
        TScriptedPrompter prompter;
        auto window = Window(prompter, FreeUdpPort());
        QVERIFY(window->windowState() & Qt::WindowMaximized);
    }

    void logoClicks()
    {
        TScriptedPrompter prompter;
        auto window = Window(prompter, FreeUdpPort());
        window->show();
        QVERIFY(!window->LogVisible());
        for (int i = 0; i < 5; ++i) {
            FNow += 1000;
            window->ImageLogoClick();
        }
        QVERIFY(window->LogVisible());
        // Four quick clicks, a pause of 2.5 s, one more: the count restarts.
        for (int i = 0; i < 4; ++i) {
            FNow += 100;
            window->ImageLogoClick();
        }
        FNow += 2500;
        window->ImageLogoClick();
        QVERIFY(window->LogVisible());
        // A gap of exactly 2000 ms still counts.
        for (int i = 0; i < 4; ++i) {
            FNow += 2000;
            window->ImageLogoClick();
        }
        QVERIFY(!window->LogVisible());
        // A real click on the picture counts too.
        for (int i = 0; i < 5; ++i)
            QTest::mouseClick(Widget<QLabel>(*window, "ImageLogo"), Qt::LeftButton);
        QVERIFY(window->LogVisible());
        // Five quick clicks as the window system delivers them: the second and
        // the fourth press arrive as double clicks.
        const QEvent::Type presses[] = { QEvent::MouseButtonPress, QEvent::MouseButtonDblClick,
            QEvent::MouseButtonPress, QEvent::MouseButtonDblClick, QEvent::MouseButtonPress };
        const QPointF at(10, 10);
        for (QEvent::Type type : presses) {
            FNow += 150;
            QMouseEvent press(type, at, Widget<QLabel>(*window, "ImageLogo")->mapToGlobal(at), Qt::LeftButton,
                Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(Widget<QLabel>(*window, "ImageLogo"), &press);
            QMouseEvent release(QEvent::MouseButtonRelease, at, Widget<QLabel>(*window, "ImageLogo")->mapToGlobal(at),
                Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(Widget<QLabel>(*window, "ImageLogo"), &release);
        }
        QVERIFY(!window->LogVisible());
    }

    void settingsFileThatIsAFifo()
    {
        // Opening a FIFO would wait for a writer: the window starts without it.
        const QString fifo = FDir.filePath("fifo.ini");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        qputenv("QUILLEX_SETTINGS", fifo.toLocal8Bit());
        QCOMPARE(SettingsFilePath(), QString());
        TScriptedPrompter prompter;
        auto window = Window(prompter, FreeUdpPort());
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window.reset();
        QVERIFY(QFileInfo(fifo).isFile() == false);
        QFile::remove(fifo);
    }

    void statusLogKeepsTheLatestLines()
    {
        TScriptedPrompter prompter;
        const quint16 port = FreeUdpPort();
        auto window = StartedWindow(prompter, port);
        QUdpSocket socket;
        QVERIFY(socket.bind(QHostAddress(RunIp("40.20")), 0));
        const int total = StatusLogMaxLines + 50;
        for (int i = 1; i <= total; ++i) {
            socket.writeDatagram(
                StatusDatagram(QString("{\"macid\":\"m\",\"n\":%1}").arg(i).toLatin1()), QHostAddress::LocalHost, port);
            // A few at a time, so the socket buffer drops none.
            if (i % 100 == 0)
                QTRY_COMPARE(window->StatusListener()->AcceptedDatagrams(), i);
        }
        QTRY_COMPARE(window->StatusListener()->AcceptedDatagrams(), total);
        QCOMPARE(window->StatusLog().Lines().size(), StatusLogMaxLines);
        TStatusLogView* log = Widget<TStatusLogView>(*window, "Memo1");
        QCOMPARE(log->Text(), QString()); // hidden: nothing drawn
        ShowLog(*window);
        QCOMPARE(log->LineCount(), StatusLogMaxLines);
        const QStringList lines = log->Text().split('\n');
        QCOMPARE(lines.first(), QString("[%1] {\"macid\":\"m\",\"n\":51}").arg(RunIp("40.20")));
        QCOMPARE(lines.last(), QString("[%1] {\"macid\":\"m\",\"n\":%2}").arg(RunIp("40.20")).arg(total));
    }

    // What the log shows after each script of datagrams and of the operator
    // showing and hiding it: what appending each datagram's line at once to a
    // log of StatusLogMaxLines lines showed, line for line.
    void statusLogShowsWhatEachDatagramAdded_data()
    {
        QTest::addColumn<QStringList>("script"); // "show", "hide", "wait", "feed N", "break" (a text with a line feed)
        QTest::newRow("shown, a few") << QStringList { "show", "feed 3" };
        QTest::newRow("hidden, then shown") << QStringList { "feed 4", "show" };
        QTest::newRow("more than kept while hidden") << QStringList { "feed 5050", "show" };
        QTest::newRow("more than kept while shown")
            << QStringList { "show", "feed 2000", "wait", "feed 2000", "wait", "feed 1500", "wait" };
        QTest::newRow("shown, hidden, more than kept, shown")
            << QStringList { "show", "feed 10", "wait", "hide", "feed 5001", "show" };
        QTest::newRow("shown, hidden, a few, shown")
            << QStringList { "show", "feed 10", "wait", "hide", "feed 7", "show", "feed 2" };
        QTest::newRow("a text with a line feed") << QStringList { "show", "feed 2", "break", "feed 2" };
        QTest::newRow("line feeds at the limit")
            << QStringList { "show", "feed 4990", "wait", "break", "break", "feed 5", "wait", "break", "feed 3" };
        QTest::newRow("line feeds over the limit while hidden")
            << QStringList { "feed 4998", "break", "break", "show" };
    }
    void statusLogShowsWhatEachDatagramAdded()
    {
        QFETCH(QStringList, script);
        TScriptedPrompter prompter;
        auto window = StartedWindow(prompter, FreeUdpPort());
        TStatusLogView* log = Widget<TStatusLogView>(*window, "Memo1");
        const QString sender = RunIp("40.21");
        QStringList added; // the text each datagram added to the log
        int n = 0;
        for (const QString& step : script) {
            if (step == "show" || step == "hide") {
                if (window->LogVisible() != (step == "show"))
                    ClickLogo(*window);
                QCOMPARE(window->LogVisible(), step == "show");
            } else if (step == "wait") {
                QTest::qWait(150);
            } else {
                const bool lineFeed = step == "break";
                const int count = lineFeed ? 1 : step.section(' ', 1).toInt();
                for (int i = 0; i < count; ++i) {
                    ++n;
                    const QString text = lineFeed ? QString("{\"n\":%1,\n\"second\":1}").arg(n)
                                                  : QString("{\"macid\":\"m\",\"n\":%1}").arg(n);
                    window->StatusListener()->AcceptDatagram(sender, StatusDatagram(text.toLatin1()));
                    added << QString("[%1] %2").arg(sender, text);
                }
            }
        }
        QStringList shown = added.join('\n').split('\n');
        shown = shown.mid(qMax<qsizetype>(0, shown.size() - StatusLogMaxLines));
        ShowLog(*window);
        QTRY_COMPARE(log->Text(), shown.join('\n'));
        QCOMPARE(log->LineCount(), int(shown.size()));
    }

    void statusLogDrawsAtMostTenTimesASecondAndOnlyWhenShown()
    {
        TScriptedPrompter prompter;
        auto window = StartedWindow(prompter, FreeUdpPort());
        TStatusLogView* log = Widget<TStatusLogView>(*window, "Memo1");
        int batches = 0;
        connect(log, &TStatusLogView::LinesAdded, log, [&] { ++batches; });
        const QString sender = RunIp("40.22");
        int n = 0;
        // At least `ms`, and at least `count` datagrams: on a busy machine a
        // 2 ms wait can take far longer.
        const auto feedFor = [&](int ms, int count = 0) {
            QElapsedTimer feeding;
            feeding.start();
            const int start = n;
            while (feeding.elapsed() < ms || n - start < count) {
                window->StatusListener()->AcceptDatagram(
                    sender, StatusDatagram(QString("{\"n\":%1}").arg(++n).toLatin1()));
                QTest::qWait(2);
            }
            return feeding.elapsed();
        };
        feedFor(400);
        QCOMPARE(batches, 0);
        QCOMPARE(log->Text(), QString());
        ClickLogo(*window); // shows what came meanwhile at once
        QCOMPARE(batches, 1);
        const int fed = n;
        const qint64 ms = feedFor(1000, 150);
        // Hundreds of datagrams, one batch per 100 ms at most.
        QVERIFY(n - fed > 100);
        QVERIFY2(batches >= 5 && batches <= 1 + ms / 100 + 1, qPrintable(QString("%1 in %2 ms").arg(batches).arg(ms)));
        const QString newest = QString("[%1] {\"n\":%2}").arg(sender);
        // Hidden, or shown in a minimised window: nothing drawn until it shows again.
        ClickLogo(*window);
        batches = 0;
        feedFor(300);
        QTest::qWait(150);
        QCOMPARE(batches, 0);
        ClickLogo(*window);
        QCOMPARE(log->Text().split('\n').last(), newest.arg(n));
        window->setWindowState(Qt::WindowMinimized);
        batches = 0;
        feedFor(300);
        QTest::qWait(150);
        QCOMPARE(batches, 0);
        window->setWindowState(Qt::WindowNoState);
        QTRY_COMPARE(log->Text().split('\n').last(), newest.arg(n));
        QCOMPARE(batches, 1);
    }

    // Ticks redraw the status panel only when what it shows changed: a new
    // status of the selected device, or another device selected.
    void statusPanelRedrawsOnlyForTheSelectedDevice()
    {
        TScriptedPrompter prompter;
        auto window = StartedWindow(prompter, FreeUdpPort());
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        struct TPaintCounter : QObject {
            int Paints = 0;
            bool eventFilter(QObject*, QEvent* event) override
            {
                Paints += event->type() == QEvent::Paint ? 1 : 0;
                return false;
            }
        } counter;
        Widget<TDeviceInfoPaintBox>(*window, "PaintBoxDeviceInfo")->installEventFilter(&counter);
        const QString a = RunIp("40.41"), b = RunIp("40.42");
        const auto hear = [&](const QString& ip, const QString& name, int second) {
            window->StatusListener()->AcceptDatagram(ip,
                StatusDatagram(QString(R"({"macid":"%1","name":"%1","time":"2026-12-10 12:00:%2"})")
                                   .arg(name)
                                   .arg(second)
                                   .toLatin1()));
        };
        const auto tick = [&] {
            window->TimerDeviceInfoTimer();
            QTest::qWait(50);
        };
        hear(a, "A", 10);
        hear(b, "B", 10);
        tick();
        window->DeviceList()->SelectRow(0);
        tick();
        QCOMPARE(RowTexts(window->DevicePanel()->InfoRows()).value(0), QString("Cihaz Adı=A"));
        QVERIFY(RowTexts(window->DevicePanel()->InfoRows()).contains("Son Güncelleme=12:00:10"));
        const struct {
            const char* Step;
            bool Redrawn;
            const char* Time; // the panel's "Son Güncelleme" afterwards
        } steps[] = {
            { "nothing new", false, "12:00:10" },
            { "the other device", false, "12:00:10" },
            { "the same status again", false, "12:00:10" },
            { "a newer status of the selected device", true, "12:00:11" },
            { "the other device selected", true, "12:00:12" },
        };
        for (const auto& step : steps) {
            const QString name = QString::fromLatin1(step.Step);
            if (name == "the other device")
                hear(b, "B", 11);
            else if (name == "the same status again")
                hear(a, "A", 10);
            else if (name == "a newer status of the selected device")
                hear(a, "A", 11);
            else if (name == "the other device selected") {
                hear(b, "B", 12);
                window->DeviceList()->SelectRow(1);
            }
            counter.Paints = 0;
            tick();
            QVERIFY2((counter.Paints > 0) == step.Redrawn, step.Step);
            QVERIFY2(
                RowTexts(window->DevicePanel()->InfoRows()).contains(QString::fromUtf8("Son Güncelleme=") + step.Time),
                step.Step);
        }
    }

    void storedPinOnlyForItsAddress()
    {
        // A forged status datagram announcing a real device's macid gets no PIN.
        TScriptedPrompter prompter;
        const quint16 port = FreeUdpPort();
        auto window = StartedWindow(prompter, port);
        const QString real = RunIp("40.30"), forged = RunIp("40.31");
        SavePinToStore("m-real", "4321", real);
        const QByteArray status = "{\"macid\":\"m-real\",\"name\":\"Torna\",\"pw\":true}";
        const auto deviceAt = [&](const QString& ip) {
            window->TimerDeviceInfoTimer();
            for (const TQuillexDevice& d : window->StatusListener()->GetLastDeviceList())
                if (d.IPAddress == ip)
                    return d;
            return TQuillexDevice();
        };
        TScriptedPeer impostor(forged, 5000, {});
        TScriptedPeer device(real, 5000, { [](TPeerConnection& c) {
            c.ReadLine();
            c.Send(c.ReadLine() == "PIN&4321" ? "OK\nOK\n" : "OK\nERR pin\n");
        } });

        SendStatus(port, forged, status);
        QTRY_COMPARE(window->StatusListener()->AcceptedDatagrams(), 1);
        QVERIFY(!window->CheckDevicePin(deviceAt(forged))); // asked, cancelled
        QCOMPARE(prompter.Questions, QStringList { QString::fromUtf8("Torna şifre istiyor (4-8 rakam):") });

        // Both announce at once: both are listed, and neither gets the PIN.
        SendStatus(port, real, status);
        QTRY_COMPARE(window->StatusListener()->AcceptedDatagrams(), 2);
        const TQuillexDevice listed = deviceAt(real);
        QCOMPARE(window->DeviceList()->rowCount(), 2);
        QVERIFY(!window->CheckDevicePin(listed));
        QCOMPARE(prompter.Questions.size(), 2);
        QCOMPARE(impostor.Connections(), 0);
        QCOMPARE(device.Connections(), 0);

        // The forger falls silent: the device at its own address gets its PIN without a question.
        FNow += DeviceAgeLimitMs + 1;
        SendStatus(port, real, status);
        QTRY_COMPARE(window->StatusListener()->AcceptedDatagrams(), 3);
        QVERIFY(window->CheckDevicePin(deviceAt(real)));
        QCOMPARE(prompter.Questions.size(), 2);
        QCOMPARE(device.Connections(), 1);
        QCOMPARE(impostor.Connections(), 0);
        SetCachedPin(real, {});
    }

    void deviceListAndStatusPanel()
    {
        TScriptedPrompter prompter;
        const quint16 port = FreeUdpPort();
        auto window = StartedWindow(prompter, port);
        SendStatus(port, RunIp("40.1"),
            "{\"macid\":\"m1\",\"name\":\"Torna 1\",\"controller\":\"FANUC\",\"hw\":\"HW4\",\"xfer_status\":\"idle\"}");
        SendStatus(port, RunIp("40.2"),
            "{\"macid\":\"m2\",\"name\":\"Freze\",\"pw\":true,\"controller\":\"SIEMENS\",\"erasing\":1}");
        SendStatus(port, RunIp("40.3"),
            "{\"macid\":\"m3\",\"name\":\"Pres\",\"xfer_status\":\"idle\",\"ota_status\":\"idle\"}");
        SendStatus(port, RunIp("40.4"), "not json at all");
        QTRY_COMPARE(window->StatusListener()->AcceptedDatagrams(), 4);
        window->TimerDeviceInfoTimer();
        TDeviceListModel* list = window->DeviceList();
        QCOMPARE(list->rowCount(), 3);
        // Every accepted datagram is in the log, the one that is not JSON too.
        QCOMPARE(window->StatusLog().Lines().size(), 4);

        const QList<TQuillexDevice> devices = window->StatusListener()->GetLastDeviceList();
        int torna = -1, freze = -1;
        for (int i = 0; i < devices.size(); ++i) {
            const TDeviceRowLook look = window->DevicePanel()->RowLook(i);
            QCOMPARE(look.Line2, devices[i].IPAddress);
            if (devices[i].MacId == "m1") {
                torna = i;
                QCOMPARE(look.Line1, QString("Torna 1 / FANUC"));
                QVERIFY(!look.Locked);
                QCOMPARE(look.DotColor, QColor(76, 175, 80));
            } else if (devices[i].MacId == "m2") {
                freze = i;
                QVERIFY(look.Locked);
                QCOMPARE(look.DotColor, QColor(245, 166, 35));
            } else {
                QCOMPARE(look.Line1, QString("Pres"));
            }
        }
        QCOMPARE(window->DeviceActivityColor(RunIp("40.4")), QColor(158, 158, 158));
        QCOMPARE(window->DeviceActivityColor(""), QColor(158, 158, 158));

        // Selecting a device shows its rows and enables the start-from commands for HW4.
        list->SelectRow(torna);
        QCOMPARE(window->DevicePanel()->InfoMessage(), QString());
        QCOMPARE(RowTexts(window->DevicePanel()->InfoRows()).first(), QString::fromUtf8("Cihaz Adı=Torna 1"));
        QVERIFY(Widget<QToolButton>(*window, "SpeedButtonScanToolChanges")->isEnabled());
        QVERIFY(Widget<QToolButton>(*window, "SpeedButtonStartFromMiddle")->isEnabled());
        QVERIFY(!window->IsSelectedDeviceSiemens());
        list->SelectRow(freze);
        QVERIFY(window->IsSelectedDeviceSiemens());
        QVERIFY(!Widget<QToolButton>(*window, "SpeedButtonScanToolChanges")->isEnabled());

        // The selection follows the device across refreshes.
        list->SelectRow(torna);
        SendStatus(port, RunIp("40.5"), "{\"macid\":\"m5\",\"name\":\"Yeni\"}");
        QTRY_COMPARE(window->StatusListener()->AcceptedDatagrams(), 5);
        window->TimerDeviceInfoTimer();
        QCOMPARE(list->rowCount(), 4);
        QCOMPARE(SelectedCaption(list), QString("Torna 1"));

        // While a transfer runs the list keeps its rows and the selection stays.
        window->SetTransferControlsEnabled(false);
        QVERIFY(!Widget<QToolButton>(*window, "SpeedButtonStartFromMiddle")->isEnabled());
        QVERIFY(Widget<QToolButton>(*window, "SpeedButtonScanToolChanges")->isEnabled());
        QVERIFY(!Widget<QToolButton>(*window, "SpeedButtonUploadToMachine")->isEnabled());
        const QStringList before = Captions(list);
        SendStatus(port, RunIp("40.6"), "{\"macid\":\"m6\",\"name\":\"Sonra\"}");
        QTRY_COMPARE(window->StatusListener()->AcceptedDatagrams(), 6);
        window->TimerDeviceInfoTimer();
        QCOMPARE(Captions(list), before);
        QCOMPARE(SelectedCaption(list), QString("Torna 1"));
        window->SetTransferControlsEnabled(true);
        QVERIFY(Widget<QToolButton>(*window, "SpeedButtonStartFromMiddle")->isEnabled());
        window->TimerDeviceInfoTimer();
        QCOMPARE(list->rowCount(), 5);

        // Silent devices drop out; the panel falls back to its message.
        FNow += 20001;
        window->TimerDeviceInfoTimer();
        QCOMPARE(list->rowCount(), 0);
        QCOMPARE(window->DevicePanel()->InfoMessage(), QString::fromUtf8("Bir cihaz seçin."));
    }

    // Narrowing the device column narrows the rows at once: no horizontal scroll bar.
    void deviceRowsFollowTheListWidth()
    {
        TScriptedPrompter prompter;
        const quint16 port = FreeUdpPort();
        auto window = StartedWindow(prompter, port);
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        SendStatus(port, RunIp("40.13"), "{\"macid\":\"w\",\"name\":\"" + QByteArray(80, 'W') + "\"}");
        QTRY_COMPARE(window->StatusListener()->AcceptedDatagrams(), 1);
        window->TimerDeviceInfoTimer();
        QListView* list = Widget<QListView>(*window, "ListBoxDevices");
        QTRY_COMPARE(list->visualRect(window->DeviceList()->index(0)).width(), list->viewport()->width());
        const int wide = list->viewport()->width();
        Widget<QSplitter>(*window, "SplitterDevices")->setSizes({ 180, window->width() - 180 });
        QTRY_VERIFY(list->viewport()->width() < wide);
        QTRY_COMPARE(list->visualRect(window->DeviceList()->index(0)).width(), list->viewport()->width());
        QCOMPARE(list->horizontalScrollBar()->maximum(), 0);
        QVERIFY(!list->horizontalScrollBar()->isVisible());
    }

    void badStatusDocumentsDoNotStallThePanel()
    {
        TScriptedPrompter prompter;
        const quint16 port = FreeUdpPort();
        auto window = StartedWindow(prompter, port);
        // A 2000-character name just fits a datagram of 2048 bytes.
        const QByteArray huge = "{\"macid\":\"h\",\"name\":\"" + QByteArray(2000, 'N') + "\"}";
        SendStatus(port, RunIp("40.7"), huge);
        QTRY_COMPARE(window->StatusListener()->AcceptedDatagrams(), 1);
        window->TimerDeviceInfoTimer();
        window->DeviceList()->SelectRow(0);
        QCOMPARE(
            RowTexts(window->DevicePanel()->InfoRows()).first(), QString::fromUtf8("Cihaz Adı=") + QString(2000, 'N'));
        QVERIFY(!window->grab().isNull());
        // Longer datagrams are dropped; the last good status stays.
        SendStatus(port, RunIp("40.7"), huge + QByteArray(64, ' '));
        QTest::qWait(200);
        QCOMPARE(window->StatusListener()->AcceptedDatagrams(), 1);
        // Wrong types.
        SendStatus(
            port, RunIp("40.7"), "{\"macid\":\"h\",\"name\":[1],\"baud\":{\"x\":1},\"filesize\":\"big\",\"time\":5}");
        QTRY_COMPARE(window->StatusListener()->AcceptedDatagrams(), 2);
        window->UpdateDeviceInfo();
        QVERIFY(RowTexts(window->DevicePanel()->InfoRows()).contains("Baud Rate="));
        QVERIFY(RowTexts(window->DevicePanel()->InfoRows()).contains("Dosya Boyutu=0 bayt"));
        QVERIFY(RowTexts(window->DevicePanel()->InfoRows()).contains(QString::fromUtf8("Son Güncelleme=5")));
        QVERIFY(!window->grab().isNull()); // painting copes with all of it
        // Now the device sends text that is not JSON: shown raw, dot grey.
        SendStatus(port, RunIp("40.7"), "{broken");
        QTRY_COMPARE(window->StatusListener()->AcceptedDatagrams(), 3);
        window->UpdateDeviceInfo();
        QCOMPARE(RowTexts(window->DevicePanel()->InfoRows()), QStringList { "{broken" });
        QCOMPARE(window->DeviceActivityColor(RunIp("40.7")), QColor(158, 158, 158));
        QVERIFY(!window->grab().isNull());
    }

    void statusRowsScrollUnderTheTransferPanel()
    {
        TScriptedPrompter prompter;
        auto window = Window(prompter, FreeUdpPort());
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        // All rows of a device that sends, with the transfer panel shown at the design sizes.
        const TDeviceInfoRows rows
            = BuildDeviceInfoRows("{\"name\":\"Torna\",\"ip\":\"127.0.0.2\",\"erasing\":1,"
                                  "\"xfer_status\":\"send\",\"xfer_bytes\":500,\"xfer_total\":1000,"
                                  "\"xfer_elapsed_sec\":187,\"ota_status\":\"downloading\"}");
        QCOMPARE(rows.size(), 15);
        // The history's first answer (what was last sent) refreshes the panel: let it arrive first.
        window->History()->Flush();
        QApplication::processEvents();
        window->SetDeviceInfo({}, rows);
        Widget<QFrame>(*window, "PanelTransfer")->show();
        QApplication::processEvents();
        QCOMPARE(Widget<QWidget>(*window, "PanelDeviceInfo")->height(), 281);
        QScrollArea* scroll = Widget<QScrollArea>(*window, "ScrollBoxDeviceInfo");
        QVERIFY(scroll->verticalScrollBar()->isVisible());
        QVERIFY(!scroll->horizontalScrollBar()->isVisible());
        // Every row can be scrolled into view: the rows keep their height.
        const int rowHeight
            = QFontMetrics(Widget<TDeviceInfoPaintBox>(*window, "PaintBoxDeviceInfo")->font()).height() + 8;
        QVERIFY(Widget<TDeviceInfoPaintBox>(*window, "PaintBoxDeviceInfo")->height() >= 15 * rowHeight);
        scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
        QVERIFY(Widget<TDeviceInfoPaintBox>(*window, "PaintBoxDeviceInfo")->visibleRegion().boundingRect().bottom()
            >= 15 * rowHeight - 1);
        // A message, or rows that fit, need no scroll bar.
        Widget<QFrame>(*window, "PanelTransfer")->hide();
        window->SetDeviceInfo(QString::fromUtf8("Bir cihaz seçin."), {});
        QApplication::processEvents();
        QVERIFY(!scroll->verticalScrollBar()->isVisible());
    }

    void statusPortInUseIsShown()
    {
        QUdpSocket holder; // the port is taken, not shared
        QVERIFY(holder.bind(QHostAddress::AnyIPv4, 0, QUdpSocket::DontShareAddress));
        TScriptedPrompter prompter;
        auto window = Window(prompter, holder.localPort());
        window->show();
        const QString expected = QString::fromUtf8("Durum portu %1 dinlenemiyor: %2")
                                     .arg(holder.localPort())
                                     .arg(qt_error_string(EADDRINUSE));
        QTRY_COMPARE(window->DevicePanel()->InfoMessage(), expected);
        window->TimerDeviceInfoTimer(); // stays until the window is restarted
        QCOMPARE(window->DevicePanel()->InfoMessage(), expected);
    }

    void cmtDescriptionWithPercentMarker()
    {
        TScriptedPrompter prompter;
        auto window = Window(prompter, FreeUdpPort());
        window->ShowCmtFile(BuildCmtFrame("3117x")
            + BuildCmtFrame("1100" + QByteArray(10, ' ') + "00000050    0850%1 OFF") + BuildCmtFrame("1500")
            + BuildCmtFrame("1500") + BuildCmtFrame("1200"));
        const QAbstractItemModel* rows = Widget<QListView>(*window, "ListBoxToolChanges")->model();
        QCOMPARE(rows->rowCount(), 5);
        QCOMPARE(rows->index(4, 0).data().toString(), QString("0050  50%1 OFF  (2 blok)"));
    }

    void standardTextsInTurkishAndPlainTitles()
    {
        QString error;
        QVERIFY2(SetUpApplication(*qApp, error), qPrintable(error));
        // No display name: Qt would append it to every title.
        QCOMPARE(QGuiApplication::applicationDisplayName(), QGuiApplication::applicationName());
        QMessageBox box(QMessageBox::Question, "Quillex", "?",
            QMessageBox::Ok | QMessageBox::Cancel | QMessageBox::Yes | QMessageBox::No);
        auto text = [&](QMessageBox::StandardButton button) { return box.button(button)->text().remove('&'); };
        QCOMPARE(text(QMessageBox::Ok), QString("Tamam"));
        QCOMPARE(text(QMessageBox::Cancel), QString::fromUtf8("İptal"));
        QCOMPARE(text(QMessageBox::Yes), QString("Evet"));
        QCOMPARE(text(QMessageBox::No), QString::fromUtf8("Hayır"));
        QInputDialog pin;
        pin.setTextEchoMode(QLineEdit::Password);
        pin.show();
        const QList<QPushButton*> buttons = pin.findChildren<QPushButton*>();
        QStringList captions;
        for (QPushButton* button : buttons)
            captions << button->text().remove('&');
        captions.sort();
        QCOMPARE(captions, QStringList({ "Tamam", QString::fromUtf8("İptal") }));
        pin.hide();
        QFileDialog files;
        files.setOption(QFileDialog::DontUseNativeDialog);
        QCOMPARE(files.labelText(QFileDialog::FileName).remove('&'), QString::fromUtf8("Dosya adı:"));
        QCOMPARE(files.labelText(QFileDialog::Reject), QString::fromUtf8("İptal"));
    }

    void cancelledPinOpensNoSettingsDialog()
    {
        TScriptedPrompter prompter;
        prompter.PinAnswers = { "<cancel>" };
        const quint16 port = FreeUdpPort();
        auto window = StartedWindow(prompter, port);
        SendStatus(port, RunIp("40.12"), "{\"macid\":\"p\",\"name\":\"Kilitli\",\"pw\":true}");
        QTRY_COMPARE(window->StatusListener()->AcceptedDatagrams(), 1);
        window->TimerDeviceInfoTimer();
        window->DeviceList()->SelectRow(0);
        window->ListBoxDevicesDblClick(); // a dialog would block here
        QCOMPARE(prompter.Questions, QStringList { QString::fromUtf8("Kilitli şifre istiyor (4-8 rakam):") });
        QVERIFY(QApplication::topLevelWidgets().size() >= 1);
        for (QWidget* w : QApplication::topLevelWidgets())
            QVERIFY(!qobject_cast<TFormDeviceSettings*>(w) || !w->isVisible());
    }

    void checkDevicePinUsesTheAddressWithoutMacId()
    {
        TScriptedPeer peer(RunIp("40.8"), 5000, { [](TPeerConnection& c) {
            c.ReadLine();
            c.ReadLine();
            c.Send("OK\nOK\n");
        } });
        TScriptedPrompter prompter;
        prompter.PinAnswers = { "4321" };
        auto window = Window(prompter, FreeUdpPort());
        TQuillexDevice device;
        device.IPAddress = RunIp("40.8");
        device.DisplayName = "Pres";
        device.PinRequired = true;
        QVERIFY(window->CheckDevicePin(device));
        QCOMPARE(LoadPinFromStore(RunIp("40.8")), QString("4321"));
        QCOMPARE(prompter.Questions, QStringList { QString::fromUtf8("Pres şifre istiyor (4-8 rakam):") });
        SetCachedPin(RunIp("40.8"), {});
    }

    void settingsDialogSendsOnlyChanges()
    {
        QList<QByteArray> received;
        TScriptedPeer peer(RunIp("40.9"), 5000,
            { [](TPeerConnection& c) {
                 c.ReadLine();
                 c.ReadLine();
                 c.ReadLine();
                 c.Send("OK\nOK\nOK\n");
             },
                [](TPeerConnection& c) {
                    c.ReadLine();
                    c.ReadLine();
                    c.Send("OK\nERR busy\n");
                } });
        TScriptedPrompter prompter;
        TFormDeviceSettings dialog(prompter);
        dialog.Initialize("Torna 1", "fanuc", 9600, 30, -1, 8, u'N', 1, RunIp("40.9"), 5000, false, "");
        const QObject* f = &dialog;
        QCOMPARE(
            Widget<QComboBox>(f, "ComboBoxController")->count(), 7); // found without regard to case, nothing appended
        QCOMPARE(Widget<QComboBox>(f, "ComboBoxController")->currentText(), QString("FANUC"));
        QVERIFY(Widget<QCheckBox>(f, "CheckBoxXonXoff")->isChecked()
            && !Widget<QCheckBox>(f, "CheckBoxXonXoff")->isEnabled());
        QCOMPARE(Widget<QComboBox>(f, "ComboBoxParity")->currentText(), QString("Yok (N)"));
        QCOMPARE(Widget<QLabel>(f, "LabelPin")->text(), QString::fromUtf8("Transfer şifresi: Kapalı"));
        QVERIFY(!Widget<QPushButton>(f, "ButtonClearPin")->isEnabled());
        // Typed Turkish letters never reach the name field.
        Widget<QLineEdit>(f, "EditName")->clear();
        for (QChar c : QString::fromUtf8("Pres Ş-1")) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
            QApplication::sendEvent(Widget<QLineEdit>(f, "EditName"), &press);
        }
        QCOMPARE(Widget<QLineEdit>(f, "EditName")->text(), QString("Pres -1"));
        Widget<QLineEdit>(f, "EditName")->setText("Torna 1");
        Widget<QComboBox>(f, "ComboBoxParity")->setCurrentIndex(1);
        dialog.ButtonSaveClick(); // CONTROLLER&FANUC too: the opening value was "fanuc"
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        dialog.setResult(0);
        dialog.ButtonSaveClick();
        QCOMPARE(prompter.Messages.value(0), QString::fromUtf8("Ayarlar kaydedilemedi: busy"));
        QCOMPARE(dialog.result(), 0);
        QVERIFY(peer.WaitDone());
        QCOMPARE(peer.Received().value(0), QByteArray("LOGIN&70216953\nCONTROLLER&FANUC\nPARITYE\n"));
    }

    // Typing into the name field: printable characters are filtered, the keys
    // that move, press, cancel or edit keep their meaning.
    void settingsDialogNameKeys_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("text"); // the key's text as the keyboard sends it
        QTest::addColumn<QString>("name"); // the field afterwards; it starts as "Pres" with the caret after "Pr"
        QTest::addColumn<QString>("outcome"); // focus moved, saved, cancelled, or none
        QTest::newRow("letter") << int(Qt::Key_A) << "a"
                                << "Praes"
                                << "none";
        QTest::newRow("digit") << int(Qt::Key_7) << "7"
                               << "Pr7es"
                               << "none";
        QTest::newRow("blank") << int(Qt::Key_Space) << " "
                               << "Pr es"
                               << "none";
        QTest::newRow("dash") << int(Qt::Key_Minus) << "-"
                              << "Pr-es"
                              << "none";
        QTest::newRow("underscore") << int(Qt::Key_Underscore) << "_"
                                    << "Pr_es"
                                    << "none";
        QTest::newRow("Turkish letter") << int(Qt::Key_unknown) << QString::fromUtf8("ş") << "Pres"
                                        << "none";
        QTest::newRow("dotted capital I") << int(Qt::Key_unknown) << QString::fromUtf8("İ") << "Pres"
                                          << "none";
        QTest::newRow("exclamation mark") << int(Qt::Key_Exclam) << "!"
                                          << "Pres"
                                          << "none";
        QTest::newRow("ampersand") << int(Qt::Key_Ampersand) << "&"
                                   << "Pres"
                                   << "none";
        QTest::newRow("Backspace") << int(Qt::Key_Backspace) << "\b"
                                   << "Pes"
                                   << "none";
        QTest::newRow("Delete") << int(Qt::Key_Delete) << "\x7f"
                                << "Prs"
                                << "none";
        QTest::newRow("Tab") << int(Qt::Key_Tab) << "\t"
                             << "Pres"
                             << "focus";
        QTest::newRow("Return") << int(Qt::Key_Return) << "\r"
                                << "Pres"
                                << "saved";
        QTest::newRow("Enter") << int(Qt::Key_Enter) << "\r"
                               << "Pres"
                               << "saved";
        QTest::newRow("Escape") << int(Qt::Key_Escape) << "\x1b"
                                << "Pres"
                                << "cancelled";
    }

    void settingsDialogNameKeys()
    {
        QFETCH(int, key);
        QFETCH(QString, text);
        QFETCH(QString, name);
        QFETCH(QString, outcome);
        TScriptedPrompter prompter;
        TFormDeviceSettings dialog(prompter);
        dialog.Initialize("Pres", "", 0, -1, -1, 0, QChar(), 0, RunIp("40.13"), 5000, false, "");
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        const QObject* f = &dialog;
        QCOMPARE(QApplication::focusWidget(),
            Widget<QLineEdit>(f, "EditName")); // the field has the focus when the dialog opens
        Widget<QLineEdit>(f, "EditName")->setCursorPosition(2);
        QSignalSpy saved(Widget<QPushButton>(f, "ButtonSave"), &QPushButton::clicked);
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
        QApplication::sendEvent(Widget<QLineEdit>(f, "EditName"), &press);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
        QApplication::sendEvent(Widget<QLineEdit>(f, "EditName"), &release);
        QCOMPARE(Widget<QLineEdit>(f, "EditName")->text(), name);
        if (outcome == "focus") // to the next field that takes it (the controller list is disabled here)
            QCOMPARE(QApplication::focusWidget(), Widget<QComboBox>(f, "ComboBoxBaud"));
        else if (outcome == "none")
            QCOMPARE(QApplication::focusWidget(), Widget<QLineEdit>(f, "EditName"));
        QCOMPARE(saved.size(), outcome == "saved" ? 1 : 0);
        // Saving without a change closes with the cancel result too; only Escape closes without saving.
        QCOMPARE(dialog.isVisible(), outcome == "none" || outcome == "focus");
    }

    void settingsDialogHasOnlyACloseButton()
    {
        TScriptedPrompter prompter;
        TFormDeviceSettings dialog(prompter);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const Qt::WindowFlags flags = dialog.windowHandle()->flags();
        QVERIFY(flags & Qt::CustomizeWindowHint); // only the buttons named here
        QVERIFY(flags & Qt::WindowTitleHint);
        QVERIFY(flags & Qt::WindowCloseButtonHint);
        QVERIFY(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
    }

    void settingsDialogNothingChangedSendsNothing()
    {
        TScriptedPeer peer(RunIp("40.10"), 5000, {});
        TScriptedPrompter prompter;
        TFormDeviceSettings dialog(prompter);
        dialog.Initialize("Torna 1", "HEIDENHAIN", 9600, -1, 1, 8, u'E', 2, RunIp("40.10"), 5000, false, "mac");
        QCOMPARE(Widget<QComboBox>(dialog, "ComboBoxController")->currentText(), QString("HEIDENHAIN"));
        QCOMPARE(Widget<QLineEdit>(dialog, "EditXoff")->text(), QString());
        dialog.ButtonSaveClick();
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QTest::qWait(50);
        QCOMPARE(peer.Connections(), 0);
    }

    void settingsDialogPin()
    {
        const auto accept = [](QByteArray expected) {
            return [expected](TPeerConnection& c) {
                c.ReadLine();
                const QByteArray line = c.ReadLine();
                c.Send(line == expected ? "OK\nOK\n" : "OK\nERR wrong\n");
            };
        };
        TScriptedPeer peer(RunIp("40.11"), 5000, { accept("SETPIN&24680"), [](TPeerConnection& c) {
                                                      for (int i = 0; i < 3; ++i)
                                                          c.ReadLine();
                                                      c.Send("OK\nOK\nERR wrong\n");
                                                  } });
        TScriptedPrompter prompter;
        prompter.NewPinAnswers = { { "123", "123" }, { "24680", "24681" }, { "24680", "24680" } };
        TFormDeviceSettings dialog(prompter);
        dialog.Initialize("Torna", "", 0, -1, -1, 0, QChar(), 0, RunIp("40.11"), 5000, false, "MAC-11");
        QVERIFY(!Widget<QComboBox>(dialog, "ComboBoxController")->isEnabled());
        dialog.ButtonSetPinClick();
        dialog.ButtonSetPinClick();
        QCOMPARE(peer.Connections(), 0);
        dialog.ButtonSetPinClick();
        QCOMPARE(prompter.Messages,
            QStringList({ QString::fromUtf8("Şifre 4-8 rakamdan oluşmalı."), QString::fromUtf8("Şifreler aynı değil."),
                QString::fromUtf8(
                    "Şifre kaydedildi. Unutulursa yalnızca cihazın USB bağlantısından kaldırılabilir.") }));
        QCOMPARE(GetCachedPin(RunIp("40.11")), QString("24680"));
        QCOMPARE(LoadPinFromStore("MAC-11"), QString("24680"));
        QCOMPARE(Widget<QLabel>(dialog, "LabelPin")->text(), QString::fromUtf8("Transfer şifresi: Açık"));
        QCOMPARE(Widget<QPushButton>(dialog, "ButtonSetPin")->text(), QString::fromUtf8("Şifreyi Değiştir"));
        QVERIFY(Widget<QPushButton>(dialog, "ButtonClearPin")->isEnabled());

        // Clearing: "No" sends nothing; the device refusing keeps everything.
        prompter.Messages.clear();
        prompter.Confirmations = { false, true };
        dialog.ButtonClearPinClick();
        dialog.ButtonClearPinClick(); // the device refuses CLEARPIN
        QCOMPARE(prompter.Messages, QStringList { QString::fromUtf8("Şifre ayarlanamadı: wrong") });
        QCOMPARE(GetCachedPin(RunIp("40.11")), QString("24680"));
        QVERIFY(dialog.PinRequired());
        SetCachedPin(RunIp("40.11"), {});
    }
};

QTEST_MAIN(TestMainForm)
#include "tst_mainform.moc"
