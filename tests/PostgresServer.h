#pragma once
// A throw-away PostgreSQL server for one test program: initdb and pg_ctl of
// Debian's postgresql package on a free loopback port, its data in a temporary
// folder, password authentication for the user "quillex", run as nobody when
// the tests run as root (the server refuses root). Stopped and started again
// to take the server away under a test.
#include "Unprivileged.h"

#include <QDir>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

// Stops a test that needs the server programs when they are missing: a
// failure under CI, where a skip would count as a pass; a skip elsewhere.
#define QUILLEX_REQUIRE_POSTGRES(server)                                                                               \
    do {                                                                                                               \
        if (!(server).Available()) {                                                                                   \
            if (!qEnvironmentVariableIsEmpty("CI"))                                                                    \
                QFAIL("PostgreSQL's initdb and pg_ctl are missing: scripts/install-deps.sh installs postgresql");      \
            QSKIP("PostgreSQL's initdb and pg_ctl are missing (CI unset, so not a failure)");                          \
        }                                                                                                              \
        QVERIFY2((server).Running(), qPrintable((server).Error()));                                                    \
    } while (false)

class TPostgresServer {
public:
    static constexpr const char* User = "quillex";
    static constexpr const char* Password = "tezgah-7";

    TPostgresServer()
    {
        FBin = FindBin();
        if (FBin.isEmpty())
            return;
        FPort = FreeTcpPort();
        const QString data = FDir.filePath("data");
        const QString passwordFile = FDir.filePath("password");
        QFile file(passwordFile);
        if (!file.open(QIODevice::WriteOnly) || file.write(Password) < 0)
            return;
        file.close();
        QDir().mkpath(FDir.filePath("socket"));
        if (RunningAsRoot()) {
            OpenFolderToOthers(FDir.path());
            for (const QString& path : { FDir.path(), passwordFile, FDir.filePath("socket") })
                if (::chown(QFile::encodeName(path).constData(), UnprivilegedId, UnprivilegedId) != 0)
                    return;
        }
        if (!Run("initdb",
                { "-D", data, "-U", User, "--pwfile=" + passwordFile, "--auth=scram-sha-256", "--no-sync", "-E", "UTF8",
                    "--locale=C.UTF-8" }))
            return;
        FInitialised = true;
        Start();
    }
    ~TPostgresServer()
    {
        if (FRunning)
            Stop();
    }
    bool Available() const { return !FBin.isEmpty(); }
    bool Running() const { return FRunning; }
    QString Error() const { return FError; }
    quint16 Port() const { return FPort; }
    // The location a workstation names in its settings file.
    QString Location(const QString& database = "postgres") const
    {
        return QString("postgresql://%1@127.0.0.1:%2/%3").arg(User).arg(FPort).arg(database);
    }

    bool Start()
    {
        FRunning = FInitialised
            && Run("pg_ctl",
                { "-D", FDir.filePath("data"), "-l", FDir.filePath("log"), "-w", "-t", "60", "-o",
                    QString("-p %1 -k %2 -c listen_addresses=127.0.0.1 -c fsync=off")
                        .arg(FPort)
                        .arg(FDir.filePath("socket")),
                    "start" });
        return FRunning;
    }
    bool Stop()
    {
        // Fast: connections are cut as a server that goes away would cut them.
        const bool stopped = Run("pg_ctl", { "-D", FDir.filePath("data"), "-w", "-t", "60", "-m", "fast", "stop" });
        FRunning = FRunning && !stopped;
        return stopped;
    }

private:
    static QString FindBin()
    {
        QStringList versions = QDir("/usr/lib/postgresql").entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        std::sort(
            versions.begin(), versions.end(), [](const QString& a, const QString& b) { return a.toInt() > b.toInt(); });
        for (const QString& v : versions) {
            const QString bin = "/usr/lib/postgresql/" + v + "/bin";
            if (QFile::exists(bin + "/initdb") && QFile::exists(bin + "/pg_ctl"))
                return bin;
        }
        return {};
    }
    static quint16 FreeTcpPort()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        return probe.serverPort();
    }
    bool Run(const QString& tool, QStringList args)
    {
        QString program = FBin + "/" + tool;
        Unprivileged(program, args);
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.setWorkingDirectory(FDir.path());
        process.start(program, args);
        if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit
            || process.exitCode() != 0) {
            FError = tool + ": " + QString::fromLocal8Bit(process.readAll());
            return false;
        }
        return true;
    }

    QTemporaryDir FDir;
    QString FBin;
    QString FError;
    quint16 FPort = 0;
    bool FInitialised = false;
    bool FRunning = false;
};
