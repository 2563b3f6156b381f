// The device settings dialog's decisions without its widgets: which
// configuration commands the operator's changes give, and what is refused.
#include "device/DeviceSettings.h"

#include <QTest>

class TestDeviceSettings : public QObject {
    Q_OBJECT
private slots:
    void settingsCommands_data()
    {
        QTest::addColumn<QString>("originalController"); // as the device reported it
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("controller");
        QTest::addColumn<QString>("baud");
        QTest::addColumn<QString>("xoff");
        QTest::addColumn<int>("parity");
        QTest::addColumn<bool>("xonxoffEnabled");
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<QString>("error");
        const QString nameError
            = QString::fromUtf8("Cihaz adı sadece harf, rakam, boşluk, tire (-) ve alt çizgi (_) içerebilir.");
        const QString xoffError = QString::fromUtf8("XOFF Timeout sayısal olmalı (0-65535 arası).");
        QTest::newRow("nothing changed") << "FANUC"
                                         << "Torna 1"
                                         << "FANUC"
                                         << "9600"
                                         << "30" << 0 << true << QStringList {} << "";
        QTest::newRow("parity only") << "FANUC"
                                     << "Torna 1"
                                     << "FANUC"
                                     << "9600"
                                     << "30" << 1 << true << QStringList { "PARITYE" } << "";
        QTest::newRow("name and baud") << "FANUC"
                                       << "Torna 3"
                                       << "FANUC"
                                       << "19200"
                                       << "30" << 0 << true << QStringList { "NAME&Torna 3", "BR19200" } << "";
        QTest::newRow("Turkish letter in name") << "FANUC" << QString::fromUtf8("Torna Ş") << "FANUC"
                                                << "19200"
                                                << "30" << 0 << true << QStringList {} << nameError;
        QTest::newRow("blank name") << "FANUC"
                                    << "   "
                                    << "FANUC"
                                    << "9600"
                                    << "30" << 0 << true << QStringList {} << "";
        QTest::newRow("xoff with blanks") << "FANUC"
                                          << "Torna 1"
                                          << "FANUC"
                                          << "9600"
                                          << " 045 " << 0 << true << QStringList { "XOFFTO045" } << "";
        QTest::newRow("xoff 65536") << "FANUC"
                                    << "Torna 1"
                                    << "FANUC"
                                    << "9600"
                                    << "65536" << 0 << true << QStringList {} << xoffError;
        QTest::newRow("xoff -1") << "FANUC"
                                 << "Torna 1"
                                 << "FANUC"
                                 << "9600"
                                 << "-1" << 0 << true << QStringList {} << xoffError;
        QTest::newRow("xoff abc") << "FANUC"
                                  << "Torna 1"
                                  << "FANUC"
                                  << "9600"
                                  << "abc" << 0 << true << QStringList {} << xoffError;
        QTest::newRow("xoff empty") << "FANUC"
                                    << "Torna 1"
                                    << "FANUC"
                                    << "9600"
                                    << "" << 0 << true << QStringList {} << "";
        QTest::newRow("controller case") << "fanuc"
                                         << "Torna 1"
                                         << "FANUC"
                                         << "9600"
                                         << "30" << 0 << true << QStringList { "CONTROLLER&FANUC" } << "";
        QTest::newRow("xonxoff disabled") << "FANUC"
                                          << "Torna 1"
                                          << "FANUC"
                                          << "9600"
                                          << "30" << 0 << false << QStringList {} << "";
    }
    void settingsCommands()
    {
        QFETCH(QString, originalController);
        QFETCH(QString, name);
        QFETCH(QString, controller);
        QFETCH(QString, baud);
        QFETCH(QString, xoff);
        QFETCH(int, parity);
        QFETCH(bool, xonxoffEnabled);
        QFETCH(QStringList, commands);
        QFETCH(QString, error);
        TDeviceSettingsOriginal original { "Torna 1", originalController, 9600, 30, 1, 8, u'N', 1 };
        if (!xonxoffEnabled)
            original.XonXoff = -1;
        const TDeviceSettingsEntries entries { name, true, controller, baud, xoff, xonxoffEnabled, true, "8", parity,
            "1" };
        QStringList got;
        QString message;
        QCOMPARE(BuildSettingsCommands(original, entries, got, message), error.isEmpty());
        QCOMPARE(got, commands);
        QCOMPARE(message, error);
    }

    void allChangesInOrder()
    {
        const TDeviceSettingsOriginal original;
        const TDeviceSettingsEntries entries { "Freze", true, "SIEMENS", "115200", "0", true, false, "7", 2, "2" };
        QStringList commands;
        QString message;
        QVERIFY(BuildSettingsCommands(original, entries, commands, message));
        QCOMPARE(commands,
            QStringList({ "NAME&Freze", "CONTROLLER&SIEMENS", "BR115200", "XOFFTO0", "XONXOFF&0", "DATABITS7",
                "PARITYO", "STOPBITS2" }));
    }
};

QTEST_GUILESS_MAIN(TestDeviceSettings)
#include "tst_devicesettings.moc"
