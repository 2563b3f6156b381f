// The settings file's place and the one accessor every part opens it with.
#include "config/Settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

class TestSettings : public QObject {
    Q_OBJECT
    QTemporaryDir FDir;

private slots:
    void init()
    {
        qunsetenv("QUILLEX_SETTINGS");
        qunsetenv("XDG_CONFIG_HOME");
        qunsetenv("XDG_CONFIG_DIRS");
    }

    void userConfigFolder()
    {
        qputenv("XDG_CONFIG_HOME", FDir.path().toLocal8Bit());
        QCOMPARE(UserConfigFolder(), FDir.path() + "/quillex");
        qunsetenv("XDG_CONFIG_HOME");
        QCOMPARE(UserConfigFolder(), QDir::homePath() + "/.config/quillex");
    }

    void environmentNamesTheFile()
    {
        const QString file = FDir.filePath("elsewhere.ini");
        qputenv("QUILLEX_SETTINGS", file.toLocal8Bit());
        QCOMPARE(SettingsFilePath(), file);
    }

    void besideTheWritableProgram()
    {
        // The test program's folder is writable, so the file goes beside it.
        QCOMPARE(SettingsFilePath(), QCoreApplication::applicationDirPath() + "/quillex_settings.ini");
    }

    void accessorReadsAndWritesIni()
    {
        const QString file = FDir.filePath("quillex_settings.ini");
        qputenv("QUILLEX_SETTINGS", file.toLocal8Bit());
        OpenSettingsFile().setValue("MainForm/Width", 800);
        QFile ini(file);
        QVERIFY(ini.open(QIODevice::ReadOnly));
        QCOMPARE(ini.readAll(), QByteArray("[MainForm]\nWidth=800\n"));
        QCOMPARE(OpenSettingsFile().value("MainForm/Width").toInt(), 800);
        QCOMPARE(OpenSettingsFile(file).fileName(), file);
    }

    // The shop's file under the XDG configuration folders holds defaults for
    // every user: the user's own value wins, the shop's stands in for a
    // missing one, and the shop's file is only read.
    void systemDefaultsBelowTheUsersFile_data()
    {
        QTest::addColumn<QByteArray>("user");
        QTest::addColumn<QByteArray>("system");
        QTest::addColumn<bool>("verify");
        QTest::addColumn<QString>("days");
        QTest::newRow("neither") << QByteArray() << QByteArray() << true << QString("none");
        QTest::newRow("the shop's") << QByteArray()
                                    << QByteArray("[MainForm]\nVerifyAfterUpload=false\n[History]\nMaxAgeDays=30\n")
                                    << false << QString("30");
        QTest::newRow("the user's over the shop's")
            << QByteArray("[MainForm]\nVerifyAfterUpload=1\n[History]\nMaxAgeDays=7\n")
            << QByteArray("[MainForm]\nVerifyAfterUpload=false\n[History]\nMaxAgeDays=30\n") << true << QString("7");
        QTest::newRow("the user's alone")
            << QByteArray("[MainForm]\nVerifyAfterUpload=0\n") << QByteArray() << false << QString("none");
    }

    void systemDefaultsBelowTheUsersFile()
    {
        QFETCH(QByteArray, user);
        QFETCH(QByteArray, system);
        QFETCH(bool, verify);
        QFETCH(QString, days);
        QTemporaryDir dir;
        const auto write = [](const QString& path, const QByteArray& bytes) {
            QDir().mkpath(QFileInfo(path).path());
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(bytes);
        };
        const QString userFile = dir.filePath("home/quillex_settings.ini");
        const QString systemFile = dir.filePath("xdg2/quillex/quillex_settings.ini");
        write(userFile, user);
        if (!system.isEmpty())
            write(systemFile, system);
        // The first folder holds no file: the next one's counts.
        qputenv("XDG_CONFIG_DIRS", (dir.filePath("xdg1") + ":" + dir.filePath("xdg2")).toLocal8Bit());
        QCOMPARE(SystemSettingsFilePath(), system.isEmpty() ? QString() : systemFile);
        QSettings settings = OpenSettingsFile(userFile);
        QCOMPARE(VerifyAfterUpload(settings), verify);
        QCOMPARE(SettingValue(settings, "History/MaxAgeDays", "none").toString(), days);
        settings.setValue("MainForm/Width", 800);
        settings.sync();
        QFile shop(systemFile);
        QCOMPARE(shop.open(QIODevice::ReadOnly) ? shop.readAll() : QByteArray(), system);
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
