#pragma once
// quillex-cli and quillex-devsim as processes for end-to-end tests: a simulator
// sending status datagrams to a test's own port, and the command-line client run
// with its own settings file, status port and environment.
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

struct TRun {
    int ExitCode = -1;
    QByteArray Out;
    QString Err;
};

#ifdef QUILLEX_DEVSIM
// A quillex-devsim process for one test (for tests that are given the simulator).
class TSimulation {
public:
    TSimulation(quint16 statusPort, const QStringList& devices)
    {
        QStringList args { "--target", QString("127.0.0.1:%1").arg(statusPort) };
        for (const QString& d : devices)
            args << "--device" << d + ",interval=200";
        FProcess.start(QUILLEX_DEVSIM, args);
        FReady = FProcess.waitForReadyRead(5000) && FProcess.readAllStandardOutput().contains("ready");
    }
    ~TSimulation()
    {
        FProcess.terminate();
        if (!FProcess.waitForFinished(2000))
            FProcess.kill();
    }
    bool Ready() const { return FReady; }

private:
    QProcess FProcess;
    bool FReady = false;
};
#endif

class TCli {
public:
    explicit TCli(quint16 statusPort)
        : FStatusPort(statusPort)
    {
    }
    QProcessEnvironment Environment(const QHash<QString, QString>& extra = {}) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("QUILLEX_PIN");
        env.insert("QUILLEX_STATUS_PORT", QString::number(FStatusPort));
        env.insert("QUILLEX_SETTINGS", FDir.filePath("quillex_settings.ini"));
        env.insert("XDG_CONFIG_HOME", FDir.path());
        env.insert("XDG_DATA_HOME", FDir.path()); // the transfer history of this test alone
        env.insert("QUILLEX_NO_KEYCHAIN", "1");
        for (auto it = extra.begin(); it != extra.end(); ++it)
            env.insert(it.key(), it.value());
        return env;
    }
    // Started with the input written and closed (no input: the null device).
    void Start(QProcess& process, const QStringList& args, const QByteArray& input = {},
        const QHash<QString, QString>& env = {}) const
    {
        process.setProcessEnvironment(Environment(env));
        if (input.isNull())
            process.setStandardInputFile(QProcess::nullDevice());
        process.start(QUILLEX_CLI, args);
        if (!input.isNull()) {
            process.waitForStarted();
            process.write(input);
            process.closeWriteChannel();
        }
    }
    static TRun Finish(QProcess& process, int timeoutMs = 30000)
    {
        TRun run;
        if (!process.waitForFinished(timeoutMs)) {
            process.kill();
            process.waitForFinished();
            return run;
        }
        run.ExitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        run.Out = process.readAllStandardOutput();
        run.Err = QString::fromUtf8(process.readAllStandardError());
        return run;
    }
    TRun Run(const QStringList& args, const QByteArray& input = {}, const QHash<QString, QString>& env = {},
        int timeoutMs = 30000) const
    {
        QProcess process;
        Start(process, args, input, env);
        return Finish(process, timeoutMs);
    }
    QString File(const QString& name) const { return FDir.filePath(name); }
    // Where the command line keeps its transfer history in this environment.
    QString HistoryFile() const { return FDir.filePath("quillex/history.sqlite"); }
    QString Path() const { return FDir.path(); }

private:
    quint16 FStatusPort;
    QTemporaryDir FDir;
};

// A loopback address and a port of this run's own, so that parallel runs never meet.
inline QString RandomLoopback()
{
    QRandomGenerator* r = QRandomGenerator::global();
    return QString("127.%1.%2.%3").arg(r->bounded(100, 250)).arg(r->bounded(0, 256)).arg(r->bounded(1, 255));
}
inline quint16 RandomPort()
{
    return quint16(QRandomGenerator::global()->bounded(30000, 60000));
}
