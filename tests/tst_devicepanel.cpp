// The device panel's status box on its own: what it says for no device, for a
// device not heard from yet and for a device's status, with the history's
// notes under it either way, and the rows built again when the status changes.
#include "app/DeviceInfoPaintBox.h"
#include "app/DevicePanel.h"

#include <QListView>
#include <QTest>

namespace {

const QString Status = R"({"name":"Torna 1","controller":"FANUC","baud":"9600"})";

QStringList Texts(const TDeviceInfoRows& rows)
{
    QStringList texts;
    for (const TDeviceInfoRow& row : rows)
        texts << row.Label + "=" + row.Value;
    return texts;
}

} // namespace

class TestDevicePanel : public QObject {
    Q_OBJECT

private slots:
    void statusBox_data()
    {
        QTest::addColumn<bool>("selected");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("listenError");
        QTest::addColumn<QString>("message"); // empty: the rows show

        const QString waiting = QString::fromUtf8("Torna 1 (127.0.0.2) için henüz durum bilgisi alınmadı.");
        const QString portTaken = QString::fromUtf8("Durum portu 5003 dinlenemiyor: Address in use");
        QTest::newRow("none selected") << false << ""
                                       << "" << QString::fromUtf8("Bir cihaz seçin.");
        QTest::newRow("status port taken") << false << "" << portTaken << portTaken;
        QTest::newRow("no status yet") << true << ""
                                       << "" << waiting;
        QTest::newRow("status") << true << Status << ""
                                << "";
    }

    void statusBox()
    {
        QFETCH(bool, selected);
        QFETCH(QString, status);
        QFETCH(QString, listenError);
        QFETCH(QString, message);
        QListView list;
        TDeviceInfoPaintBox info;
        TDeviceListModel devices([](const QString&) { return QString(); });
        TDevicePanel panel(&list, &info, &devices);
        TQuillexDevice device;
        device.DisplayName = "Torna 1";
        device.IPAddress = "127.0.0.2";
        const QStringList notes { QString::fromUtf8("Son gönderilen: O1.nc (10:00), doğrulandı"),
            QString::fromUtf8("Ortak geçmişe ulaşılamıyor") };
        panel.ShowDevice(selected ? &device : nullptr, status, listenError, notes);
        if (message.isEmpty()) {
            QCOMPARE(panel.InfoMessage(), QString());
            QStringList expected = Texts(BuildDeviceInfoRows(status));
            for (const QString& note : notes)
                expected << "=" + note; // a line of its own, no label
            QCOMPARE(Texts(panel.InfoRows()), expected);
        } else {
            QCOMPARE(panel.InfoMessage(), (QStringList(message) << notes).join('\n'));
        }
        // Without notes nothing is added.
        panel.ShowDevice(selected ? &device : nullptr, status, listenError, {});
        if (message.isEmpty())
            QCOMPARE(Texts(panel.InfoRows()), Texts(BuildDeviceInfoRows(status)));
        else
            QCOMPARE(panel.InfoMessage(), message);
    }

    // A device whose status changes shows the new one, not the rows kept from before.
    void rowsFollowTheStatus()
    {
        QListView list;
        TDeviceInfoPaintBox info;
        TDeviceListModel devices([](const QString&) { return QString(); });
        TDevicePanel panel(&list, &info, &devices);
        TQuillexDevice device;
        device.IPAddress = "127.0.0.2";
        panel.ShowDevice(&device, Status, {}, {});
        QString renamed = Status;
        renamed.replace("Torna 1", "Torna 2");
        panel.ShowDevice(&device, renamed, {}, {});
        QCOMPARE(Texts(panel.InfoRows()), Texts(BuildDeviceInfoRows(renamed)));
        QVERIFY(Texts(panel.InfoRows()) != Texts(BuildDeviceInfoRows(Status)));
    }
};

QTEST_MAIN(TestDevicePanel)
#include "tst_devicepanel.moc"
