// The self-update from end to end: a copy of the built window program, in a
// folder whose name has a blank and a quote, downloads the newer build (the
// same program with a higher version marker) from a local HTTPS server,
// waits in the updater script for the running program to exit, is replaced
// and started again, and the new start removes the update files.
#include "UpdateTestServer.h"

#include "update/UnitAutoUpdate.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString Output(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(10000);
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
}

} // namespace

class TestUpdateEndToEnd : public QObject {
    Q_OBJECT
    QTemporaryDir FDir;

private slots:
    void initTestCase()
    {
        // The programs started here and by the updater script keep to this folder.
        qputenv("XDG_RUNTIME_DIR", FDir.path().toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", FDir.path().toLocal8Bit());
        qputenv("QUILLEX_SETTINGS", FDir.filePath("quillex_settings.ini").toLocal8Bit());
        qputenv("QUILLEX_NO_KEYCHAIN", "1");
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }

    void versionOptions()
    {
        const QString text = VersionText(BuiltVersion());
        // The window's answer also says how the build treats its updates.
        const QString updates = UpdateBuildDescription().isEmpty() ? QString() : "\n" + UpdateBuildDescription();
        QCOMPARE(Output(QUILLEX_APP, { "--version" }), "quillex " + text + updates);
        QCOMPARE(Output(QUILLEX_CLI, { "--version" }), "quillex-cli " + text);
        QCOMPARE(GetFileVersionText(QUILLEX_APP), text);
        QCOMPARE(GetFileVersionText(QUILLEX_CLI), text);
        QVERIFY(GetFileVersionNumber(QUILLEX_NEXT) > GetFileVersionNumber(QUILLEX_APP));
        QCOMPARE(Output(QUILLEX_NEXT, { "--version" }), "quillex " + GetFileVersionText(QUILLEX_NEXT) + updates);
    }

    void programReplacesItself()
    {
        TTestPki pki(FDir.path());
        QVERIFY2(pki.MakeAuthority("ca"), qPrintable(pki.Error()));
        QVERIFY2(pki.MakeServer("server", "ca", "IP:127.0.0.1"), qPrintable(pki.Error()));
        TUpdateTestServer server(pki.Path("server.pem"), pki.Path("server.key"));
        QVERIFY(server.Listening());
        const QByteArray next = ReadFile(QUILLEX_NEXT);
        QVERIFY(!next.isEmpty());
        const QString nextFile = FDir.filePath("next");
        QVERIFY(QFile::copy(QUILLEX_NEXT, nextFile));
        server.Serve(UpdateVersionPath, QByteArray::number(GetFileVersionNumber(nextFile)) + "\n");
        server.Serve(UpdateCrcPath, QByteArray::number(FileCrc32(nextFile), 16).rightJustified(8, '0') + "\n");
        server.Serve(UpdateProgramPath, next);
        qputenv("QUILLEX_UPDATE_URL", server.BaseUrl().toLocal8Bit());
        qputenv("QUILLEX_UPDATE_CA_FILE", pki.Path("ca.pem").toLocal8Bit());

        const QString folder = FDir.filePath("Quillex 'deneme' klasörü");
        QVERIFY(QDir().mkpath(folder));
        const QString program = folder + "/quillex";
        QVERIFY(QFile::copy(QUILLEX_APP, program));
        const QFile::Permissions mode = QFile::permissions(program);
        QVERIFY(mode & QFile::ExeOwner);
        // What an earlier update left behind.
        QVERIFY(QFile(folder + "/" + UpdateFileName).open(QIODevice::WriteOnly));
        QVERIFY(QFile(folder + "/" + UpdaterScriptName).open(QIODevice::WriteOnly));

        // The old version runs; its start removes the leftovers and its
        // start-up check asks the server.
        QProcess running;
        running.start(program, {});
        QVERIFY(running.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(server.Requests(UpdateVersionPath) >= 1, 15000);
        QVERIFY(!QFile::exists(folder + "/" + UpdateFileName));
        QVERIFY(!QFile::exists(folder + "/" + UpdaterScriptName));
        QCOMPARE(running.state(), QProcess::Running);

        // The download as the update button starts it, on behalf of that program.
        TUpdateSettings settings = DefaultUpdateSettings();
        settings.ProgramFile = program;
        settings.ProcessId = running.processId();
        QVERIFY(CheckForNewVersion(settings));
        QCOMPARE(DownloadUpdate(settings, {}), std::make_pair(true, GetFileVersionText(nextFile)));
        qint64 restarted = 0;
        QVERIFY(LaunchUpdaterScript(settings, &restarted));

        // Nothing moves while the old program runs.
        QTest::qWait(2000);
        QCOMPARE(GetFileVersionNumber(program), GetFileVersionNumber(QUILLEX_APP));
        QVERIFY(QFile::exists(folder + "/" + UpdateFileName));

        running.terminate();
        QVERIFY(running.waitForFinished(10000));
        QTRY_COMPARE_WITH_TIMEOUT(GetFileVersionNumber(program), GetFileVersionNumber(nextFile), 15000);
        QCOMPARE(ReadFile(program), next);
        QCOMPARE(QFile::permissions(program), mode);

        // The script became the new program, whose start removed the update files.
        QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(folder + "/" + UpdaterScriptName), 15000);
        QVERIFY(!QFile::exists(folder + "/" + UpdateFileName));
        QVERIFY(TestProcessRunning(restarted));
        QCOMPARE(QFileInfo(QString("/proc/%1/exe").arg(restarted)).symLinkTarget(), program);
        ::kill(pid_t(restarted), SIGTERM);
        QTRY_VERIFY_WITH_TIMEOUT(!TestProcessRunning(restarted), 10000);
    }
};

QTEST_GUILESS_MAIN(TestUpdateEndToEnd)
#include "tst_updateendtoend.moc"
