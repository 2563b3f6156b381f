// The transfer panel on its own: the success display in the green the
// operator sees (with the read-back's line), its end restoring the status
// line's colour, a new transfer taking the panel over, and an operation's
// progress reaching the running transfer only.
#include "DrawnPixels.h"

#include "app/TransferPanel.h"
#include "operations/Operation.h"

#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QTest>
#include <QVBoxLayout>

namespace {

// The window's widgets of the panel, by their names.
struct TPanelWidgets {
    QWidget Window;
    QFrame* Panel = new QFrame(&Window);
    QLabel* Title = new QLabel(Panel);
    QLabel* Status = new QLabel(Panel);
    QLabel* Verify = new QLabel(Panel);
    QProgressBar* Bar = new QProgressBar(Panel);
    TTransferPanel Shown { Panel, Title, Status, Bar, Verify, {} };

    TPanelWidgets()
    {
        auto* layout = new QVBoxLayout(Panel);
        for (QWidget* widget : { static_cast<QWidget*>(Title), static_cast<QWidget*>(Status),
                 static_cast<QWidget*>(Verify), static_cast<QWidget*>(Bar) })
            layout->addWidget(widget);
        (new QVBoxLayout(&Window))->addWidget(Panel);
        Panel->hide();
        Verify->hide();
        Window.resize(400, 160);
        Window.show();
    }
};

const QString Verified = QString::fromUtf8("Doğrulandı: cihazdaki program gönderilenle aynı");

} // namespace

class TestTransferPanel : public QObject {
    Q_OBJECT

private slots:
    void successDisplay_data()
    {
        QTest::addColumn<QString>("verifiedLine");
        QTest::newRow("upload or download") << QString();
        QTest::newRow("read back equal") << Verified;
    }

    void successDisplay()
    {
        QFETCH(QString, verifiedLine);
        TPanelWidgets w;
        QVERIFY(QTest::qWaitForWindowExposed(&w.Window));
        if (verifiedLine.isEmpty())
            w.Shown.ShowTransferSuccess(QString::fromUtf8("Cihazdan alındı"));
        else
            w.Shown.ShowTransferSuccess(QString::fromUtf8("Cihaza gönderildi"), verifiedLine);
        QVERIFY(w.Panel->isVisible());
        QCOMPARE(w.Status->text(), MsgDone());
        QVERIFY(CountDrawnPixels(w.Status, IsSuccessGreen) > 0);
        QCOMPARE(w.Bar->value(), w.Bar->maximum());
        QCOMPARE(w.Verify->isVisible(), !verifiedLine.isEmpty());
        if (!verifiedLine.isEmpty()) {
            QCOMPARE(w.Verify->text(), verifiedLine);
            QVERIFY(CountDrawnPixels(w.Verify, IsSuccessGreen) > 0);
        }
        // The display's end: the panel goes, and the status line is grey again.
        w.Shown.TransferDoneTimerTimer();
        QVERIFY(!w.Shown.SuccessShown());
        QVERIFY(w.Panel->isHidden());
        QVERIFY(w.Verify->isHidden());
        w.Panel->show();
        QCOMPARE(CountDrawnPixels(w.Status, IsSuccessGreen), 0);
    }

    // A transfer begun while the success display is on keeps the panel, its
    // status line no longer green, the read-back's line gone.
    void newTransferTakesThePanel()
    {
        TPanelWidgets w;
        QVERIFY(QTest::qWaitForWindowExposed(&w.Window));
        w.Shown.ShowTransferSuccess(QString::fromUtf8("Cihaza gönderildi"), Verified);
        TTransferProgress& progress = w.Shown.Start(QString::fromUtf8("Cihazdan alınıyor"));
        w.Shown.StopTransferDoneTimer(false); // as the window's controls are disabled
        QCOMPARE(w.Shown.Progress(), &progress);
        QVERIFY(w.Panel->isVisible());
        QVERIFY(w.Verify->isHidden());
        QCOMPARE(w.Title->text(), QString::fromUtf8("Cihazdan alınıyor"));
        QCOMPARE(CountDrawnPixels(w.Status, IsSuccessGreen), 0);
        w.Shown.End();
        QCOMPARE(w.Shown.Progress(), nullptr);
        QVERIFY(w.Panel->isHidden());
    }

    void operationProgress()
    {
        TPanelWidgets w;
        const auto progress = w.Shown.OperationProgress([] { return QString("{}"); });
        const auto plain = w.Shown.OperationProgress();
        // Nothing runs: what an operation reports goes nowhere.
        progress->Percent(30);
        progress->VerifyStarted();
        w.Shown.Start(QString::fromUtf8("Cihaza gönderiliyor"));
        progress->Percent(40);
        QCOMPARE(w.Bar->value(), 40);
        plain->LargeUpload(); // without the device's status: the socket's counters stay
        QVERIFY(!w.Shown.Progress()->UsesDeviceProgress());
        progress->LargeUpload();
        QVERIFY(w.Shown.Progress()->UsesDeviceProgress());
        progress->VerifyStarted();
        QVERIFY(w.Shown.Progress()->Verifying());
        const int shown = w.Bar->value();
        w.Shown.End();
        progress->Percent(50);
        QCOMPARE(w.Bar->value(), shown);
    }
};

QTEST_MAIN(TestTransferPanel)
#include "tst_transferpanel.moc"
