// One window per user: a second start brings the first to the front, hands
// it the file named on its command line and exits 0 without touching the
// settings file; starts at the same moment end with one window; --help and
// --version answer without a display and without asking the running window;
// the runtime folder and the lock are the user's own, and a second start with
// something that is no file says so and fails.
#include "app/SingleInstance.h"
#include "app/StartupOptions.h"
#include "update/UnitAutoUpdate.h"

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

class TestSingleInstance : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<QTemporaryDir> FDir;

    QString Path(const QString& name) const { return FDir->filePath(name); }

    QProcessEnvironment Environment(const QString& settingsName) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("QUILLEX_NO_KEYCHAIN", "1");
        env.insert("XDG_CONFIG_HOME", FDir->path());
        env.insert("XDG_RUNTIME_DIR", FDir->path()); // lock and socket live here
        env.insert("QUILLEX_SETTINGS", Path(settingsName));
        return env;
    }

    std::unique_ptr<QProcess> Start(const QStringList& args, const QString& settingsName)
    {
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(Environment(settingsName));
        process->setWorkingDirectory(FDir->path());
        process->start(QUILLEX_APP, args);
        return process;
    }

    // The first window, running and listening.
    std::unique_ptr<QProcess> StartFirst(const QStringList& args = {})
    {
        auto first = Start(args, "first.ini");
        if (!first->waitForStarted())
            return nullptr;
        for (int waited = 0; !QFile::exists(Path("quillex.socket")); waited += 50) {
            if (waited > 10000 || first->state() != QProcess::Running)
                return nullptr;
            QTest::qWait(50);
        }
        return first;
    }

    // waitForFinished() is false for a process whose end the event loop already saw.
    static bool Finished(QProcess& process, int timeoutMs = 15000)
    {
        return process.state() == QProcess::NotRunning || process.waitForFinished(timeoutMs);
    }

    static void Stop(QProcess& process)
    {
        process.terminate();
        if (!process.waitForFinished(5000))
            process.kill();
    }

    QString LastOpenDir() const
    {
        return QSettings(Path("first.ini"), QSettings::IniFormat).value("MainForm/LastOpenDir").toString();
    }

    QString WriteProgram(const QString& folder)
    {
        QDir(FDir->path()).mkpath(folder);
        QFile file(Path(folder + "/prog.nc"));
        file.open(QIODevice::WriteOnly);
        file.write("%\nO1000\nG0 X1 Y2\nM30\n%\n");
        return file.fileName();
    }

private slots:
    void init() { FDir = std::make_unique<QTemporaryDir>(); }

    void secondStartExitsQuietly()
    {
        auto first = StartFirst();
        QVERIFY(first);
        auto second = Start({}, "second.ini");
        QVERIFY(Finished(*second));
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 0);
        QVERIFY(!QFile::exists(Path("second.ini")));
        QCOMPARE(first->state(), QProcess::Running);
        Stop(*first);
    }

    // The file named on the command line is opened as the Open command does
    // (the setting of the last folder shows it).
    void firstStartOpensItsFile()
    {
        WriteProgram("a");
        auto first = StartFirst({ "a/prog.nc" });
        QVERIFY(first);
        QTRY_COMPARE_WITH_TIMEOUT(LastOpenDir(), Path("a"), 10000);
        Stop(*first);
    }

    // A second start's file (a relative name) reaches the running window.
    void secondStartHandsItsFileToTheWindow()
    {
        WriteProgram("b");
        auto first = StartFirst();
        QVERIFY(first);
        auto second = Start({ "b/prog.nc" }, "second.ini");
        QVERIFY(Finished(*second));
        QCOMPARE(second->exitCode(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(LastOpenDir(), Path("b"), 10000);
        QVERIFY(!QFile::exists(Path("second.ini")));
        QCOMPARE(first->state(), QProcess::Running);
        Stop(*first);
    }

    void startsAtTheSameMomentGiveOneWindow()
    {
        std::vector<std::unique_ptr<QProcess>> starts;
        for (int i = 0; i < 4; ++i)
            starts.push_back(Start({}, QString("start%1.ini").arg(i)));
        const auto finished = [&] {
            int count = 0;
            for (const auto& p : starts)
                count += p->state() == QProcess::NotRunning;
            return count;
        };
        QTRY_COMPARE_WITH_TIMEOUT(finished(), 3, 30000);
        QTest::qWait(500);
        QCOMPARE(finished(), 3);
        for (const auto& p : starts) {
            if (p->state() == QProcess::NotRunning) {
                QCOMPARE(p->exitStatus(), QProcess::NormalExit);
                QCOMPARE(p->exitCode(), 0);
            } else {
                Stop(*p);
            }
        }
    }

    // Here the running instance is this test: it sees every request.
    void handOverReachesTheRunningInstance()
    {
        TSingleInstance owner(FDir->path());
        QVERIFY(owner.Claim());
        QSignalSpy activated(&owner, &TSingleInstance::Activated);
        const QString program = WriteProgram("c");

        QProcessEnvironment env = Environment("second.ini");
        env.insert("QT_QPA_PLATFORM", "no-such-platform"); // a window would fail to start
        env.remove("DISPLAY");
        QProcess version;
        version.setProcessEnvironment(env);
        version.start(QUILLEX_APP, { "--version" });
        QVERIFY(Finished(version));
        QCOMPARE(version.exitCode(), 0);
        // The version, and how this build treats its updates (signed or CRC only).
        const QString updates = UpdateBuildDescription().isEmpty() ? QString() : "\n" + UpdateBuildDescription();
        QCOMPARE(QString::fromUtf8(version.readAllStandardOutput().trimmed()), "quillex " QUILLEX_VERSION + updates);

        QProcess help;
        help.setProcessEnvironment(env);
        help.start(QUILLEX_APP, { "--help" });
        QVERIFY(Finished(help));
        QCOMPARE(help.exitCode(), 0);
        QVERIFY(help.readAllStandardOutput().contains("[FILE...]"));
        QTest::qWait(300);
        QCOMPARE(activated.count(), 0);

        auto second = Start({ "c/prog.nc" }, "second.ini");
        QVERIFY(second->waitForStarted());
        QTRY_COMPARE_WITH_TIMEOUT(activated.count(), 1, 10000);
        QCOMPARE(activated.at(0).at(0).toStringList(), QStringList { program });
        QVERIFY(Finished(*second));
        QCOMPARE(second->exitCode(), 0);

        auto plain = Start({}, "second.ini");
        QTRY_COMPARE_WITH_TIMEOUT(activated.count(), 2, 10000);
        QCOMPARE(activated.at(1).at(0).toStringList(), QStringList());
        QVERIFY(Finished(*plain));
        QCOMPARE(plain->exitCode(), 0);
    }

    // Without a runtime folder: a private folder of the user's own under the
    // temporary folder, else in the home folder; never one another user made.
    void runtimeFolderFallback_data()
    {
        QTest::addColumn<QString>("planted"); // what lies at the temporary folder's name beforehand
        QTest::addColumn<bool>("temporaryUsed");
        QTest::newRow("nothing: made 0700") << "" << true;
        QTest::newRow("the user's private folder") << "0700" << true;
        QTest::newRow("readable by others") << "0755" << false;
        QTest::newRow("world-writable, sticky") << "1777" << false;
        QTest::newRow("another user's folder") << "foreign" << false;
        QTest::newRow("a link to a private folder") << "link" << false;
        QTest::newRow("a file") << "file" << false;
    }
    void runtimeFolderFallback()
    {
        QFETCH(QString, planted);
        QFETCH(bool, temporaryUsed);
        const QString temporary = Path("tmp");
        const QString home = Path("home");
        QVERIFY(QDir().mkpath(temporary) && QDir().mkpath(home) && QDir().mkpath(Path("elsewhere")));
        const QString name = QString("quillex-%1").arg(::getuid());
        const QByteArray target = QFile::encodeName(temporary + "/" + name);
        if (planted == "file") {
            QFile file(temporary + "/" + name);
            QVERIFY(file.open(QIODevice::WriteOnly));
        } else if (planted == "link") {
            QCOMPARE(::chmod(QFile::encodeName(Path("elsewhere")).constData(), 0700), 0);
            QVERIFY(QFile::link(Path("elsewhere"), temporary + "/" + name));
        } else if (!planted.isEmpty()) {
            QCOMPARE(::mkdir(target.constData(), 0700), 0);
            QCOMPARE(::chmod(target.constData(), planted == "foreign" ? 0700 : mode_t(planted.toInt(nullptr, 8))), 0);
            if (planted == "foreign") {
                // Root stands in another user as owner; anyone else finds it not theirs by its mode.
                if (::getuid() == 0)
                    QCOMPARE(::chown(target.constData(), 65534, 65534), 0);
                else
                    QCOMPARE(::chmod(target.constData(), 0777), 0);
            }
        }
        const QString folder = InstanceRuntimeFolderFor({}, temporary, home);
        QCOMPARE(folder, temporaryUsed ? temporary + "/" + name : home + "/." + name);
        QVERIFY(IsPrivateFolder(folder));
        QCOMPARE(InstanceRuntimeFolderFor(Path("run"), temporary, home), Path("run"));
    }

    // A lock of another user is no running window of this user: nothing is
    // handed to the socket beside it, and this start runs on its own.
    void foreignLockIsNoInstance()
    {
        QFile lock(Path("quillex.lock"));
        QVERIFY(lock.open(QIODevice::WriteOnly));
        // A living process: the lock is not stale.
        lock.write(QByteArray::number(QCoreApplication::applicationPid()) + "\nquillex\n"
            + QSysInfo::machineHostName().toUtf8() + "\n");
        lock.close();
        const QByteArray lockName = QFile::encodeName(Path("quillex.lock"));
        if (::getuid() == 0)
            QCOMPARE(::chown(lockName.constData(), 65534, 65534), 0);
        else
            QCOMPARE(::chmod(lockName.constData(), 0), 0);
        QLocalServer other; // the other user's window
        QVERIFY(other.listen(Path("quillex.socket")));

        TSingleInstance start(FDir->path());
        QVERIFY(start.Claim());
        QVERIFY(!other.waitForNewConnection(300));
    }

    // What is no regular file is named as such, and a second start with it fails.
    void secondStartWithNoFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("problem");
        QTest::newRow("missing") << "missing.nc"
                                 << "no such file";
        QTest::newRow("folder") << "folder"
                                << "a folder, not a file";
        QTest::newRow("FIFO") << "fifo"
                              << "not a regular file (a FIFO, a device or a socket)";
        QTest::newRow("device") << "/dev/zero"
                                << "not a regular file (a FIFO, a device or a socket)";
    }
    void secondStartWithNoFile()
    {
        QFETCH(QString, name);
        QFETCH(QString, problem);
        QVERIFY(QDir().mkpath(Path("folder")));
        QCOMPARE(::mkfifo(QFile::encodeName(Path("fifo")).constData(), 0600), 0);
        QCOMPARE(FileToOpenProblem(name.startsWith('/') ? name : Path(name)), problem);

        auto first = StartFirst();
        QVERIFY(first);
        auto second = Start({ name }, "second.ini");
        QVERIFY(Finished(*second));
        QCOMPARE(second->exitCode(), 1);
        const QString said = QString::fromLocal8Bit(second->readAllStandardError());
        QVERIFY2(said.contains(QString("quillex: %1: %2\n").arg(name, problem)), qPrintable(said));
        QCOMPARE(first->state(), QProcess::Running);
        Stop(*first);
    }

    // A lock and a socket left by a window that died do not keep the next one out.
    void leftoversOfACrashedWindowAreTakenOver()
    {
        QProcess gone;
        gone.start("true", {});
        QVERIFY(gone.waitForStarted());
        const qint64 deadPid = gone.processId();
        QVERIFY(Finished(gone));
        QFile lock(Path("quillex.lock"));
        QVERIFY(lock.open(QIODevice::WriteOnly));
        lock.write(QByteArray::number(deadPid) + "\nquillex\n" + QSysInfo::machineHostName().toUtf8() + "\n");
        lock.close();
        QFile socket(Path("quillex.socket"));
        QVERIFY(socket.open(QIODevice::WriteOnly));
        socket.close();

        auto first = Start({}, "first.ini");
        QVERIFY(first->waitForStarted());
        const auto listening = [&] {
            QLocalSocket probe;
            probe.connectToServer(Path("quillex.socket"));
            return probe.waitForConnected(100);
        };
        QTRY_VERIFY_WITH_TIMEOUT(listening(), 10000);
        TSingleInstance later(FDir->path());
        QVERIFY(!later.Claim());
        QVERIFY(later.HandOver({}));
        QCOMPARE(first->state(), QProcess::Running);
        Stop(*first);
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
