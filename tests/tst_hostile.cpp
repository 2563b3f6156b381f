// Hostile devices on the command, upload and download ports: each case of the
// table runs in a process of its own (its peak memory is its own) and must end
// within its bound, stay below its memory bound and end with its message.
#include "HostileCases.h"

#include <QProcess>
#include <QTest>

#include <memory>

class TestHostile : public QObject {
    Q_OBJECT
    QList<THostileCase> FCases = HostileCases();
    std::vector<std::unique_ptr<QProcess>> FRuns;

private slots:
    void initTestCase()
    {
        // The cases mostly wait; running them side by side keeps the test short.
        for (qsizetype i = 0; i < FCases.size(); ++i) {
            auto run = std::make_unique<QProcess>();
            run->setProcessChannelMode(QProcess::ForwardedErrorChannel);
            run->start(QUILLEX_HOSTILE, { "case", QString::number(i) });
            FRuns.push_back(std::move(run));
        }
    }

    void hostilePeers_data()
    {
        QTest::addColumn<int>("index");
        for (qsizetype i = 0; i < FCases.size(); ++i)
            QTest::newRow(FCases[i].Name.toUtf8().constData()) << int(i);
    }
    void hostilePeers()
    {
        QFETCH(int, index);
        const THostileCase& c = FCases[index];
        const THostileSize size;
        QProcess& run = *FRuns[size_t(index)];
        QVERIFY(run.waitForFinished(120000));
        QCOMPARE(run.exitCode(), 0);
        const QStringList fields = QString::fromUtf8(run.readAllStandardOutput()).trimmed().split('\t');
        QCOMPARE(fields.size(), 4);
        const qint64 ms = fields[0].toLongLong();
        const qint64 peakMiB = fields[1].toLongLong() / 1024;
        const QString message = fields[3];
        QVERIFY2(message.contains(c.Expected(size)), qPrintable(message));
        QVERIFY2(ms <= c.LimitMs(size), qPrintable(QString("%1 ms").arg(ms)));
        QVERIFY2(peakMiB < c.MemoryMiB(size), qPrintable(QString("%1 MiB").arg(peakMiB)));
    }
};

QTEST_GUILESS_MAIN(TestHostile)
#include "tst_hostile.moc"
