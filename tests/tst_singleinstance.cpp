// A second start of the window brings the first to the front and exits 0
// without touching the settings file.
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestSingleInstance : public QObject {
    Q_OBJECT
private slots:
    void secondStartExitsQuietly()
    {
        QTemporaryDir dir;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("QUILLEX_NO_KEYCHAIN", "1");
        env.insert("XDG_CONFIG_HOME", dir.path());
        env.insert("XDG_RUNTIME_DIR", dir.path());
        env.insert("QUILLEX_SETTINGS", dir.filePath("first.ini"));
        QProcess first;
        first.setProcessEnvironment(env);
        first.start(QUILLEX_APP, {});
        QVERIFY(first.waitForStarted());
        QTest::qWait(1500);
        QCOMPARE(first.state(), QProcess::Running);

        env.insert("QUILLEX_SETTINGS", dir.filePath("second.ini"));
        QProcess second;
        second.setProcessEnvironment(env);
        second.start(QUILLEX_APP, {});
        QVERIFY(second.waitForFinished(5000));
        QCOMPARE(second.exitCode(), 0);
        QVERIFY(!QFile::exists(dir.filePath("second.ini")));
        QCOMPARE(first.state(), QProcess::Running);

        first.terminate();
        QVERIFY(first.waitForFinished(5000));
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
