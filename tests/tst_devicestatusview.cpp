// What the status panel and the device list make of a device's status, and
// the hardware and controller facts read from it, without any widget.
#include "discovery/DeviceStatusView.h"

#include <QTest>

Q_DECLARE_METATYPE(TDeviceActivity)

namespace {

const QLocale C(QLocale::C);

// The value of one label in the rows, or "<absent>".
QString RowValue(const TDeviceInfoRows& rows, const QString& label)
{
    QStringList found;
    for (const TDeviceInfoRow& row : rows)
        if (row.Label == label)
            found << row.Value;
    return found.isEmpty() ? "<absent>" : found.join(" | ");
}

} // namespace

class TestDeviceStatusView : public QObject {
    Q_OBJECT
private slots:
    void byteSizes_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("0") << qint64(0) << "0 bayt";
        QTest::newRow("negative") << qint64(-5) << "-5 bayt";
        QTest::newRow("1023") << qint64(1023) << "1023 bayt";
        QTest::newRow("1024") << qint64(1024) << "1.0 KB";
        QTest::newRow("1536") << qint64(1536) << "1.5 KB";
        QTest::newRow("1048575") << qint64(1048575) << "1024.0 KB";
        QTest::newRow("1048576") << qint64(1048576) << "1.0 MB";
    }
    void byteSizes()
    {
        QFETCH(qint64, bytes);
        QFETCH(QString, text);
        QCOMPARE(FormatByteSize(bytes, C), text);
    }

    void turkishDecimalComma() { QCOMPARE(FormatByteSize(1536, QLocale(QLocale::Turkish)), QString("1,5 KB")); }

    void rows_data()
    {
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("value");
        QTest::newRow("baud alone") << R"({"baud":9600})"
                                    << "Baud Rate"
                                    << "9600";
        QTest::newRow("serial settings") << R"({"baud":9600,"databits":8,"parity":"N","stopbits":1})"
                                         << "Baud Rate"
                                         << "9600-8N1";
        QTest::newRow("no name") << R"({})" << QString::fromUtf8("Cihaz Adı") << "-";
        QTest::newRow("file size absent") << R"({})"
                                          << "Dosya Boyutu"
                                          << "0 bayt";
        QTest::newRow("file size text") << R"({"filesize":"abc"})"
                                        << "Dosya Boyutu"
                                        << "0 bayt";
        QTest::newRow("time") << R"({"time":"2024-05-01 12:30:05"})" << QString::fromUtf8("Son Güncelleme")
                              << "12:30:05";
        QTest::newRow("time without blank") << R"({"time":"12:30"})" << QString::fromUtf8("Son Güncelleme") << "12:30";
        QTest::newRow("erasing, no total") << R"({"erasing":1,"erase_total":0})"
                                           << "Durum"
                                           << "Flash siliniyor";
        QTest::newRow("erasing 42") << R"({"erasing":null,"erase_bytes":42,"erase_total":100})"
                                    << "Durum"
                                    << "Flash siliniyor (%42)";
        QTest::newRow("not erasing") << R"({"erase_bytes":42,"erase_total":100})"
                                     << "Durum"
                                     << "<absent>";
        QTest::newRow("send rescaled") << R"({"xfer_status":"send","xfer_bytes":500,"xfer_total":1000,"filesize":4000})"
                                       << QString::fromUtf8("İlerleme") << "2.0 KB / 3.9 KB (%50)";
        QTest::newRow("stream larger than file")
            << R"({"xfer_status":"send","xfer_bytes":500,"xfer_total":1000,"filesize":100})"
            << QString::fromUtf8("İlerleme") << "500 bayt / 1000 bayt (%50)";
        QTest::newRow("receive: no elapsed")
            << R"({"xfer_status":"receive","xfer_elapsed_sec":70})" << QString::fromUtf8("Geçen Süre") << "<absent>";
        QTest::newRow("send: elapsed") << R"({"xfer_status":"send","xfer_elapsed_sec":187})"
                                       << QString::fromUtf8("Geçen Süre") << "3 dk 7 sn";
        QTest::newRow("busy") << R"({"xfer_status":"busy"})"
                              << "Transfer" << QString::fromUtf8("Boşta");
        QTest::newRow("busy progress") << R"({"xfer_status":"busy"})" << QString::fromUtf8("İlerleme")
                                       << "0 bayt (toplam bilinmiyor)";
        QTest::newRow("idle no progress") << R"({"xfer_status":"idle"})" << QString::fromUtf8("İlerleme") << "<absent>";
        QTest::newRow("receive") << R"({"xfer_status":"receive"})"
                                 << "Transfer" << QString::fromUtf8("Alınıyor (RECEIVEFILE)");
        QTest::newRow("ota downloading") << R"({"ota_status":"downloading","ota_total":0,"ota_bytes":2048})"
                                         << QString::fromUtf8("İlerleme") << "2.0 KB (toplam bilinmiyor)";
        QTest::newRow("ota checking") << R"({"ota_status":"checking"})" << QString::fromUtf8("Firmware Güncelleme")
                                      << QString::fromUtf8("Sürüm kontrol ediliyor...");
        QTest::newRow("huge name") << QString(R"({"name":"%1"})").arg(QString(2000, 'N'))
                                   << QString::fromUtf8("Cihaz Adı") << QString(2000, 'N');
        QTest::newRow("wrong types") << R"({"name":["x"],"baud":{"a":1},"build":true})"
                                     << "Build No"
                                     << "true";
    }
    void rows()
    {
        QFETCH(QString, status);
        QFETCH(QString, label);
        QFETCH(QString, value);
        QCOMPARE(RowValue(BuildDeviceInfoRows(status, C), label), value);
    }

    void rowOrder()
    {
        const TDeviceInfoRows rows = BuildDeviceInfoRows(
            R"({"erasing":1,"xfer_status":"send","xfer_elapsed_sec":1,"ota_status":"downloading"})", C);
        QStringList labels;
        for (const TDeviceInfoRow& row : rows)
            labels << row.Label;
        QCOMPARE(labels,
            QStringList({ QString::fromUtf8("Cihaz Adı"), "IP Adresi", QString::fromUtf8("Donanım"), "Firmware",
                "Build No", "Baud Rate", "XOFF Timeout", "Dosya Boyutu", QString::fromUtf8("Son Güncelleme"), "Durum",
                "Transfer", QString::fromUtf8("İlerleme"), QString::fromUtf8("Geçen Süre"),
                QString::fromUtf8("Firmware Güncelleme"), QString::fromUtf8("İlerleme") }));
    }

    void notJson()
    {
        QVERIFY(BuildDeviceInfoRows("", C).isEmpty());
        QCOMPARE(BuildDeviceInfoRows("garbage\nline\x1b[2J", C),
            (TDeviceInfoRows { { QString(), "garbage" }, { QString(), "line?[2J" } }));
        QCOMPARE(BuildDeviceInfoRows("[1,2]", C), (TDeviceInfoRows { { QString(), "[1,2]" } }));
    }

    // A value the device sends stays one value: a line feed in a name adds no
    // row, and no control character reaches the panel.
    void valuesCannotForgeRows_data()
    {
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("value");
        QTest::newRow("line feed") << R"({"name":"Torna\nXOFF Timeout=999"})" << QString::fromUtf8("Cihaz Adı")
                                   << "Torna?XOFF Timeout=999";
        QTest::newRow("carriage return") << R"({"fw":"1.0\r2.0"})"
                                         << "Firmware"
                                         << "1.0?2.0";
        QTest::newRow("escape and DEL") << R"({"hw":"HW4\u001b\u007f"})" << QString::fromUtf8("Donanım") << "HW4??";
        QTest::newRow("C1 control") << R"({"ip":"1.2.3.4\u0085x"})"
                                    << "IP Adresi"
                                    << "1.2.3.4?x";
        QTest::newRow("Turkish letters kept")
            << R"({"name":"Şişe Ğ"})" << QString::fromUtf8("Cihaz Adı") << QString::fromUtf8("Şişe Ğ");
    }
    void valuesCannotForgeRows()
    {
        QFETCH(QString, status);
        QFETCH(QString, label);
        QFETCH(QString, value);
        const TDeviceInfoRows rows = BuildDeviceInfoRows(status, C);
        QCOMPARE(RowValue(rows, label), value);
        QCOMPARE(RowValue(rows, "XOFF Timeout"), QString("-"));
        QCOMPARE(rows.size(), BuildDeviceInfoRows("{}", C).size());
    }

    void activity_data()
    {
        QTest::addColumn<QString>("status");
        QTest::addColumn<TDeviceActivity>("activity");
        QTest::newRow("none") << "" << TDeviceActivity::Unknown;
        QTest::newRow("not JSON") << "x" << TDeviceActivity::Unknown;
        QTest::newRow("idle") << R"({"xfer_status":"idle","ota_status":"idle"})" << TDeviceActivity::Idle;
        QTest::newRow("absent counts as idle") << R"({})" << TDeviceActivity::Idle;
        QTest::newRow("erasing") << R"({"erasing":false})" << TDeviceActivity::Busy;
        QTest::newRow("unexpected xfer") << R"({"xfer_status":"busy"})" << TDeviceActivity::Busy;
        QTest::newRow("ota") << R"({"ota_status":"checking"})" << TDeviceActivity::Busy;
    }
    void activity()
    {
        QFETCH(QString, status);
        QFETCH(TDeviceActivity, activity);
        QCOMPARE(DeviceActivity(status), activity);
    }

    void startFromCapable()
    {
        QVERIFY(KeepsStartFromIndex("HW4"));
        QVERIFY(KeepsStartFromIndex("hw3"));
        QVERIFY(!KeepsStartFromIndex("HW44"));
        QVERIFY(StatusKeepsStartFromIndex(R"({"hw":"hw4"})"));
        QVERIFY(StatusKeepsStartFromIndex(R"({"hw":"HW3"})"));
        QVERIFY(!StatusKeepsStartFromIndex(R"({"hw":"HW2"})"));
        QVERIFY(!StatusKeepsStartFromIndex(R"({})"));
        QVERIFY(!StatusKeepsStartFromIndex(""));
    }

    void controllerIsSiemens_data()
    {
        QTest::addColumn<QString>("controller");
        QTest::addColumn<bool>("siemens");
        QTest::newRow("upper case") << "SIEMENS" << true;
        QTest::newRow("any case") << "Siemens" << true;
        QTest::newRow("other control") << "FANUC" << false;
        QTest::newRow("longer name") << "SIEMENS 840D" << false;
        QTest::newRow("none") << "" << false;
    }
    void controllerIsSiemens()
    {
        QFETCH(QString, controller);
        QFETCH(bool, siemens);
        QCOMPARE(IsControllerSiemens(controller), siemens);
    }
};

QTEST_GUILESS_MAIN(TestDeviceStatusView)
#include "tst_devicestatusview.moc"
