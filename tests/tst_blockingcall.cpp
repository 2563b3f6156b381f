// Blocking calls run off the calling thread while its event loop goes on.
#include "device/BlockingCall.h"

#include <QElapsedTimer>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <stdexcept>

class TestBlockingCall : public QObject {
    Q_OBJECT
private slots:
    void resultComesBackByValueFromAnotherThread()
    {
        QThread* caller = QThread::currentThread();
        const auto [thread, text] = RunBlocking(TBlockingCallRunner(RunOffThreadAndWait), [] {
            QThread::msleep(50);
            return std::pair(QThread::currentThread(), QString("OK"));
        });
        QVERIFY(thread != caller);
        QCOMPARE(text, QString("OK"));
        // Without a runner the call runs where it is made.
        QCOMPARE(RunBlocking(TBlockingCallRunner(), [] { return QThread::currentThread(); }), caller);
    }

    void timersKeepFiringWhileTheCallBlocks()
    {
        int ticks = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, [&] { ++ticks; });
        timer.start(10);
        int ticksSeenByTheCall = -1;
        RunOffThreadAndWait([&] {
            QThread::msleep(400);
            ticksSeenByTheCall = ticks; // the call is over only after it returned
        });
        QVERIFY2(ticks >= 10, qPrintable(QString::number(ticks)));
        QVERIFY(ticksSeenByTheCall >= 0);
    }

    void exceptionReachesTheCaller()
    {
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, RunOffThreadAndWait([] { throw std::runtime_error("x"); }));
    }

    void waitUntilEndsWhenTheConditionHoldsOrTimeIsUp()
    {
        bool flag = false;
        QTimer::singleShot(150, [&] { flag = true; });
        QElapsedTimer clock;
        clock.start();
        QVERIFY(WaitUntil([&] { return flag; }, 5000, 20));
        QVERIFY(clock.elapsed() < 2000);
        clock.restart();
        QVERIFY(!WaitUntil([] { return false; }, 300, 50));
        QVERIFY(clock.elapsed() >= 300);
        QVERIFY(WaitUntil([] { return true; }, 0, 50)); // already true: no wait
    }
};

QTEST_GUILESS_MAIN(TestBlockingCall)
#include "tst_blockingcall.moc"
