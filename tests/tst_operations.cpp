// The operations without a face: the outcome kinds of the PIN check (its
// failure's kind carried back from the thread that ran it), an upload that
// cannot start or cannot reach its device, and a command batch's frame.
#include "Loopback.h"

#include "device/BlockingCall.h"
#include "operations/DeviceCommandOperations.h"
#include "operations/PinCheck.h"
#include "operations/UploadOperation.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

class TAnswers : public TPinPrompter {
public:
    QStringList Pins; // none left: cancelled
    QStringList Shown;
    bool AskPin(const QString&, const QString&, QString& pin) override
    {
        if (Pins.isEmpty())
            return false;
        pin = Pins.takeFirst();
        return true;
    }
    void ShowMessage(const QString& text) override { Shown << text; }
};

// A device at an address of this run where nothing listens.
TQuillexDevice Nobody(const char* lastTwo, bool pinRequired)
{
    TQuillexDevice device;
    device.IPAddress = RunIp(lastTwo);
    device.DisplayName = "Torna";
    device.MacId = "AABBCCDDEEFF";
    device.PinRequired = pinRequired;
    return device;
}

} // namespace

class TestOperations : public QObject {
    Q_OBJECT
    QTemporaryDir FDir;

private slots:
    void initTestCase()
    {
        qputenv("QUILLEX_SETTINGS", FDir.filePath("quillex_settings.ini").toLocal8Bit());
        qputenv("QUILLEX_NO_KEYCHAIN", "1");
        qputenv("XDG_CONFIG_HOME", FDir.path().toLocal8Bit());
    }

    void pinCheckOutcome_data()
    {
        QTest::addColumn<bool>("pinRequired");
        QTest::addColumn<QString>("cachedPin");
        QTest::addColumn<bool>("offThread");
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("failure");

        QTest::newRow("no PIN needed") << false << "" << false << int(EOutcomeKind::Ok)
                                       << int(EDeviceFailure::DeviceError);
        QTest::newRow("operator cancels")
            << true << "" << false << int(EOutcomeKind::Cancelled) << int(EDeviceFailure::DeviceError);
        QTest::newRow("unreachable") << true << "1234" << false << int(EOutcomeKind::Unreachable)
                                     << int(EDeviceFailure::ConnectFailed);
        // The window's check runs on a worker: the kind comes back all the same.
        QTest::newRow("unreachable, checked on a worker")
            << true << "1234" << true << int(EOutcomeKind::Unreachable) << int(EDeviceFailure::ConnectFailed);
    }

    void pinCheckOutcome()
    {
        QFETCH(bool, pinRequired);
        QFETCH(QString, cachedPin);
        QFETCH(bool, offThread);
        QFETCH(int, kind);
        QFETCH(int, failure);
        const TQuillexDevice device = Nobody("60.1", pinRequired);
        SetCachedPin(device.IPAddress, cachedPin);
        SetDeviceFailure(EDeviceFailure::DeviceError); // what a stale kind of this thread would say
        TAnswers prompter;
        const TOperationOutcome outcome = RunPinCheck({ device, false, QString() }, prompter,
            offThread ? TBlockingCallRunner(RunOffThreadAndWait) : TBlockingCallRunner());
        QCOMPARE(int(outcome.Kind), kind);
        QCOMPARE(int(outcome.Failure), failure);
        if (outcome.Kind == EOutcomeKind::Unreachable) {
            // Shown once, by the prompter, as the window shows it.
            QVERIFY(outcome.Presented);
            QVERIFY(!outcome.Message.isEmpty());
            QCOMPARE(prompter.Shown, QStringList { "Hata: " + outcome.Message });
            QCOMPARE(outcome.Shown, "Hata: " + outcome.Message);
        }
        QVERIFY(!outcome.Record); // a check changes nothing on the device
    }

    // A PIN the caller gives is tried alone: no prompt, and its failure is the caller's to show.
    void givenPinIsTriedAlone()
    {
        const TQuillexDevice device = Nobody("60.7", true);
        TAnswers prompter;
        prompter.Pins = QStringList { "1234" };
        const TOperationOutcome outcome = RunPinCheck({ device, false, "5678" }, prompter, RunOffThreadAndWait);
        QCOMPARE(outcome.Kind, EOutcomeKind::Unreachable);
        QCOMPARE(outcome.Failure, EDeviceFailure::ConnectFailed);
        QVERIFY(!outcome.Presented);
        QCOMPARE(prompter.Shown, QStringList());
        QCOMPARE(prompter.Pins, QStringList { "1234" }); // never asked
    }

    // The rule that no remembered PIN goes to either of two senders announcing one MacId.
    void sharedIdentityGetsNoRememberedPin()
    {
        TQuillexDevice device = Nobody("60.2", true);
        SetCachedPin(device.IPAddress, "1234");
        TQuillexDevice twin = device;
        twin.IPAddress = RunIp("60.3");
        const TPinCheck check = PinCheckFor(device, { device, twin });
        QVERIFY(check.IdentityShared);
        TAnswers prompter; // cancels when asked
        QCOMPARE(RunPinCheck(check, prompter).Kind, EOutcomeKind::Cancelled);
        QVERIFY(!PinCheckFor(device, { device }).IdentityShared);
    }

    void uploadWithoutStatusSendsNothing()
    {
        TUploadRequest request;
        request.Device = Nobody("60.4", false);
        request.Prepared.Content = "%\r\nG0 X1\r\n%\r\n";
        TOperationProgress progress;
        const TUploadOutcome outcome = SendUpload(request, progress);
        QCOMPARE(outcome.Kind, EOutcomeKind::NoStatus);
        QCOMPARE(outcome.Shown, MsgNoStatusYet());
        QVERIFY(!outcome.Record);
    }

    // A failed upload is recorded once, with the program it was to store.
    void unreachableUploadIsRecorded()
    {
        TUploadRequest request;
        request.Device = Nobody("60.5", false);
        request.Status = R"({"hw":"HW4","build":500,"maxfilesize":1000000})";
        request.Prepared.Content = "%\r\nG0 X1\r\n%\r\n";
        request.FileName = "/programs/O1000.nc";
        request.Verify = true;
        TProgressCallbacks progress;
        bool verifyStarted = false;
        progress.OnVerifyStarted = [&] { verifyStarted = true; };
        const TUploadOutcome outcome = SendUpload(request, progress);
        QCOMPARE(outcome.Kind, EOutcomeKind::Unreachable);
        QCOMPARE(outcome.Failure, EDeviceFailure::ConnectFailed);
        QVERIFY(!verifyStarted);
        QCOMPARE(outcome.Verification.Outcome, TUploadVerification::EOutcome::NotRun);
        QVERIFY(outcome.Record);
        QCOMPARE(outcome.Record->Success, false);
        QCOMPARE(outcome.Record->Message, outcome.Shown);
        QCOMPARE(outcome.Record->Message, "Hata: " + outcome.Message);
        QCOMPARE(outcome.Record->ByteCount, request.Prepared.Content.size());
        QCOMPARE(outcome.Record->FileName, request.FileName);
        QCOMPARE(outcome.Record->IPAddress, request.Device.IPAddress);
        QCOMPARE(outcome.Record->Verification, QString());
        QVERIFY(outcome.Record->Time.isValid());
    }

    void commandBatchFailureInItsFrame()
    {
        TCommandBatchRequest request;
        request.Device = Nobody("60.6", false);
        request.Commands = { "SETPIN&4321" };
        request.FailureFrame = QString::fromUtf8("Şifre ayarlanamadı: %1");
        const TOperationOutcome outcome = RunCommandBatch(request);
        QCOMPARE(outcome.Kind, EOutcomeKind::Unreachable);
        QCOMPARE(outcome.Shown, request.FailureFrame.arg(outcome.Message));
        QVERIFY(outcome.Record);
        QCOMPARE(outcome.Record->Kind, TTransferKind::Settings);
        QCOMPARE(outcome.Record->Detail, QString("SETPIN&****")); // the PIN never reaches the history
        QCOMPARE(outcome.Record->Message, outcome.Shown);
    }
};

QTEST_MAIN(TestOperations)
#include "tst_operations.moc"
