// The transfer panel's presenter: socket progress, erase progress, device progress.
#include "transfer/UnitTransferProgress.h"

#include <QTest>

namespace {

class TRecordingView : public TTransferProgressView {
public:
    QString Title, Status;
    int Bar = -1;
    bool Marquee = false, Visible = false;
    void SetTitle(const QString& title) override { Title = title; }
    void SetStatus(const QString& text) override { Status = text; }
    void SetBar(int position) override
    {
        Bar = position;
        Marquee = false;
    }
    void SetBarMarquee() override { Marquee = true; }
    void SetPanelVisible(bool visible) override { Visible = visible; }
};

} // namespace

class TestTransferProgress : public QObject {
    Q_OBJECT
private slots:
    void socketProgress_data()
    {
        QTest::addColumn<int>("percent");
        QTest::addColumn<int>("bar");
        QTest::addColumn<QString>("status");
        QTest::newRow("42") << 42 << 42 << "42%";
        QTest::newRow("below 0") << -5 << 0 << "0%";
        QTest::newRow("above 100") << 150 << 100 << QString::fromUtf8("100% - işlem tamamlanıyor, lütfen bekleyin...");
    }
    void socketProgress()
    {
        QFETCH(int, percent);
        QFETCH(int, bar);
        QFETCH(QString, status);
        TRecordingView view;
        TTransferProgress progress(view, QString::fromUtf8("Cihaza gönderiliyor"));
        QCOMPARE(view.Title, QString::fromUtf8("Cihaza gönderiliyor"));
        QVERIFY(view.Visible);
        progress.UpdateProgress(percent);
        QCOMPARE(view.Bar, bar);
        QCOMPARE(view.Status, status);
    }

    void lifetimeShowsAndHidesThePanel()
    {
        TRecordingView view;
        {
            TTransferProgress progress(view, "x");
            progress.UpdateProgress(30);
        }
        QVERIFY(!view.Visible);
        QCOMPARE(view.Status, QString("30%")); // kept
    }

    void deviceProgress()
    {
        TRecordingView view;
        quint32 now = 50000;
        QString status;
        TTransferProgress progress(view, "x", [&] { return now; });
        progress.UseDeviceProgress([&] { return status; });
        QCOMPARE(view.Status, QString::fromUtf8("Cihaz hazırlanıyor, lütfen bekleyin..."));
        QVERIFY(view.Marquee);
        progress.UpdateProgress(50); // ignored from now on
        QCOMPARE(view.Status, QString::fromUtf8("Cihaz hazırlanıyor, lütfen bekleyin..."));

        status = "{\"erasing\":1,\"erase_total\":0}";
        progress.PollDeviceStatus();
        QVERIFY(view.Marquee);
        QCOMPARE(view.Status, QString("Flash siliniyor"));

        status = "{\"erasing\":1,\"erase_bytes\":3,\"erase_total\":2}";
        progress.PollDeviceStatus();
        QCOMPARE(view.Bar, 100);
        QCOMPARE(view.Status, QString("Flash siliniyor (%100)"));

        // The connection's erase figure wins for 3 s.
        progress.UpdateEraseProgress(37, 100);
        QCOMPARE(view.Status, QString("Flash siliniyor (%37)"));
        now += 2000;
        status = "{\"erasing\":1,\"erase_bytes\":90,\"erase_total\":100}";
        progress.PollDeviceStatus();
        QCOMPARE(view.Status, QString("Flash siliniyor (%37)"));
        now += 2000;
        progress.PollDeviceStatus();
        QCOMPARE(view.Status, QString("Flash siliniyor (%90)"));

        status = "{\"xfer_status\":\"receive\",\"xfer_bytes\":250,\"xfer_total\":1000}";
        progress.PollDeviceStatus();
        QCOMPARE(view.Status, QString("Dosya transferi (%25)"));
        QCOMPARE(view.Bar, 25);
        for (const char* unchanged : { "{\"xfer_status\":\"send\"}", "{\"xfer_status\":\"idle\"}", "not json", "" }) {
            status = unchanged;
            progress.PollDeviceStatus();
            QCOMPARE(view.Status, QString("Dosya transferi (%25)"));
        }
    }

    void pollTimerRunsEveryHalfSecond()
    {
        TRecordingView view;
        int asked = 0;
        TTransferProgress progress(view, "x");
        progress.UseDeviceProgress([&] {
            ++asked;
            return QString();
        });
        QCOMPARE(asked, 0); // the first tick comes later
        QTRY_VERIFY_WITH_TIMEOUT(asked >= 2, 3000);
    }
};

QTEST_GUILESS_MAIN(TestTransferProgress)
#include "tst_transferprogress.moc"
