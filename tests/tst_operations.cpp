// The operations without a face: the outcome kinds of the PIN check (its
// failure's kind carried back from the thread that ran it), the wait for a
// device's status, an upload that cannot start or cannot reach its device,
// and a command batch's frame.
#include "Loopback.h"
#include "StatusDatagram.h"

#include "device/BlockingCall.h"
#include "operations/DeviceCommandOperations.h"
#include "operations/DeviceStatusWait.h"
#include "operations/PinCheck.h"
#include "operations/UploadOperation.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <memory>
#include <vector>

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

// The window's way of waiting: its events run between the tests.
void EventLoop(const std::function<bool()>& condition, int timeoutMs, int pollMs)
{
    WaitUntil(condition, timeoutMs, pollMs, QEventLoop::AllEvents);
}

using TStep = std::pair<int, std::function<void()>>;

// Runs the steps due at 0 ms now and the others at their times on a thread
// of their own, so that they also come while the waiting thread sleeps.
std::unique_ptr<QThread> RunSteps(std::vector<TStep> steps)
{
    std::stable_sort(steps.begin(), steps.end(), [](const TStep& a, const TStep& b) { return a.first < b.first; });
    while (!steps.empty() && steps.front().first == 0) {
        steps.front().second();
        steps.erase(steps.begin());
    }
    std::unique_ptr<QThread> thread(QThread::create([steps] {
        QElapsedTimer clock;
        clock.start();
        for (const auto& [at, step] : steps) {
            while (clock.elapsed() < at)
                QThread::msleep(5);
            step();
        }
    }));
    thread->start();
    return thread;
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

    void statusWait_data()
    {
        QTest::addColumn<int>("statusAtMs"); // -1: never
        QTest::addColumn<int>("twinAtMs"); // a second sender; -1: none
        QTest::addColumn<QString>("twinMacId");
        QTest::addColumn<bool>("newListener"); // has not heard long enough for the identity rule
        QTest::addColumn<bool>("windowLoop");
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("shared");

        const int ok = int(EOutcomeKind::Ok);
        const QString mac = "AABBCCDDEEFF";
        QTest::newRow("heard before the wait") << 0 << -1 << mac << false << false << 2000 << ok << false;
        QTest::newRow("arrives late") << 400 << -1 << mac << false << false << 5000 << ok << false;
        QTest::newRow("arrives late, window") << 400 << -1 << mac << false << true << 5000 << ok << false;
        QTest::newRow("never comes") << -1 << -1 << mac << false << false << 300 << int(EOutcomeKind::NoStatus)
                                     << false;
        QTest::newRow("never comes, window")
            << -1 << -1 << mac << false << true << 300 << int(EOutcomeKind::NoStatus) << false;
        QTest::newRow("two senders, one MacId") << 0 << 0 << mac << false << false << 2000 << ok << true;
        QTest::newRow("MacId in other letter case") << 0 << 0 << mac.toLower() << false << false << 2000 << ok << true;
        QTest::newRow("another MacId") << 0 << 0 << "AABBCCDDEE00" << false << false << 2000 << ok << false;
        // The device repeats its status about every second: a listener that
        // has just opened hears on before it judges the MacId.
        QTest::newRow("second sender while the listener is new")
            << 0 << 300 << mac << true << false << 2000 << ok << true;
        QTest::newRow("second sender while the listener is new, window")
            << 0 << 300 << mac << true << true << 2000 << ok << true;
    }

    void statusWait()
    {
        QFETCH(int, statusAtMs);
        QFETCH(int, twinAtMs);
        QFETCH(QString, twinMacId);
        QFETCH(bool, newListener);
        QFETCH(bool, windowLoop);
        QFETCH(int, timeoutMs);
        QFETCH(int, kind);
        QFETCH(bool, shared);
        std::atomic<quint32> now { 1000 };
        TStatusListenerThread listener(nullptr, 0, [&now] { return now.load(); });
        QTRY_VERIFY(listener.IsListening());
        const QString ip = RunIp("61.1");
        const QByteArray status = R"({"macid":"AABBCCDDEEFF","name":"Torna","pw":true,"maxfilesize":1000000})";
        std::vector<TStep> steps;
        if (statusAtMs >= 0)
            steps.push_back({ statusAtMs, [&] { listener.AcceptDatagram(ip, StatusDatagram(status)); } });
        if (twinAtMs >= 0)
            steps.push_back(
                { twinAtMs, [&] {
                     listener.AcceptDatagram(RunIp("61.2"),
                         StatusDatagram(R"({"name":"Torna","pw":true,"macid":")" + twinMacId.toLatin1() + R"("})"));
                 } });
        // The listener's clock passes the identity's time: at once, or after the senders.
        steps.push_back({ newListener ? qMax(statusAtMs, twinAtMs) + 300 : 0, [&] { now += IdentityListenMs + 500; } });
        const auto later = RunSteps(steps);
        const TKnownStatus known
            = WaitForDeviceStatus(listener, { ip, timeoutMs, true }, windowLoop ? TWaitLoop(EventLoop) : TWaitLoop());
        later->wait();
        QCOMPARE(OutcomeKindName(known.Kind), OutcomeKindName(EOutcomeKind(kind)));
        QCOMPARE(known.IdentityShared, shared);
        if (known.Succeeded()) {
            QCOMPARE(known.Status, QString::fromLatin1(status));
        } else {
            QCOMPARE(known.Status, QString());
            QCOMPARE(known.Shown, MsgNoStatusYet());
        }
    }

    // A window closed while it waits, or its listener gone with it, ends the
    // wait at once and sends nothing.
    void statusWaitEndsWhenNoLongerWanted_data()
    {
        QTest::addColumn<bool>("listenerGoes");
        QTest::newRow("caller stops waiting") << false;
        QTest::newRow("listener goes") << true;
    }

    void statusWaitEndsWhenNoLongerWanted()
    {
        QFETCH(bool, listenerGoes);
        auto listener = std::make_unique<TStatusListenerThread>(nullptr, quint16(0));
        bool wanted = true;
        QTimer::singleShot(200, [&] {
            if (listenerGoes)
                listener.reset();
            else
                wanted = false;
        });
        const TKnownStatus known
            = WaitForDeviceStatus(*listener, { RunIp("61.3"), 5000, true }, EventLoop, [&wanted] { return wanted; });
        QCOMPARE(OutcomeKindName(known.Kind), OutcomeKindName(EOutcomeKind::Cancelled));
        QCOMPARE(known.Status, QString());
        QCOMPARE(bool(listener), !listenerGoes);
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
