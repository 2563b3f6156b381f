// The transfer panel's presenter: socket progress, erase progress, device
// progress; and the command line's live bar as a terminal shows it.
#include "cli/Progress.h"
#include "transfer/UnitTransferProgress.h"

#include <QTest>

#include <cstdio>

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

    // The read-back after an upload is a stage of its own: the device's counters
    // of a large upload stop, the download's percentages show under its caption.
    void verificationStage_data()
    {
        QTest::addColumn<bool>("largeUpload");
        QTest::newRow("after socket progress") << false;
        QTest::newRow("after device progress") << true;
    }
    void verificationStage()
    {
        QFETCH(bool, largeUpload);
        TRecordingView view;
        QString status = "{\"xfer_status\":\"receive\",\"xfer_bytes\":1,\"xfer_total\":4}";
        TTransferProgress progress(view, QString::fromUtf8("Cihaza gönderiliyor"));
        if (largeUpload)
            progress.UseDeviceProgress([&] { return status; });
        progress.UpdateProgress(100);
        progress.BeginVerification();
        QVERIFY(progress.Verifying());
        QVERIFY(!progress.UsesDeviceProgress());
        QCOMPARE(view.Status, QString::fromUtf8("Doğrulanıyor"));
        QCOMPARE(view.Bar, 0);
        QVERIFY(!view.Marquee);
        progress.UpdateProgress(37);
        QCOMPARE(view.Status, QString::fromUtf8("Doğrulanıyor (%37)"));
        QCOMPARE(view.Bar, 37);
        // No poll of the device's status overwrites the stage.
        progress.PollDeviceStatus();
        QTest::qWait(TTransferProgress::PollIntervalMs + 200);
        QCOMPARE(view.Status, QString::fromUtf8("Doğrulanıyor (%37)"));
        progress.UpdateProgress(100);
        QCOMPARE(view.Status, QString::fromUtf8("Doğrulanıyor (%100)"));
        QCOMPARE(view.Title, QString::fromUtf8("Cihaza gönderiliyor"));
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

    // What a terminal shows of the live line after the printer's output: each
    // carriage return writes over the line from its start.
    static QString TerminalLine(const QByteArray& output)
    {
        QString line;
        for (const QString& part : QString::fromUtf8(output).split(u'\r')) {
            const QString rest = line.mid(part.size());
            line = part + rest;
        }
        return line.trimmed();
    }

    void terminalBarLeavesNoTail_data()
    {
        QTest::addColumn<int>("uploaded");
        QTest::addColumn<qint64>("erased");
        QTest::addColumn<QString>("shown");
        QTest::newRow("erase after a full bar") << 100 << qint64(34) << QString("Flash siliniyor (%34)");
        QTest::newRow("erase after a short bar") << 5 << qint64(7) << QString("Flash siliniyor (%7)");
        QTest::newRow("erase without a total") << 100 << qint64(-1) << QString("Flash siliniyor");
    }

    void terminalBarLeavesNoTail()
    {
        QFETCH(int, uploaded);
        QFETCH(qint64, erased);
        QFETCH(QString, shown);
        std::FILE* out = std::tmpfile();
        QVERIFY(out);
        {
            TProgressPrinter printer(TProgressMode::Bar, out);
            printer.Percent("upload", uploaded);
            printer.Erase(erased, erased >= 0 ? 100 : 0);
            printer.Erase(erased, erased >= 0 ? 100 : 0);
        }
        const long size = std::ftell(out);
        std::rewind(out);
        QByteArray output(size, 0);
        QCOMPARE(std::fread(output.data(), 1, size_t(size), out), size_t(size));
        std::fclose(out);
        QVERIFY(output.endsWith('\n')); // the line is ended when the printer is done
        output.chop(1);
        QCOMPARE(TerminalLine(output), shown);
    }
};

QTEST_GUILESS_MAIN(TestTransferProgress)
#include "tst_transferprogress.moc"
