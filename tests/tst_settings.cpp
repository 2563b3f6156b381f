// The settings file's place and the one accessor every part opens it with.
#include "config/Settings.h"

#include <QCoreApplication>
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
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
