// The update button of the main window against a local HTTPS server: the
// quiet start-up check, the click with its hints, the question after a
// verified download and the closing on Yes, failures, and a window closed
// while the download runs.
#include "ScriptedPrompter.h"
#include "UpdateTestServer.h"
#include "tests/support/FormWidget.h"

#include "app/unitmainform.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

namespace {

using TServe = TUpdateTestServer::TServe;

const TVersionComponents OwnVersion { 1, 2, 3, 4 };
const TVersionComponents NewVersion { 1, 2, 3, 5 };

const char* const HintIdle = "YENİ SÜRÜM KONTROL ET VE GÜNCELLE";
const char* const HintAvailable = "YENİ SÜRÜM VAR - GÜNCELLE";
const char* const HintChecking = "GÜNCELLEME KONTROL EDİLİYOR";

QString Hint(const char* text)
{
    return QString::fromUtf8(text);
}

// Records every hint the button shows.
class THintRecorder : public QObject {
public:
    explicit THintRecorder(QToolButton* button)
        : FButton(button)
    {
        button->installEventFilter(this);
    }
    QStringList Hints;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == FButton && event->type() == QEvent::ToolTipChange)
            Hints << FButton->toolTip();
        return false;
    }

private:
    QToolButton* FButton;
};

} // namespace

class TestMainFormUpdate : public QObject {
    Q_OBJECT
    QTemporaryDir FDir;
    std::unique_ptr<TTestPki> FPki;
    std::unique_ptr<TUpdateTestServer> FServer;
    std::unique_ptr<QTemporaryDir> FProgramDir;
    QByteArray FNewProgram;

    TUpdateSettings Settings() const
    {
        TUpdateSettings settings;
        settings.BaseUrl = FServer->BaseUrl();
        settings.CaFile = FPki->Path("ca.pem");
        settings.ProgramFile = FProgramDir->filePath("quillex");
        settings.TimeoutMs = 1500;
        return settings;
    }

    std::unique_ptr<TFormMain> Window(TScriptedPrompter& prompter, const TUpdateSettings& settings)
    {
        TMainFormOptions options;
        options.StatusPort = 0;
        options.Update = settings;
        auto window = std::make_unique<TFormMain>(prompter, options);
        window->show();
        return window;
    }

    // The window after its start-up check has ended.
    std::unique_ptr<TFormMain> StartedWindow(TScriptedPrompter& prompter, const TUpdateSettings& settings)
    {
        auto window = Window(prompter, settings);
        // The check starts right after the status listener.
        if (!QTest::qWaitFor([&] { return window->StatusListener() != nullptr; }, 10000)
            || !QTest::qWaitFor([] { return RunningUpdateWorkers() == 0; }, 10000))
            qWarning("the start-up check did not end");
        QTest::qWait(50); // its result queued to the window
        return window;
    }

    static QImage Picture(const QString& resource)
    {
        return QPixmap(resource).scaled(64, 64, Qt::KeepAspectRatio, Qt::SmoothTransformation).toImage();
    }

    // Which of the two pictures the button shows: 0, 1, or -1 for neither.
    static int ButtonPicture(TFormMain& window)
    {
        const QImage shown = Widget<QToolButton>(window, "SpeedButtonUpdate")->icon().pixmap(64, 64).toImage();
        if (shown == Picture(":/UPDATE_IMAGE.png"))
            return 0;
        if (shown == Picture(":/UPDATE_AVAILABLE_IMAGE.png"))
            return 1;
        return -1;
    }

    void ServeVersion(const TVersionComponents& version)
    {
        FServer->Serve(UpdateVersionPath, QByteArray::number(VersionNumber(version)) + "\n");
    }

private slots:
    void initTestCase()
    {
        qputenv("QUILLEX_SETTINGS", FDir.filePath("quillex_settings.ini").toLocal8Bit());
        qputenv("QUILLEX_NO_KEYCHAIN", "1");
        qputenv("XDG_CONFIG_HOME", FDir.path().toLocal8Bit());
        FPki = std::make_unique<TTestPki>(FDir.path());
        QVERIFY2(FPki->MakeAuthority("ca"), qPrintable(FPki->Error()));
        QVERIFY2(FPki->MakeServer("server", "ca", "IP:127.0.0.1"), qPrintable(FPki->Error()));
        FServer = std::make_unique<TUpdateTestServer>(FPki->Path("server.pem"), FPki->Path("server.key"));
        QVERIFY(FServer->Listening());
    }

    void init()
    {
        FProgramDir = std::make_unique<QTemporaryDir>();
        QFile program(FProgramDir->filePath("quillex"));
        QVERIFY(program.open(QIODevice::WriteOnly));
        program.write(TestProgramBytes(OwnVersion, "old"));
        program.close();
        QVERIFY(program.setPermissions(program.permissions() | QFile::ExeOwner));
        FNewProgram = TestProgramBytes(NewVersion, "new");
        ServeVersion(NewVersion);
        FServer->Serve(UpdateCrcPath, TestCrcText(FNewProgram));
        FServer->Serve(UpdateProgramPath, FNewProgram);
    }

    void startupCheckFindsNothingNewer()
    {
        ServeVersion(OwnVersion);
        TScriptedPrompter prompter;
        auto window = StartedWindow(prompter, Settings());
        QToolButton* button = Widget<QToolButton>(*window, "SpeedButtonUpdate");
        QCOMPARE(ButtonPicture(*window), 0);
        QCOMPARE(button->toolTip(), Hint(HintIdle));
        QVERIFY(button->isEnabled());
        QVERIFY(prompter.Messages.isEmpty());

        THintRecorder hints(button);
        button->click();
        QVERIFY(!button->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(prompter.Messages, QStringList { UpdateCurrentText() }, 10000);
        QCOMPARE(hints.Hints, (QStringList { Hint(HintChecking), Hint(HintIdle) }));
        QCOMPARE(ButtonPicture(*window), 0);
        QVERIFY(button->isEnabled());
        QVERIFY(prompter.Questions.isEmpty());
    }

    void startupCheckFindsNewer()
    {
        TScriptedPrompter prompter;
        auto window = StartedWindow(prompter, Settings());
        QCOMPARE(ButtonPicture(*window), 1);
        QCOMPARE(Widget<QToolButton>(*window, "SpeedButtonUpdate")->toolTip(), Hint(HintAvailable));
        QVERIFY(Widget<QToolButton>(*window, "SpeedButtonUpdate")->isEnabled());
        QVERIFY(prompter.Messages.isEmpty());
        QVERIFY(prompter.Questions.isEmpty());
    }

    // The hints follow the progress: the CRC file reports 100, then the
    // program file 0, 37 and 100; the operator answers No.
    void downloadAnsweredNo()
    {
        FNewProgram = FNewProgram.leftJustified(1000, '#');
        FServer->Serve(UpdateCrcPath, TestCrcText(FNewProgram));
        FServer->Serve(UpdateProgramPath, FNewProgram, TServe::Paced, { 4, 370, 1000 });
        TScriptedPrompter prompter;
        prompter.Confirmations = { false };
        auto window = StartedWindow(prompter, Settings());
        QToolButton* button = Widget<QToolButton>(*window, "SpeedButtonUpdate");
        THintRecorder hints(button);
        button->click();
        QTRY_COMPARE_WITH_TIMEOUT(prompter.Questions.size(), 1, 10000);
        QCOMPARE(prompter.Questions.first(),
            QString::fromUtf8("1.2.3.5 sürümü indirildi. Uygulama kapanıp güncellensin mi?"));
        QCOMPARE(hints.Hints,
            (QStringList { Hint(HintChecking), Hint("GÜNCELLEME İNDİRİLİYOR %100"), Hint("GÜNCELLEME İNDİRİLİYOR %0"),
                Hint("GÜNCELLEME İNDİRİLİYOR %37"), Hint("GÜNCELLEME İNDİRİLİYOR %100"), Hint(HintAvailable) }));
        QCOMPARE(ButtonPicture(*window), 1);
        QVERIFY(button->isEnabled());
        QVERIFY(window->isVisible());
        QVERIFY(prompter.Messages.isEmpty());
        QVERIFY(!QFile::exists(FProgramDir->filePath(UpdaterScriptName)));
    }

    // On Yes the script starts and the window closes, its layout saved; the
    // script puts the update in place once the program has exited.
    void downloadAnsweredYes()
    {
        QProcess running; // stands for this program, which the test keeps running
        running.start("sleep", { "30" });
        QVERIFY(running.waitForStarted());
        TUpdateSettings settings = Settings();
        settings.ProcessId = running.processId();
        TScriptedPrompter prompter;
        prompter.Confirmations = { true };
        QFile::remove(FDir.filePath("quillex_settings.ini"));
        auto window = StartedWindow(prompter, settings);
        Widget<QToolButton>(*window, "SpeedButtonUpdate")->click();
        QTRY_VERIFY_WITH_TIMEOUT(!window->isVisible(), 10000);
        QCOMPARE(prompter.Questions.size(), 1);
        QVERIFY(QFile::exists(FProgramDir->filePath(UpdaterScriptName)));
        QVERIFY(QSettings(FDir.filePath("quillex_settings.ini"), QSettings::IniFormat).contains("MainForm/Width"));
        QVERIFY(!window->StatusListener());

        running.kill();
        QVERIFY(running.waitForFinished(5000));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(FProgramDir->filePath("started")), 10000);
        QCOMPARE(GetFileVersionNumber(settings.ProgramFile), VersionNumber(NewVersion));
    }

    void failures_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("message");
        QTest::newRow("server unreachable") << "unreachable" << UpdateUnreachableText();
        QTest::newRow("wrong crc") << "crc" << UpdateCrcFailedText();
        QTest::newRow("built for a package manager") << "package" << UpdateByPackageManagerText();
        QTest::newRow("checking turned off") << "off" << UpdateCheckDisabledText();
        QTest::newRow("a downgrade") << "older" << UpdateVersionMismatchText();
    }
    void failures()
    {
        QFETCH(QString, fault);
        QFETCH(QString, message);
        TScriptedPrompter prompter;
        // A server of its own, gone after the start-up check when it is to be unreachable.
        auto server = std::make_unique<TUpdateTestServer>(FPki->Path("server.pem"), FPki->Path("server.key"));
        server->Serve(UpdateVersionPath, QByteArray::number(VersionNumber(NewVersion)));
        server->Serve(UpdateCrcPath, fault == "crc" ? QByteArray("0BADC0DE") : TestCrcText(FNewProgram));
        const QByteArray older = TestProgramBytes({ 0, 9, 0, 0 }, "older");
        server->Serve(UpdateProgramPath, fault == "older" ? older : FNewProgram);
        if (fault == "older")
            server->Serve(UpdateCrcPath, TestCrcText(older));
        TUpdateSettings settings = Settings();
        settings.BaseUrl = server->BaseUrl();
        settings.SelfUpdate = fault != "package";
        settings.Check = fault != "off";
        auto window = StartedWindow(prompter, settings);
        // The start-up check found the newer version, where the installation
        // checks at all and can install it; elsewhere it asked nothing.
        const bool checks = fault != "package" && fault != "off";
        QCOMPARE(ButtonPicture(*window), checks ? 1 : 0);
        QCOMPARE(server->Requests(UpdateVersionPath), checks ? 1 : 0);
        if (fault == "unreachable")
            server.reset();

        FServer->Serve(UpdateCrcPath, "0BADC0DE");
        Widget<QToolButton>(*window, "SpeedButtonUpdate")->click();
        QTRY_COMPARE_WITH_TIMEOUT(prompter.Messages, QStringList { message }, 10000);
        QCOMPARE(ButtonPicture(*window), 0);
        QCOMPARE(Widget<QToolButton>(*window, "SpeedButtonUpdate")->toolTip(), Hint(HintIdle));
        QVERIFY(Widget<QToolButton>(*window, "SpeedButtonUpdate")->isEnabled());
        QVERIFY(prompter.Questions.isEmpty());
        QVERIFY(!QFile::exists(FProgramDir->filePath(UpdateFileName)));
    }

    // "Evet" with a script that cannot be written: the reason is shown and the
    // program stays as it is.
    void launchFailureIsShown()
    {
        TScriptedPrompter prompter;
        prompter.Confirmations = { true };
        auto window = StartedWindow(prompter, Settings());
        const QString script = FProgramDir->filePath(UpdaterScriptName);
        QVERIFY(QDir().mkpath(script + "/inside")); // no file can take its place
        Widget<QToolButton>(*window, "SpeedButtonUpdate")->click();
        QTRY_COMPARE_WITH_TIMEOUT(prompter.Messages.size(), 1, 10000);
        QVERIFY2(prompter.Messages.first().startsWith(UpdateLaunchFailedText(script + ": ")),
            qPrintable(prompter.Messages.first()));
        QCOMPARE(prompter.Questions.size(), 1);
        QVERIFY(window->isVisible());
        QCOMPARE(GetFileVersionNumber(FProgramDir->filePath("quillex")), VersionNumber(OwnVersion));
        QCOMPARE(ButtonPicture(*window), 1); // the download is there, not installed
    }

    void windowClosedDuringDownload()
    {
        FServer->Serve(UpdateProgramPath, FNewProgram, TServe::Stall);
        TScriptedPrompter prompter;
        auto window = StartedWindow(prompter, Settings());
        const int asked = FServer->Requests(UpdateProgramPath);
        Widget<QToolButton>(*window, "SpeedButtonUpdate")->click();
        QTRY_VERIFY_WITH_TIMEOUT(FServer->Requests(UpdateProgramPath) > asked, 10000);
        window->close();
        window.reset();
        QTRY_COMPARE_WITH_TIMEOUT(RunningUpdateWorkers(), 0, 10000);
        QTest::qWait(100);
        QVERIFY(prompter.Messages.isEmpty());
        QVERIFY(prompter.Questions.isEmpty());
        QVERIFY(!QFile::exists(FProgramDir->filePath(UpdateFileName)));
    }
};

QTEST_MAIN(TestMainFormUpdate)
#include "tst_mainformupdate.moc"
