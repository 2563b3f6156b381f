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

    // What the settings dialog opens with, read from the device's status.
    void settingsFromStatus_data()
    {
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("controller");
        QTest::addColumn<QList<int>>("numbers"); // baud, xoff, xonxoff, databits, stopbits
        QTest::addColumn<QString>("parity");

        QTest::newRow("everything") << R"({"name":"Torna 4","controller":"FANUC","baud":19200,"xofftimeout":30,)"
                                       R"("xonxoff":true,"databits":7,"parity":"E","stopbits":2})"
                                    << "Torna 4"
                                    << "FANUC" << QList<int> { 19200, 30, 1, 7, 2 } << "E";
        // Numbers may come as text; XON/XOFF only as true or false.
        QTest::newRow("texts") << R"({"baud":"9600","xofftimeout":"0","xonxoff":"1","databits":"8","parity":"N"})"
                               << "Listed"
                               << "" << QList<int> { 9600, 0, -1, 8, 0 } << "N";
        QTest::newRow("unreported") << R"({"name":"","xonxoff":false})"
                                    << ""
                                    << "" << QList<int> { 0, -1, 0, 0, 0 } << "";
        QTest::newRow("no JSON") << "name=Torna"
                                 << "Listed"
                                 << "" << QList<int> { 0, -1, -1, 0, 0 } << "";
    }

    void settingsFromStatus()
    {
        QFETCH(QString, status);
        QFETCH(QString, name);
        QFETCH(QString, controller);
        QFETCH(QList<int>, numbers);
        QFETCH(QString, parity);
        const TDeviceSettingsOriginal s = DeviceSettingsFromStatus(status, "Listed");
        QCOMPARE(s.Name, name);
        QCOMPARE(s.Controller, controller);
        QCOMPARE((QList<int> { s.Baud, s.XoffTimeout, s.XonXoff, s.DataBits, s.StopBits }), numbers);
        QCOMPARE(s.Parity.isNull() ? QString() : QString(s.Parity), parity);
    }
};

QTEST_GUILESS_MAIN(TestDeviceSettings)
#include "tst_devicesettings.moc"
