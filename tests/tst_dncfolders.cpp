// The folder service's parts that need no device: folder names, file names,
// moving without replacing, the settings group, and close-write watching.
#include "dnc/CloseWriteWatcher.h"
#include "dnc/DncFolders.h"
#include "dnc/DncSettings.h"

#include "content/TextDocument.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

class TestDncFolders : public QObject {
    Q_OBJECT
private slots:
    void deviceFolderName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("folder");
        QTest::newRow("plain") << "Torna 1"
                               << "Torna 1";
        QTest::newRow("Turkish letters kept") << QString::fromUtf8("Dik İşlem Ğ") << QString::fromUtf8("Dik İşlem Ğ");
        QTest::newRow("slash") << "Freze/2"
                               << "Freze_2";
        QTest::newRow("backslash") << "a\\b"
                                   << "a_b";
        QTest::newRow("control characters") << "A\tB\nC"
                                            << "A_B_C";
        QTest::newRow("dot dot") << ".."
                                 << "_.";
        QTest::newRow("hidden") << ".gizli"
                                << "_gizli";
        QTest::newRow("empty: the MacId") << "  "
                                          << "02:51:58:00:00:02";
        QTest::newRow("long") << QString(300, u'x') << QString(100, u'x');
    }
    void deviceFolderName()
    {
        QFETCH(QString, name);
        QFETCH(QString, folder);
        QCOMPARE(DeviceFolderName(name, "02:51:58:00:00:02"), folder);
    }

    void programFileNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("taken");
        QTest::newRow("program") << "O1000.nc" << true;
        QTest::newRow("no extension") << "O1000" << true;
        QTest::newRow("hidden") << ".O1000.nc" << false;
        QTest::newRow("editor backup") << "O1000.nc~" << false;
        QTest::newRow("swap") << "O1000.nc.swp" << false;
        QTest::newRow("partial copy") << "O1000.nc.part" << false;
        QTest::newRow("temporary") << "O1000.TMP" << false;
    }
    void programFileNames()
    {
        QFETCH(QString, name);
        QFETCH(bool, taken);
        QCOMPARE(IsProgramFileName(name), taken);
    }

    void stampsAndSendingNames()
    {
        const QDateTime at(QDate(2026, 12, 11), QTime(9, 15, 2));
        QCOMPARE(StampedFileName("O1000.nc", at), QString("O1000_20261211-091502.nc"));
        QCOMPARE(StampedFileName("O1000", at), QString("O1000_20261211-091502"));
        QCOMPARE(StampedFileName(".nc", at), QString(".nc_20261211-091502"));
        const QString uid = QUuid::createUuid().toString(QUuid::WithoutBraces);
        QString parsedUid, name;
        QVERIFY(ParseSendingFileName(SendingFileName(uid, "O 1_x.nc"), parsedUid, name));
        QCOMPARE(parsedUid, uid);
        QCOMPARE(name, QString("O 1_x.nc"));
        QVERIFY(!ParseSendingFileName("O1000.nc", parsedUid, name));
        QVERIFY(!ParseSendingFileName(QString(36, u'x') + "_O1.nc", parsedUid, name));
    }

    // A taken name is never replaced: the file goes in as NAME-2, NAME-3, ...
    void moveNeverReplaces()
    {
        QTemporaryDir dir;
        const QString target = dir.filePath("sent");
        QStringList moved;
        for (const QByteArray& bytes : { QByteArray("one"), QByteArray("two"), QByteArray("three") }) {
            const QString source = dir.filePath("O1.nc");
            QFile file(source);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
            file.close();
            QString error;
            const QString path = MoveFileInto(source, target, "O1.nc", error);
            QVERIFY2(!path.isEmpty(), qPrintable(error));
            QVERIFY(!QFile::exists(source));
            moved << QFileInfo(path).fileName();
        }
        QCOMPARE(moved, QStringList({ "O1.nc", "O1-2.nc", "O1-3.nc" }));
        QFile first(dir.filePath("sent/O1.nc"));
        QVERIFY(first.open(QIODevice::ReadOnly));
        QCOMPARE(first.readAll(), QByteArray("one"));
        QString error;
        QVERIFY(MoveFileInto(dir.filePath("missing"), target, "x", error).isEmpty());
        QVERIFY(!error.isEmpty());
    }

    void settingsGroup()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("quillex_settings.ini");
        {
            QSettings settings(path, QSettings::IniFormat);
            settings.setValue("Dnc/Root", " /srv/cnc ");
            settings.setValue("Dnc/Devices", QStringList { "Torna 1", " 02:51:58:00:00:07 " });
            settings.setValue("Dnc/StableSeconds", "0.5");
            settings.setValue("Dnc/RetryMaxSeconds", "abc");
            settings.setValue("MainForm/VerifyAfterUpload", 0);
        }
        const TDncSettings read = ReadDncSettings(path);
        QCOMPARE(read.Root, QString("/srv/cnc"));
        QCOMPARE(read.Devices, QStringList({ "Torna 1", "02:51:58:00:00:07" }));
        QCOMPARE(read.StableMs, 500);
        QCOMPARE(read.RetryMaxMs, TDncSettings().RetryMaxMs); // not a number: the default
        QVERIFY(!read.Verify);
        QVERIFY(DncServesDevice(read, "Torna 1", "02:51:58:00:00:01"));
        QVERIFY(DncServesDevice(read, "Freze 7", "02:51:58:00:00:07"));
        QVERIFY(!DncServesDevice(read, "Freze 8", "02:51:58:00:00:08"));
        QVERIFY(DncServesDevice(TDncSettings(), "Freze 8", {}));

        const TDncSettings defaults = ReadDncSettings(dir.filePath("none.ini"));
        QVERIFY(defaults.Root.isEmpty());
        QCOMPARE(defaults.StableMs, 2000);
        QVERIFY(defaults.Verify);
    }

    // Reported when created, closed after writing, moved in or linked in whole.
    void closeWriteOnly()
    {
        QTemporaryDir dir;
        TCloseWriteWatcher watcher;
        QVERIFY2(watcher.Error().isEmpty(), qPrintable(watcher.Error()));
        QString error;
        QVERIFY2(watcher.Watch(dir.path(), error), qPrintable(error));
        QSignalSpy ready(&watcher, &TCloseWriteWatcher::FileReady);
        {
            QFile file(dir.filePath("O1.nc"));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("G0 X1\n");
            file.flush();
            // Its creation is told, but its writer is still there.
            QTRY_COMPARE(ready.size(), 1);
            QCOMPARE(ready[0], QVariantList({ dir.path(), "O1.nc" }));
            QVERIFY(FileOpenForWriting(file.fileName()));
        }
        QTRY_COMPARE(ready.size(), 2); // closed after writing
        QCOMPARE(ready[1], QVariantList({ dir.path(), "O1.nc" }));
        QVERIFY(!FileOpenForWriting(dir.filePath("O1.nc")));

        QTemporaryDir other;
        QFile outside(other.filePath("O2.nc"));
        QVERIFY(outside.open(QIODevice::WriteOnly));
        outside.close();
        QTest::qWait(100);
        ready.clear();
        QVERIFY(QFile::rename(other.filePath("O2.nc"), dir.filePath("O2.nc")));
        QTRY_COMPARE(ready.size(), 1);
        QCOMPARE(ready[0][1].toString(), QString("O2.nc"));
        QVERIFY(QDir(dir.path()).mkdir("sub"));
        QTest::qWait(100);
        QCOMPARE(ready.size(), 1); // folders are not files

        // QSaveFile writes a nameless file and links it in whole: no close-write in the folder.
        ready.clear();
        QString error2;
        QVERIFY(WriteWholeFile(dir.filePath("O3.nc"), "G0 X3\n", error2));
        const auto told = [&] {
            for (const QVariantList& event : ready)
                if (event[1].toString() == "O3.nc")
                    return true;
            return false;
        };
        QTRY_VERIFY(told());
    }

    // Whether a writer still holds the file: the lease the service asks for.
    void openForWriting()
    {
        QTemporaryDir dir;
        QFile file(dir.filePath("O1.nc"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("G0 X1\n");
        file.flush();
        QVERIFY(FileOpenForWriting(file.fileName()));
        file.close();
        QVERIFY(!FileOpenForWriting(file.fileName()));
        QVERIFY(!FileOpenForWriting(dir.filePath("missing")));
    }
};

QTEST_GUILESS_MAIN(TestDncFolders)
#include "tst_dncfolders.moc"
