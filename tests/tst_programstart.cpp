// The real window program at its start: the status port it listens on comes
// from QUILLEX_STATUS_PORT, and a malformed value is refused with a message.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <unistd.h>

namespace {

// The local UDP ports of the sockets a process holds, from /proc.
QList<quint16> UdpPortsOf(qint64 pid)
{
    QSet<QByteArray> inodes;
    const QDir fds(QString("/proc/%1/fd").arg(pid));
    for (const QString& fd : fds.entryList(QDir::System | QDir::NoDotAndDotDot)) {
        char target[64] = {};
        const ssize_t length = ::readlink(qPrintable(fds.filePath(fd)), target, sizeof target - 1);
        const QByteArray link(target, length > 0 ? length : 0);
        if (link.startsWith("socket:[") && link.endsWith(']'))
            inodes.insert(link.mid(8).chopped(1));
    }
    QList<quint16> ports;
    QFile table("/proc/net/udp");
    if (!table.open(QIODevice::ReadOnly))
        return ports;
    table.readLine(); // the header
    while (!table.atEnd()) {
        const QList<QByteArray> fields = table.readLine().simplified().split(' ');
        // sl local_address rem_address st tx_queue:rx_queue tr:tm->when retrnsmt uid timeout inode
        if (fields.size() > 9 && inodes.contains(fields[9]))
            ports << quint16(fields[1].split(':').value(1).toUInt(nullptr, 16));
    }
    return ports;
}

QProcessEnvironment Environment(const QTemporaryDir& dir)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("QUILLEX_NO_KEYCHAIN", "1");
    env.insert("XDG_CONFIG_HOME", dir.path());
    env.insert("XDG_RUNTIME_DIR", dir.path());
    env.insert("TMPDIR", dir.path()); // an instance of its own, whatever else runs
    env.insert("QUILLEX_SETTINGS", dir.filePath("quillex_settings.ini"));
    return env;
}

} // namespace

class TestProgramStart : public QObject {
    Q_OBJECT
private slots:
    void listensOnTheStatusPortOfTheEnvironment()
    {
        QTemporaryDir dir;
        // A port free at this moment, chosen by the system.
        QUdpSocket probe;
        QVERIFY(probe.bind(QHostAddress::AnyIPv4, 0));
        const quint16 port = probe.localPort();
        probe.close();

        QProcessEnvironment env = Environment(dir);
        env.insert("QUILLEX_STATUS_PORT", QString::number(port));
        QProcess program;
        program.setProcessEnvironment(env);
        program.start(QUILLEX_APP, {});
        QVERIFY(program.waitForStarted());
        QList<quint16> ports;
        QVERIFY2(QTest::qWaitFor(
                     [&] {
                         ports = UdpPortsOf(program.processId());
                         return !ports.isEmpty();
                     },
                     10000),
            "the program opened no UDP socket");
        QCOMPARE(ports, QList<quint16> { port });
        program.terminate();
        QVERIFY(program.waitForFinished(5000));
    }

    // On a real X server: the title the window system shows is the title
    // itself, with nothing appended by Qt.
    void windowTitleIsShownAsItIs()
    {
        const QString xvfb = QStandardPaths::findExecutable("xvfb-run");
        const QString xprop = QStandardPaths::findExecutable("xprop");
        if (xvfb.isEmpty() || xprop.isEmpty()) {
            if (qEnvironmentVariableIsSet("CI"))
                QFAIL("xvfb-run and xprop are needed (scripts/install-deps.sh)");
            QSKIP("xvfb-run or xprop missing");
        }
        QTemporaryDir dir;
        QUdpSocket probe;
        QVERIFY(probe.bind(QHostAddress::AnyIPv4, 0));
        QProcessEnvironment env = Environment(dir);
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("QUILLEX_STATUS_PORT", QString::number(probe.localPort()));
        probe.close();
        // Finds the window by its exact name, then reports the name it carries.
        const QString script = "\"$0\" & app=$!; for i in $(seq 100); do "
                               "if xprop -name \"$1\" _NET_WM_NAME >/dev/null 2>&1; then "
                               "xprop -name \"$1\" _NET_WM_NAME; kill $app; wait $app; exit 0; fi; sleep 0.1; done; "
                               "kill $app; wait $app; exit 1";
        const QString title = "Quillex - CNC Program Aktarim Istemcisi";
        QProcess run;
        run.setProcessEnvironment(env);
        run.start(xvfb, { "-a", "-s", "-screen 0 1280x800x24", "sh", "-c", script, QUILLEX_APP, title });
        QVERIFY(run.waitForFinished(30000));
        const QString out = QString::fromUtf8(run.readAllStandardOutput());
        QVERIFY2(run.exitCode() == 0, qPrintable("no window named \"" + title + "\": " + run.readAllStandardError()));
        QCOMPARE(out.trimmed(), "_NET_WM_NAME(UTF8_STRING) = \"" + title + "\"");
    }

    // A mistyped option is a usage error with its message, before any
    // display is needed: the same with the offscreen platform and without a display.
    void unknownOptionIsAUsageError_data()
    {
        QTest::addColumn<bool>("display");
        QTest::newRow("with a display") << true;
        QTest::newRow("without a display") << false;
    }

    void unknownOptionIsAUsageError()
    {
        QFETCH(bool, display);
        QTemporaryDir dir;
        QProcessEnvironment env = Environment(dir);
        if (!display) {
            env.remove("QT_QPA_PLATFORM");
            env.remove("DISPLAY");
            env.remove("WAYLAND_DISPLAY");
        }
        QProcess program;
        program.setProcessEnvironment(env);
        program.start(QUILLEX_APP, { "--bogus" });
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 2);
        QVERIFY(QString::fromLocal8Bit(program.readAllStandardError()).contains("Unknown option 'bogus'"));
    }

    void malformedStatusPortIsRefused()
    {
        QTemporaryDir dir;
        QProcessEnvironment env = Environment(dir);
        env.insert("QUILLEX_STATUS_PORT", "70000");
        QProcess program;
        program.setProcessEnvironment(env);
        program.start(QUILLEX_APP, {});
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitCode(), 2);
        QVERIFY(QString::fromLocal8Bit(program.readAllStandardError())
                    .contains("QUILLEX_STATUS_PORT must be a port number from 1 to 65535; got \"70000\""));
        QVERIFY(!QFile::exists(dir.filePath("quillex_settings.ini")));
    }
};

QTEST_GUILESS_MAIN(TestProgramStart)
#include "tst_programstart.moc"
