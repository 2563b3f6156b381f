// The recent-files list: newest first, each file once, at most ten, kept in
// the settings file's "MainForm" section.
#include "config/RecentFiles.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

class TestRecentFiles : public QObject {
    Q_OBJECT
private slots:
    void ordering_data()
    {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QString>("added");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("into an empty list") << QStringList {} << "/p/a.nc" << QStringList { "/p/a.nc" };
        QTest::newRow("newest first") << QStringList { "/p/a.nc" } << "/p/b.nc" << QStringList { "/p/b.nc", "/p/a.nc" };
        QTest::newRow("again moves to the front") << QStringList { "/p/a.nc", "/p/b.nc", "/p/c.nc" } << "/p/b.nc"
                                                  << QStringList { "/p/b.nc", "/p/a.nc", "/p/c.nc" };
        QTest::newRow("same file by another path")
            << QStringList { "/p/a.nc" } << "/p/x/../a.nc" << QStringList { "/p/a.nc" };
        QStringList ten, expected { "/p/new.nc" };
        for (int i = 0; i < 10; ++i)
            ten << QString("/p/%1.nc").arg(i);
        expected += ten.mid(0, 9);
        QTest::newRow("the oldest drops out after ten") << ten << "/p/new.nc" << expected;
        QTest::newRow("blank name ignored") << QStringList { "/p/a.nc" } << "  " << QStringList { "/p/a.nc" };
    }
    void ordering()
    {
        QFETCH(QStringList, before);
        QFETCH(QString, added);
        QFETCH(QStringList, expected);
        QCOMPARE(WithRecentFile(before, added), expected);
    }

    void keptInTheSettingsFile()
    {
        QTemporaryDir dir;
        const QString ini = dir.filePath("quillex_settings.ini");
        {
            QSettings settings(ini, QSettings::IniFormat);
            settings.setValue("MainForm/Left", 7);
            // A hand-edited list: a repeat, a blank and more than ten names.
            QStringList handEdited { "/p/a.nc", "", "/p/a.nc" };
            for (int i = 0; i < 12; ++i)
                handEdited << QString("/p/%1.nc").arg(i);
            settings.setValue("MainForm/RecentFiles", handEdited);
        }
        TRecentFiles recent(ini);
        QCOMPARE(recent.Files().size(), RecentFilesMax);
        QCOMPARE(recent.Files().first(), QString("/p/a.nc"));
        recent.Add("/p/7.nc");
        recent.Remove("/p/a.nc");
        QCOMPARE(recent.Files().mid(0, 3), (QStringList { "/p/7.nc", "/p/0.nc", "/p/1.nc" }));
        QVERIFY(!recent.Files().contains("/p/a.nc"));
        // Another reader of the same file sees the list; other keys stay.
        QSettings settings(ini, QSettings::IniFormat);
        QCOMPARE(settings.value("MainForm/RecentFiles").toStringList(), recent.Files());
        QCOMPARE(settings.value("MainForm/Left").toInt(), 7);
    }

    void namesWithCommasAndSpaces()
    {
        QTemporaryDir dir;
        const QString ini = dir.filePath("quillex_settings.ini");
        TRecentFiles recent(ini);
        recent.Add("/p/a, b.nc");
        QCOMPARE(TRecentFiles(ini).Files(), QStringList { "/p/a, b.nc" }); // a list of one stays one name
        recent.Add("/p/Çark 1.nc");
        QCOMPARE(TRecentFiles(ini).Files(), (QStringList { QString::fromUtf8("/p/Çark 1.nc"), "/p/a, b.nc" }));
    }
};

QTEST_GUILESS_MAIN(TestRecentFiles)
#include "tst_recentfiles.moc"
