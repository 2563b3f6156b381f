// Where the settings file lives: beside a portable copy, in the user's
// configuration folder for an installed program (also for root), or where
// QUILLEX_SETTINGS says.
#include "config/Settings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

class TestSettingsFile : public QObject {
    Q_OBJECT
private:
    QTemporaryDir FDir;
    QString Config() const { return FDir.filePath("config"); }

private slots:
    void init()
    {
        qunsetenv("QUILLEX_SETTINGS");
        qputenv("XDG_CONFIG_HOME", Config().toLocal8Bit());
        QDir(Config()).removeRecursively();
    }

    void portableFolder_data()
    {
        QTest::addColumn<QString>("folder"); // "@" stands for a fresh temporary folder
        QTest::addColumn<bool>("writable");
        QTest::addColumn<bool>("settingsFileThere");
        QTest::addColumn<bool>("portable");
        QTest::newRow("writable folder") << "@" << true << false << true;
        QTest::newRow("read-only folder") << "@" << false << false << false;
        QTest::newRow("read-only folder with a settings file") << "@" << false << true << true;
        QTest::newRow("writable folder with a settings file") << "@" << true << true << true;
        // Root may write everywhere; installed programs still keep no file beside them.
        QTest::newRow("/usr/bin writable (root)") << "/usr/bin" << true << false << false;
        QTest::newRow("/usr/bin") << "/usr/bin" << false << false << false;
        QTest::newRow("/usr/local/bin writable") << "/usr/local/bin" << true << false << false;
        QTest::newRow("/opt/quillex writable") << "/opt/quillex" << true << false << false;
        QTest::newRow("/bin writable") << "/bin" << true << false << false;
        QTest::newRow("/usr itself") << "/usr" << true << false << false;
        QTest::newRow("/usr/bin/ with slash") << "/usr/bin/" << true << false << false;
        QTest::newRow("a name beginning like /usr") << "/usrlocal-copy" << true << false << true;
        QTest::newRow("no folder") << "" << true << false << false;
    }
    void portableFolder()
    {
        QFETCH(QString, folder);
        QFETCH(bool, writable);
        QFETCH(bool, settingsFileThere);
        QFETCH(bool, portable);
        QTemporaryDir copy;
        if (folder == "@")
            folder = copy.path();
        if (settingsFileThere) {
            QFile file(folder + "/quillex_settings.ini");
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        QCOMPARE(IsPortableProgramFolder(folder, writable), portable);
    }

    // A link that leads into /usr is a system folder too.
    void linkIntoSystemFolder()
    {
        const QString link = FDir.filePath("bin-link");
        QVERIFY(QFile::link("/usr/bin", link));
        QVERIFY(IsSystemFolder(link));
        QVERIFY(!IsPortableProgramFolder(link, true));
        QVERIFY(!IsSystemFolder(FDir.path()));
    }

    void portableCopyKeepsTheFileBesideItself()
    {
        QTemporaryDir copy;
        QCOMPARE(SettingsFilePathFor(copy.path()), copy.filePath("quillex_settings.ini"));
        QVERIFY(!QDir(Config()).exists()); // the user's folder is left alone
    }

    // For root /usr/bin is writable: this is the case the rule exists for.
    void installedProgramUsesTheUserConfigFolder()
    {
        const QString expected = Config() + "/quillex/quillex_settings.ini";
        QCOMPARE(SettingsFilePathFor("/usr/bin"), expected);
        QVERIFY(QDir(Config() + "/quillex").exists());
        QCOMPARE(SettingsFilePathFor("/usr/local/bin"), expected);
        if (::geteuid() == 0)
            QVERIFY(::access("/usr/bin", W_OK) == 0); // really the root case
    }

    void withoutXdgConfigHomeTheFileIsUnderHome()
    {
        const QByteArray home = qgetenv("HOME");
        qunsetenv("XDG_CONFIG_HOME");
        qputenv("HOME", FDir.path().toLocal8Bit());
        const QString path = SettingsFilePathFor("/usr/bin");
        qputenv("HOME", home);
        QCOMPARE(path, FDir.path() + "/.config/quillex/quillex_settings.ini");
    }

    void environmentWins()
    {
        const QString named = FDir.filePath("named.ini");
        qputenv("QUILLEX_SETTINGS", named.toLocal8Bit());
        QCOMPARE(SettingsFilePathFor("/usr/bin"), named);
        QTemporaryDir copy;
        QCOMPARE(SettingsFilePathFor(copy.path()), named);
        qunsetenv("QUILLEX_SETTINGS");
    }
};

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "tst_settingsfile.moc"
