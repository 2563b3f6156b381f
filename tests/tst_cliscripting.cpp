// quillex-cli as scripts call it: options anywhere, one JSON object per run,
// the PIN out of the process list and never silently replaced, the terminal
// given back after a signal at the PIN prompt, loud status-port failures,
// standard input and output, and progress lines a script can read. Against
// quillex-devsim and scripted peers, each run on its own addresses and ports.
#include "device/WireFormat.h"
#include "document/ProgramDocument.h"
#include "transfer/UploadVerification.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

#include "CliProcess.h"
#include "ScriptedPeer.h"
#include "TestUtil.h"

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>

namespace {

using TScript = TScriptedPeer::TScript;

// Answers every line with OK until the client closes.
const TScript AcceptAll = [](TPeerConnection& c) {
    while (!c.ReadLine(2000).isEmpty())
        c.Send("OK\n");
};

// Logs in, then refuses the PIN line, as a device whose PIN changed meanwhile.
const TScript RefusePin = [](TPeerConnection& c) {
    c.ReadLine();
    c.Send("OK\n");
    c.ReadLine();
    c.Send("ERR pin\n");
    c.ReadAll(200);
};

// The upload port's refusal: the header arrives, "ERR pin" is the final reply.
const TScript RefuseUploadPin = [](TPeerConnection& c) {
    c.ReadBytes(1 + PinBlockSize + 4);
    c.Send("ERR pin\n");
    c.ReadAll(300);
};

// The download port's refusal: the PIN block arrives, the status byte says no.
const TScript RefuseDownloadPin = [](TPeerConnection& c) {
    c.ReadBytes(PinBlockSize);
    c.Send(QByteArray(1, char(DownloadStatusPinRefused)));
};

QStringList Lines(const QByteArray& received)
{
    return QString::fromLatin1(received).split('\n', Qt::SkipEmptyParts);
}

// ---- The one schema of --json results, kept here. ----

const QSet<QString> Codes { "ok", "usage", "pin_required", "pin_refused", "no_status", "status_port", "connect_failed",
    "timeout", "network_error", "device_error", "too_large", "no_program", "file_error", "corrupt_data", "mismatch",
    "verify_failed", "device_not_found" };

using TFieldTypes = QHash<QString, QJsonValue::Type>;
constexpr auto Str = QJsonValue::String;
constexpr auto Num = QJsonValue::Double;
constexpr auto Bool = QJsonValue::Bool;
constexpr auto Arr = QJsonValue::Array;

// Every field a verb may add; those marked required are there on success.
struct TVerbSchema {
    TFieldTypes Fields;
    QStringList RequiredOnSuccess;
};

const QHash<QString, TVerbSchema> Schema {
    { "devices", { {}, {} } },
    { "status", { { { "ip", Str }, { "status", QJsonValue::Object } }, { "ip", "status" } } },
    { "upload",
        { { { "ip", Str }, { "file", Str }, { "bytes", Num }, { "sent_bytes", Num }, { "compressed", Bool },
              { "index_entries", Num }, { "verification", QJsonValue::Object } },
            { "ip", "file", "bytes", "sent_bytes", "compressed", "index_entries" } } },
    { "verify",
        { { { "ip", Str }, { "file", Str }, { "bytes", Num }, { "verification", QJsonValue::Object } },
            { "ip", "file", "bytes", "verification" } } },
    { "download",
        { { { "ip", Str }, { "file", Str }, { "bytes", Num }, { "kind", Str } }, { "ip", "file", "bytes", "kind" } } },
    { "send", { { { "ip", Str }, { "confirmed", Num } }, { "ip", "confirmed" } } },
    { "index", { { { "ip", Str }, { "entries", Arr } }, { "ip", "entries" } } },
    { "peek",
        { { { "ip", Str }, { "point", Num }, { "previous", Str }, { "line", Str }, { "next", Str } },
            { "ip", "point", "previous", "line", "next" } } },
    { "startfrom", { { { "ip", Str }, { "point", Num } }, { "ip", "point" } } },
    { "scan", { { { "file", Str }, { "rows", Arr }, { "candidates", Arr } }, { "file" } } },
    { "split", { { { "file", Str }, { "programs", Arr }, { "folder", Str } }, { "file", "programs" } } },
    { "cmt",
        { { { "file", Str }, { "rows", Arr }, { "program", Num }, { "output", Str }, { "bytes", Num } }, { "file" } } },
    { "hexdump", { { { "file", Str }, { "bytes", Num }, { "text", Str } }, { "file", "bytes", "text" } } },
    { "normalize", { { { "file", Str }, { "bytes", Num }, { "text", Str } }, { "file", "bytes", "text" } } },
};

int ExitOfCode(const QString& code)
{
    if (code == "ok")
        return 0;
    if (code == "usage")
        return 2;
    return code.startsWith("pin_") ? 3 : 1;
}

// Empty when the run's standard output is one valid result object of the verb.
QString SchemaViolation(const QString& verb, const TRun& run)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(run.Out, &error);
    if (error.error != QJsonParseError::NoError)
        return "not JSON: " + QString::fromUtf8(run.Out);
    if (verb == "devices" && run.ExitCode == 0)
        return document.isArray() ? QString() : "devices: no array";
    if (!document.isObject())
        return "no object";
    const QJsonObject object = document.object();
    if (!object["ok"].isBool() || !object["code"].isString() || !object["message"].isString())
        return "ok, code or message missing";
    const QString code = object["code"].toString();
    if (!Codes.contains(code))
        return "unknown code " + code;
    if (object["ok"].toBool() != (code == "ok") || ExitOfCode(code) != run.ExitCode)
        return QString("code %1 with ok %2 and exit %3").arg(code).arg(object["ok"].toBool()).arg(run.ExitCode);
    if (code != "ok" && object["message"].toString().isEmpty())
        return "failure without message";
    const TVerbSchema schema = Schema.value(verb);
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (it.key() == "ok" || it.key() == "code" || it.key() == "message")
            continue;
        if (!schema.Fields.contains(it.key()))
            return "unexpected field " + it.key();
        if (it.value().type() != schema.Fields[it.key()])
            return "wrong type of " + it.key();
    }
    if (code == "ok")
        for (const QString& field : schema.RequiredOnSuccess)
            if (!object.contains(field))
                return "missing " + field;
    return {};
}

QJsonObject JsonOf(const TRun& run)
{
    return QJsonDocument::fromJson(run.Out).object();
}

// Runs the client on a pseudo-terminal; the parent keeps the master side.
struct TPtyRun {
    pid_t Pid = -1;
    int Master = -1;
    QString SlaveName;
    ~TPtyRun()
    {
        if (Pid > 0) {
            ::kill(Pid, SIGKILL);
            ::waitpid(Pid, nullptr, 0);
        }
        if (Master >= 0)
            ::close(Master);
    }
    bool Start(const QStringList& args, const QProcessEnvironment& env)
    {
        QList<QByteArray> argv { QUILLEX_CLI };
        for (const QString& a : args)
            argv << a.toUtf8();
        QList<QByteArray> envp;
        for (const QString& e : env.toStringList())
            envp << e.toUtf8();
        std::vector<char*> argvPointers, envPointers;
        for (QByteArray& a : argv)
            argvPointers.push_back(a.data());
        argvPointers.push_back(nullptr);
        for (QByteArray& e : envp)
            envPointers.push_back(e.data());
        envPointers.push_back(nullptr);
        char name[256] = {};
        Pid = ::forkpty(&Master, name, nullptr, nullptr);
        if (Pid == 0) {
            ::execve(argvPointers[0], argvPointers.data(), envPointers.data());
            ::_exit(127);
        }
        SlaveName = QString::fromLocal8Bit(name);
        return Pid > 0;
    }
    // Reads the terminal until the text shows (or the time is up).
    bool WaitFor(const QByteArray& text, int timeoutMs = 10000)
    {
        QByteArray seen;
        QElapsedTimer timer;
        timer.start();
        while (!seen.contains(text) && timer.elapsed() < timeoutMs) {
            pollfd p { Master, POLLIN, 0 };
            if (::poll(&p, 1, 100) > 0) {
                char buffer[512];
                const ssize_t n = ::read(Master, buffer, sizeof buffer);
                if (n <= 0)
                    break;
                seen.append(buffer, n);
            }
        }
        return seen.contains(text);
    }
    // Whether the terminal echoes, read through its slave side.
    bool Echoes() const
    {
        const int fd = ::open(SlaveName.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
        termios t {};
        const bool ok = fd >= 0 && ::tcgetattr(fd, &t) == 0;
        if (fd >= 0)
            ::close(fd);
        return ok && (t.c_lflag & ECHO);
    }
    // The exit code, or -1 when the child did not exit normally in time.
    int Wait(int timeoutMs = 5000)
    {
        for (int waited = 0; waited < timeoutMs; waited += 10) {
            int status = 0;
            if (::waitpid(Pid, &status, WNOHANG) == Pid) {
                Pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            QThread::msleep(10);
        }
        return -1;
    }
};

const QByteArray SiemensText = "%_N_PART_MPF\nG0 X1\nM30\n";

QByteArray ProgramText()
{
    QByteArray text = "%\nO1000\n";
    for (int t = 1; t <= 25; ++t)
        text += "G0 X" + QByteArray::number(t) + "\nT" + QByteArray::number(t) + " M6\nG1 X10 Y20 F300\n";
    return text + "M30\n%\n";
}

} // namespace

class TestCliScripting : public QObject {
    Q_OBJECT

    quint16 FStatusPort = RandomPort();
    std::unique_ptr<TSimulation> FSim;
    std::unique_ptr<TCli> FCli;
    // Devices of the shared simulation: plain with an index, PIN 2468, silent,
    // small legacy, busy; one that gives its program back with the sixth byte
    // altered, one that hangs up on downloads, one holding the normalised program,
    // a SIEMENS control holding a program normalised for it.
    QString FPlain, FPinned, FSilent, FSmall, FBusy, FAltered, FHangsUp, FHolding, FSiemens;
    QString FProgram;

    const TCli& Cli() const { return *FCli; }

private slots:
    void initTestCase()
    {
        const QString base = RandomLoopback().section('.', 0, 2);
        FPlain = base + ".1";
        FPinned = base + ".2";
        FSilent = base + ".3";
        FSmall = base + ".4";
        FBusy = base + ".5";
        FAltered = base + ".6";
        FHangsUp = base + ".7";
        FHolding = base + ".8";
        FSiemens = base + ".9";
        FCli = std::make_unique<TCli>(FStatusPort);
        FProgram = Cli().File("program.nc");
        QString error;
        QVERIFY(WriteWholeFile(FProgram, ProgramText(), error));
        QVERIFY(WriteWholeFile(Cli().File("stored.nc"), PrepareFileForUpload(ProgramText(), false).Content, error));
        QVERIFY(WriteWholeFile(Cli().File("siemens.nc"), SiemensText, error));
        QVERIFY(
            WriteWholeFile(Cli().File("siemens-stored.nc"), PrepareFileForUpload(SiemensText, true).Content, error));
        FSim = std::make_unique<TSimulation>(FStatusPort,
            QStringList { "ip=" + FPlain + ",hw=HW4,erase=300000", "ip=" + FPinned + ",pin=2468",
                "ip=" + FSilent + ",nostatus=1", "ip=" + FSmall + ",maxfilesize=100,build=400,hw=HW2",
                "ip=" + FBusy + ",refuse=busy", "ip=" + FAltered + ",alter=5",
                "ip=" + FHangsUp + ",downloadfault=close", "ip=" + FHolding + ",program=" + Cli().File("stored.nc"),
                "ip=" + FSiemens + ",controller=SIEMENS,program=" + Cli().File("siemens-stored.nc") });
        QVERIFY(FSim->Ready());
    }

    // Options before, between and after the words, as --opt=value, and -- before
    // a command line that starts with '-': the device sees exactly the command lines.
    void optionsAnywhere_data()
    {
        QTest::addColumn<QStringList>("args"); // IP stands for the peer's address
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("batch"); // the last connection's lines; empty: no connection
        QTest::addColumn<int>("connections"); // with a PIN, its check comes first
        const QString login = "LOGIN&70216953";
        QTest::newRow("after the verb") << QStringList { "send", "IP", "--pin", "1234", "BR9600", "--no-status" } << 0
                                        << QStringList { login, "PIN&1234", "BR9600" } << 2;
        QTest::newRow("--opt=value before the verb")
            << QStringList { "--pin=1234", "--no-status", "send", "IP", "BR9600" } << 0
            << QStringList { login, "PIN&1234", "BR9600" } << 2;
        QTest::newRow("between the command lines") << QStringList { "send", "IP", "BR9600", "--no-status", "PARITYE" }
                                                   << 0 << QStringList { login, "BR9600", "PARITYE" } << 1;
        QTest::newRow("-- ends the options") << QStringList { "--no-status", "send", "IP", "--", "-X", "--pin" } << 0
                                             << QStringList { login, "-X", "--pin" } << 1;
        QTest::newRow("unknown option") << QStringList { "send", "IP", "--bogus", "--no-status" } << 2 << QStringList {}
                                        << 0;
        QTest::newRow("another verb's option")
            << QStringList { "send", "IP", "X", "--raw", "--no-status" } << 2 << QStringList {} << 0;
        QTest::newRow("help after the words")
            << QStringList { "send", "IP", "BR9600", "-h" } << 0 << QStringList {} << 0;
    }
    void optionsAnywhere()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QStringList, batch);
        QFETCH(int, connections);
        const QString ip = RandomLoopback();
        TScriptedPeer peer(ip, CommandPort, QList<TScript>(connections, AcceptAll));
        QVERIFY(peer.IsListening());
        args.replaceInStrings(QRegularExpression("^IP$"), ip);
        const TRun run = Cli().Run(args);
        QCOMPARE(run.ExitCode, exitCode);
        if (batch.isEmpty()) {
            QCOMPARE(peer.Connections(), 0);
            QCOMPARE(run.Err.isEmpty(), exitCode == 0);
            return;
        }
        QVERIFY(peer.WaitDone());
        QCOMPARE(peer.Connections(), connections);
        QCOMPARE(Lines(peer.Received().last()), batch);
    }

    void helpAndVersion()
    {
        TRun run = Cli().Run({ "--version" });
        QCOMPARE(run.ExitCode, 0);
        QCOMPARE(run.Out, QByteArray("quillex-cli " QUILLEX_VERSION "\n"));
        for (const char* verb : { "upload", "download", "scan", "split" }) {
            run = Cli().Run({ "--help", verb });
            QCOMPARE(run.ExitCode, 0);
            QVERIFY(run.Out.startsWith("Usage: quillex-cli " + QByteArray(verb)));
        }
        run = Cli().Run({ "-h" });
        QVERIFY(run.Out.contains("QUILLEX_PIN") && run.Out.contains("--pin-file"));
    }

    // Ctrl+C (and SIGTERM, SIGHUP) at the PIN prompt: echo back on, exit 128 + signal.
    void terminalRestoredAfterSignal_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("SIGINT") << int(SIGINT) << 130;
        QTest::newRow("SIGTERM") << int(SIGTERM) << 143;
        QTest::newRow("SIGHUP") << int(SIGHUP) << 129;
    }
    void terminalRestoredAfterSignal()
    {
        QFETCH(int, signal);
        QFETCH(int, exitCode);
        TPtyRun pty;
        QVERIFY(
            pty.Start({ "--no-status", "--pin-required", "send", RandomLoopback(), "BR9600" }, Cli().Environment()));
        QVERIFY(pty.WaitFor(QString::fromUtf8("şifre istiyor").toUtf8()));
        QTRY_VERIFY(!pty.Echoes()); // the prompt is waiting with echo off
        ::kill(pty.Pid, signal);
        QCOMPARE(pty.Wait(), exitCode);
        QVERIFY(pty.Echoes());
    }

    // Something else holds the status port: every verb that listens says so and fails.
    void statusPortTaken_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("devices") << QStringList { "devices", "--listen", "0" };
        QTest::newRow("status") << QStringList { "status", "IP" };
        QTest::newRow("upload") << QStringList { "upload", "IP", "PROGRAM" };
        QTest::newRow("send") << QStringList { "send", "IP", "BR9600" };
    }
    void statusPortTaken()
    {
        QFETCH(QStringList, args);
        const quint16 port = RandomPort();
        const int holder = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        QCOMPARE(::bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        const std::unique_ptr<int, void (*)(int*)> closer(&const_cast<int&>(holder), [](int* fd) { ::close(*fd); });
        args.replaceInStrings(QRegularExpression("^IP$"), RandomLoopback());
        args.replaceInStrings(QRegularExpression("^PROGRAM$"), FProgram);
        TCli cli(port);
        TRun run = cli.Run(args);
        QCOMPARE(run.ExitCode, 1);
        QCOMPARE(run.Err, QString::fromUtf8("Durum portu %1 dinlenemiyor: Address already in use\n").arg(port));
        run = cli.Run(args + QStringList { "--json" });
        QCOMPARE(SchemaViolation(args[0], run), QString());
        QCOMPARE(JsonOf(run)["code"].toString(), QString("status_port"));
    }

    // QUILLEX_STATUS_PORT is read as the window reads it: a value that is no
    // port is a usage error, never a quiet fall-back to 5003.
    void malformedStatusPort_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("above 65535") << "70000";
        QTest::newRow("letters") << "abc";
        QTest::newRow("zero") << "0";
        QTest::newRow("negative") << "-1";
        QTest::newRow("trailing letters") << "5003x";
        QTest::newRow("empty") << "";
    }
    void malformedStatusPort()
    {
        QFETCH(QString, value);
        const QHash<QString, QString> env { { "QUILLEX_STATUS_PORT", value } };
        const TRun run = Cli().Run({ "devices", "--listen", "0" }, {}, env);
        QCOMPARE(run.ExitCode, 2);
        QCOMPARE(
            run.Err, "quillex-cli: QUILLEX_STATUS_PORT must be a port number from 1 to 65535; got \"" + value + "\"\n");
        const TRun json = Cli().Run({ "--json", "send", FPlain, "BR9600" }, {}, env);
        QCOMPARE(SchemaViolation("send", json), QString());
        QCOMPARE(JsonOf(json)["code"].toString(), QString("usage"));
    }

    // The address word of a device verb: what is no IPv4 address is a usage
    // error before any connection; a device's name or MacId as `devices` shows
    // them stands for its address, a name two devices share is refused.
    void addressWords_data()
    {
        QTest::addColumn<QString>("word");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("device"); // the address reached, for exit 0
        QTest::newRow("number out of range") << "999.1.1.1" << 2 << "usage"
                                             << "";
        QTest::newRow("empty") << "" << 2 << "usage"
                               << "";
        QTest::newRow("IPv6") << "::1" << 2 << "usage"
                              << "";
        QTest::newRow("with a port") << "127.0.0.9:5000" << 2 << "usage"
                                     << "";
        QTest::newRow("three numbers") << "10.1.2" << 2 << "usage"
                                       << "";
        QTest::newRow("five numbers") << "10.1.2.3.4" << 2 << "usage"
                                      << "";
        QTest::newRow("name") << "Torna Bir" << 0 << "ok"
                              << "A";
        QTest::newRow("name, other letter case") << "torna bir" << 0 << "ok"
                                                 << "A";
        QTest::newRow("MacId") << "02:51:58:aa:bb:02" << 0 << "ok"
                               << "B";
        QTest::newRow("MacId with dashes") << "02-51-58-AA-BB-02" << 0 << "ok"
                                           << "B";
        QTest::newRow("name of two devices") << "Freze" << 2 << "usage"
                                             << "";
        QTest::newRow("no such device") << "Yok Boyle" << 1 << "device_not_found"
                                        << "";
    }

    void addressWords()
    {
        QFETCH(QString, word);
        QFETCH(int, exitCode);
        QFETCH(QString, code);
        QFETCH(QString, device);
        const quint16 port = RandomPort();
        const QString base = RandomLoopback().section('.', 0, 2);
        const QHash<QString, QString> addresses { { "A", base + ".1" }, { "B", base + ".2" } };
        TSimulation sim(port,
            { "ip=" + base + ".1,name=Torna Bir,macid=02:51:58:AA:BB:01",
                "ip=" + base + ".2,name=Freze,macid=02:51:58:AA:BB:02", "ip=" + base + ".3,name=Freze" });
        QVERIFY(sim.Ready());
        TCli cli(port);
        const TRun run = cli.Run({ "status", word, "--json" });
        QVERIFY2(run.ExitCode == exitCode, qPrintable(QString::number(run.ExitCode) + " " + run.Err));
        const QJsonObject result = JsonOf(run);
        QCOMPARE(result["code"].toString(), code);
        if (exitCode == 0)
            QCOMPARE(result["ip"].toString(), addresses[device]);
        else
            QVERIFY(!run.Err.contains(QString::fromUtf8("bağlanılamadı")));
    }

    // No device heard: the list stays empty and standard error says how long
    // the client listened and which UDP port must be open.
    void devicesNoneHeard()
    {
        const quint16 port = RandomPort();
        TCli cli(port);
        TRun run = cli.Run({ "devices", "--listen", "0.2" });
        QCOMPARE(run.ExitCode, 0);
        QCOMPARE(run.Out, QByteArray());
        QCOMPARE(run.Err,
            QString::fromUtf8("0.2 sn içinde hiçbir cihaz duyulmadı; cihazların durum bilgisi UDP %1 portundan gelir, "
                              "bu port açık olmalı.\n")
                .arg(port));
        run = cli.Run({ "devices", "--listen", "0.2", "--json" });
        QCOMPARE(run.ExitCode, 0);
        QCOMPARE(QJsonDocument::fromJson(run.Out).array().size(), 0);
        QCOMPARE(cli.Run({ "-q", "devices", "--listen", "0" }).Err, QString());
    }

    // A caller's PIN that the device refuses ends the run, though a good PIN is stored.
    void refusedCallerPinWithStoredPin_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QString>("environmentPin");
        QTest::newRow("--pin") << QStringList { "--pin", "1111" } << QByteArray() << QString();
        QTest::newRow("QUILLEX_PIN") << QStringList {} << QByteArray() << QString("1111");
        QTest::newRow("--pin-file FILE") << QStringList { "--pin-file", "PINFILE" } << QByteArray() << QString();
        QTest::newRow("--pin-file -") << QStringList { "--pin-file", "-" } << QByteArray("1111\n") << QString();
    }
    void refusedCallerPinWithStoredPin()
    {
        QFETCH(QStringList, options);
        QFETCH(QByteArray, input);
        QFETCH(QString, environmentPin);
        QString error;
        QVERIFY(WriteWholeFile(Cli().File("pin.txt"), "1111\r\nrest\n", error));
        options.replaceInStrings(QRegularExpression("^PINFILE$"), Cli().File("pin.txt"));
        QCOMPARE(Cli().Run({ "--pin", "2468", "--save-pin", "send", FPinned, "BR9600" }).ExitCode, 0); // stored
        QHash<QString, QString> env;
        if (!environmentPin.isEmpty())
            env.insert("QUILLEX_PIN", environmentPin);
        const TRun run = Cli().Run(options + QStringList { "send", FPinned, "NAME&Yanlis" }, input, env);
        QCOMPARE(run.ExitCode, 3);
        QCOMPARE(run.Err, QString::fromUtf8("Hata: Cihaz şifreyi kabul etmedi\n"));
        const TRun json = Cli().Run(options + QStringList { "--json", "status", FPinned }, input, env);
        QVERIFY(!json.Out.contains("Yanlis")); // the command never reached the device
        // Without a caller's PIN the stored one serves.
        QCOMPARE(Cli().Run({ "send", FPinned, "BR9600" }).ExitCode, 0);
    }

    // A PIN the caller gives serves that run only: nothing reaches the settings
    // file and no master key is made, unless --save-pin asks to keep it.
    void callerPinKeptOnlyWhenAsked_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QString>("environmentPin");
        QTest::newRow("--pin") << QStringList { "--pin", "2468" } << QByteArray() << QString();
        QTest::newRow("QUILLEX_PIN") << QStringList {} << QByteArray() << QString("2468");
        QTest::newRow("--pin-file -") << QStringList { "--pin-file", "-" } << QByteArray("2468\n") << QString();
    }
    void callerPinKeptOnlyWhenAsked()
    {
        QFETCH(QStringList, options);
        QFETCH(QByteArray, input);
        QFETCH(QString, environmentPin);
        const TCli cli(FStatusPort); // a settings file and key folder of its own
        QHash<QString, QString> env;
        if (!environmentPin.isEmpty())
            env.insert("QUILLEX_PIN", environmentPin);
        const QString settings = cli.File("quillex_settings.ini");
        const QString masterKey = cli.File("quillex/pin-master.key");
        QCOMPARE(cli.Run(options + QStringList { "send", FPinned, "BR9600" }, input, env).ExitCode, 0);
        QVERIFY(!FileBytes(settings).contains("DevicePins"));
        QVERIFY(!QFile::exists(masterKey));
        TRun later = cli.Run({ "--json", "send", FPinned, "BR9600" });
        QCOMPARE(later.ExitCode, 3);
        QCOMPARE(JsonOf(later)["code"].toString(), QString("pin_required"));

        QCOMPARE(cli.Run(options + QStringList { "--save-pin", "send", FPinned, "BR9600" }, input, env).ExitCode, 0);
        QVERIFY(FileBytes(settings).contains("DevicePins"));
        QVERIFY(!FileBytes(settings).contains("2468")); // kept protected
        QVERIFY(QFile::exists(masterKey));
        QCOMPARE(cli.Run({ "send", FPinned, "BR9600" }).ExitCode, 0);
    }

    // QUILLEX_PIN and --pin-file - keep the PIN out of /proc/PID/cmdline; --pin does not.
    void pinOutOfProcessList_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QString>("environmentPin");
        QTest::addColumn<bool>("visible");
        QTest::newRow("QUILLEX_PIN") << QStringList {} << QByteArray() << QString("97531") << false;
        QTest::newRow("--pin-file -") << QStringList { "--pin-file", "-" } << QByteArray("97531\n") << QString()
                                      << false;
        QTest::newRow("--pin, for contrast") << QStringList { "--pin", "97531" } << QByteArray() << QString() << true;
    }
    void pinOutOfProcessList()
    {
        QFETCH(QStringList, options);
        QFETCH(QByteArray, input);
        QFETCH(QString, environmentPin);
        QFETCH(bool, visible);
        const QString ip = RandomLoopback();
        std::atomic<bool> release { false };
        // The device takes its time answering the PIN check, while the process list is read.
        const TScript slowCheck = [&](TPeerConnection& c) {
            for (int i = 0; i < 500 && !release; ++i)
                QThread::msleep(10);
            AcceptAll(c);
        };
        TScriptedPeer peer(ip, CommandPort, { slowCheck, AcceptAll });
        QHash<QString, QString> env;
        if (!environmentPin.isEmpty())
            env.insert("QUILLEX_PIN", environmentPin);
        QProcess process;
        Cli().Start(process, options + QStringList { "--no-status", "send", ip, "BR9600" }, input, env);
        QTRY_COMPARE(peer.Connections(), 1);
        QFile cmdline(QString("/proc/%1/cmdline").arg(process.processId()));
        QVERIFY(cmdline.open(QIODevice::ReadOnly));
        const QByteArray arguments = cmdline.readAll();
        QVERIFY(arguments.contains("BR9600"));
        QCOMPARE(arguments.contains("97531"), visible);
        release = true;
        QCOMPARE(TCli::Finish(process).ExitCode, 0);
        QVERIFY(peer.WaitDone());
        QVERIFY(Lines(peer.Received().last()).contains("PIN&97531")); // and the PIN was used
    }

    // "Cihaz şifreyi kabul etmedi" on the verb's own connection: exit 3 in every verb.
    void refusedPinInEveryVerb_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("script"); // 0 command batch or query, 1 upload, 2 download
        QTest::newRow("send") << QStringList { "send", "IP", "BR9600" } << int(CommandPort) << 0;
        QTest::newRow("startfrom") << QStringList { "startfrom", "IP", "1" } << int(CommandPort) << 0;
        QTest::newRow("index") << QStringList { "index", "IP" } << int(CommandPort) << 0;
        QTest::newRow("peek") << QStringList { "peek", "IP", "1" } << int(CommandPort) << 0;
        QTest::newRow("upload") << QStringList { "upload", "IP", "PROGRAM", "--controller", "FANUC", "--hw", "HW4",
            "--build", "512", "--maxfilesize", "100000" }
                                << int(UploadPort) << 1;
        QTest::newRow("download") << QStringList { "download", "IP", "-o", "OUT" } << int(DownloadPort) << 2;
    }
    void refusedPinInEveryVerb()
    {
        QFETCH(QStringList, args);
        QFETCH(int, port);
        QFETCH(int, script);
        const QString ip = RandomLoopback();
        args.replaceInStrings(QRegularExpression("^IP$"), ip);
        args.replaceInStrings(QRegularExpression("^PROGRAM$"), FProgram);
        args.replaceInStrings(QRegularExpression("^OUT$"), Cli().File("refused.out"));
        const TScript verbScript = script == 1 ? RefuseUploadPin : script == 2 ? RefuseDownloadPin : RefusePin;
        // The PIN check passes; the verb's own connection is refused.
        TScriptedPeer command(ip, CommandPort,
            port == CommandPort ? QList<TScript> { AcceptAll, verbScript } : QList<TScript> { AcceptAll });
        std::unique_ptr<TScriptedPeer> transfer;
        if (port != CommandPort)
            transfer = std::make_unique<TScriptedPeer>(ip, quint16(port), QList<TScript> { verbScript });
        const TRun run
            = Cli().Run(QStringList { "--no-status", "--json", "-q" } + args, {}, { { "QUILLEX_PIN", "1234" } });
        QCOMPARE(run.ExitCode, 3);
        QCOMPARE(run.Err, QString::fromUtf8("Hata: Cihaz şifreyi kabul etmedi\n"));
        QCOMPARE(SchemaViolation(args[0], run), QString());
        QCOMPARE(JsonOf(run)["code"].toString(), QString("pin_refused"));
        QCOMPARE(JsonOf(run)["message"].toString(), QString::fromUtf8("Cihaz şifreyi kabul etmedi"));
    }

    // The JSON code names what happened: a device's error text that reads like
    // another failure, or a reworded message, changes nothing.
    void codeFromWhatHappened_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("reads like a refused PIN") << QByteArray("ERR Cihaz şifreyi kabul etmedi");
        QTest::newRow("reads like no program") << QByteArray("ERR QUILLEX'de kayıtlı dosya yok");
        QTest::newRow("reads like a time-out") << QByteArray("ERR soket (hata kodu: 11)");
        QTest::newRow("reads like too large") << QByteArray("ERR cihazin 100 bayt sinirina sigmiyor");
    }
    void codeFromWhatHappened()
    {
        QFETCH(QByteArray, reply);
        const QString ip = RandomLoopback();
        TScriptedPeer peer(ip, CommandPort, { [&](TPeerConnection& c) {
            c.ReadLine();
            c.Send("OK\n");
            c.ReadLine();
            c.Send(reply + "\n");
            c.ReadAll(200);
        } });
        const TRun run = Cli().Run({ "--no-status", "--json", "send", ip, "BR9600" });
        QCOMPARE(run.ExitCode, 1);
        QCOMPARE(SchemaViolation("send", run), QString());
        QCOMPARE(JsonOf(run)["code"].toString(), QString("device_error"));
        QCOMPARE(JsonOf(run)["message"].toString(), QString::fromUtf8(reply.mid(4)));
    }

    // Every verb and every kind of outcome speaks the one schema; rows run in order
    // (the upload comes before the verbs that read it back).
    void jsonEveryVerb_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("code");
        const QString cmt = QUILLEX_FIXTURES "/cmt/two-programs.cmt";
        QTest::newRow("devices") << QStringList { "devices", "--listen", "0.6" } << "ok";
        QTest::newRow("status") << QStringList { "status", FPlain } << "ok";
        QTest::newRow("status silent") << QStringList { "status", FSilent, "--listen", "0.4" } << "no_status";
        QTest::newRow("upload") << QStringList { "upload", FPlain, FProgram } << "ok";
        QTest::newRow("upload too large") << QStringList { "upload", FSmall, FProgram } << "too_large";
        QTest::newRow("upload busy") << QStringList { "upload", FBusy, FProgram } << "device_error";
        QTest::newRow("upload silent") << QStringList { "upload", FSilent, FProgram } << "no_status";
        QTest::newRow("upload missing file") << QStringList { "upload", FPlain, "/nonexistent.nc" } << "file_error";
        QTest::newRow("upload usage") << QStringList { "upload", FPlain } << "usage";
        QTest::newRow("upload --no-status without facts")
            << QStringList { "upload", FPlain, FProgram, "--no-status", "--hw", "HW4" } << "usage";
        QTest::newRow("upload verified") << QStringList { "upload", FPlain, FProgram, "--verify" } << "ok";
        QTest::newRow("upload altered") << QStringList { "upload", FAltered, FProgram, "--verify" } << "mismatch";
        QTest::newRow("upload read-back refused")
            << QStringList { "upload", FHangsUp, FProgram, "--verify" } << "verify_failed";
        QTest::newRow("verify") << QStringList { "verify", FPlain, FProgram } << "ok";
        QTest::newRow("verify altered") << QStringList { "verify", FAltered, FProgram } << "mismatch";
        QTest::newRow("verify missing file") << QStringList { "verify", FPlain, "/nonexistent.nc" } << "file_error";
        QTest::newRow("verify usage") << QStringList { "verify", FPlain } << "usage";
        QTest::newRow("verify controller with status")
            << QStringList { "verify", FPlain, FProgram, "--controller", "FANUC" } << "usage";
        QTest::newRow("download") << QStringList { "download", FPlain, "-o", "OUT" } << "ok";
        QTest::newRow("download nothing stored") << QStringList { "download", FSmall, "-o", "OUT" } << "no_program";
        QTest::newRow("download to stdout") << QStringList { "download", FPlain } << "usage";
        QTest::newRow("download nobody there")
            << QStringList { "download", RandomLoopback(), "-o", "OUT", "--no-status" } << "connect_failed";
        QTest::newRow("index") << QStringList { "index", FPlain } << "ok";
        QTest::newRow("peek") << QStringList { "peek", FPlain, "1" } << "ok";
        QTest::newRow("startfrom") << QStringList { "startfrom", FPlain, "1" } << "ok";
        QTest::newRow("send") << QStringList { "send", FPlain, "BR19200" } << "ok";
        QTest::newRow("send refused") << QStringList { "send", FPlain, "BR12345" } << "device_error";
        QTest::newRow("send PIN missing")
            << QStringList { "send", FPinned, "BR9600", "--settings", "NOPINS" } << "pin_required";
        QTest::newRow("send PIN refused")
            << QStringList { "send", FPinned, "BR9600", "--pin", "1111" } << "pin_refused";
        QTest::newRow("scan") << QStringList { "scan", FProgram } << "ok";
        QTest::newRow("scan candidates") << QStringList { "scan", FProgram, "--candidates" } << "ok";
        QTest::newRow("scan missing file") << QStringList { "scan", "/nonexistent.nc" } << "file_error";
        QTest::newRow("split") << QStringList { "split", FProgram } << "ok";
        QTest::newRow("cmt") << QStringList { "cmt", cmt } << "ok";
        QTest::newRow("cmt extract") << QStringList { "cmt", cmt, "--extract", "1", "-o", "OUT" } << "ok";
        QTest::newRow("cmt not cmt") << QStringList { "cmt", FProgram } << "corrupt_data";
        QTest::newRow("hexdump") << QStringList { "hexdump", cmt } << "ok";
        QTest::newRow("normalize") << QStringList { "normalize", FProgram } << "ok";
        QTest::newRow("no verb") << QStringList {} << "usage";
    }
    void jsonEveryVerb()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, code);
        args.replaceInStrings(QRegularExpression("^OUT$"), Cli().File("json.out"));
        args.replaceInStrings(QRegularExpression("^NOPINS$"), Cli().File("no-pins.ini"));
        const TRun run = Cli().Run(args + QStringList { "--json" });
        const QString verb = args.value(0);
        QVERIFY2(SchemaViolation(verb, run).isEmpty(), qPrintable(SchemaViolation(verb, run) + " " + run.Err));
        if (verb == "devices") {
            QCOMPARE(run.ExitCode, 0);
            QCOMPARE(QJsonDocument::fromJson(run.Out).array().size(), 8); // all but the silent one
            return;
        }
        const QJsonObject object = JsonOf(run);
        QCOMPARE(object["code"].toString(), code);
        QCOMPARE(run.Out.count('\n'), 1); // one object, nothing else on standard output
        if (verb == "upload" && code == "ok") {
            const TPreparedUpload expected = PrepareFileForUpload(ProgramText(), false);
            QCOMPARE(object["bytes"].toInteger(), expected.Content.size());
            QCOMPARE(object["compressed"].toBool(), true);
            QCOMPARE(object["index_entries"].toInt(), 20);
            QVERIFY(object["sent_bytes"].toInteger() < expected.Content.size());
        }
        if (verb == "index" && code == "ok")
            QCOMPARE(object["entries"].toArray().size(), 20);
        if (verb == "download" && code == "ok") {
            QCOMPARE(object["kind"].toString(), QString("program"));
            QCOMPARE(object["bytes"].toInteger(), FileBytes(Cli().File("json.out")).size());
        }
    }

    // upload --verify and verify: the outcome on standard output or error, the
    // exit code, and the "verification" object with the CRC-32 of the bytes read
    // back and the first differing byte counted from 1.
    void readBackVerification_data()
    {
        QTest::addColumn<QStringList>("args"); // after --json
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<int>("firstDifference");
        QTest::newRow("upload, equal") << QStringList { "upload", FPlain, FProgram, "--verify" } << 0 << "verified"
                                       << 0;
        QTest::newRow("upload, sixth byte altered")
            << QStringList { "upload", FAltered, FProgram, "--verify" } << 1 << "mismatch" << 6;
        QTest::newRow("upload legacy, equal")
            << QStringList { "upload", FSmall, "SHORT", "--verify" } << 0 << "verified" << 0;
        QTest::newRow("upload, read-back refused")
            << QStringList { "upload", FHangsUp, FProgram, "--verify" } << 1 << "failed" << 0;
        QTest::newRow("verify, what the device holds")
            << QStringList { "verify", FHolding, FProgram } << 0 << "verified" << 0;
        QTest::newRow("verify, another file") << QStringList { "verify", FHolding, "SHORT" } << 1 << "mismatch" << 4;
        QTest::newRow("verify, unchanged bytes")
            << QStringList { "verify", FHolding, "STORED", "--raw" } << 0 << "verified" << 0;
        QTest::newRow("verify without status")
            << QStringList { "verify", FHolding, FProgram, "--no-status" } << 0 << "verified" << 0;
        // The controller decides the '%' lines: from the status, or from --controller without it.
        QTest::newRow("verify SIEMENS") << QStringList { "verify", FSiemens, "SIEMENS" } << 0 << "verified" << 0;
        QTest::newRow("verify SIEMENS without status")
            << QStringList { "verify", FSiemens, "SIEMENS", "--no-status", "--controller", "siemens" } << 0
            << "verified" << 0;
        QTest::newRow("verify SIEMENS prepared for another control")
            << QStringList { "verify", FSiemens, "SIEMENS", "--no-status" } << 1 << "mismatch" << 2;
    }
    void readBackVerification()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, outcome);
        QFETCH(int, firstDifference);
        QString error;
        QVERIFY(WriteWholeFile(Cli().File("short.nc"), "G0 X1\n", error));
        args.replaceInStrings(QRegularExpression("^SHORT$"), Cli().File("short.nc"));
        args.replaceInStrings(QRegularExpression("^STORED$"), Cli().File("stored.nc"));
        args.replaceInStrings(QRegularExpression("^SIEMENS$"), Cli().File("siemens.nc"));
        const bool siemens = args[1] == FSiemens && !(args.contains("--no-status") && !args.contains("--controller"));
        const QByteArray sent
            = args.contains("--raw") ? FileBytes(args[2]) : PrepareFileForUpload(FileBytes(args[2]), siemens).Content;

        const TRun json = Cli().Run(args + QStringList { "--json", "-q" });
        QCOMPARE(json.ExitCode, exitCode);
        QVERIFY2(SchemaViolation(args[0], json).isEmpty(), qPrintable(SchemaViolation(args[0], json)));
        const QJsonObject verification = JsonOf(json)["verification"].toObject();
        QCOMPARE(verification["outcome"].toString(), outcome);
        QCOMPARE(verification["first_difference"].toInt(), firstDifference);
        QCOMPARE(verification.contains("first_difference"), outcome == "mismatch");
        if (outcome == "verified") {
            QCOMPARE(verification["crc32"].toString(), Crc32Text(Crc32Of(sent)));
            QCOMPARE(verification["message"].toString(),
                QString::fromUtf8("Doğrulandı: cihazdaki program gönderilenle aynı (CRC32 %1)")
                    .arg(Crc32Text(Crc32Of(sent))));
        } else if (outcome == "mismatch") {
            QCOMPARE(verification["message"].toString(),
                QString::fromUtf8("Doğrulama başarısız: cihazdaki program gönderilenden farklı (ilk fark %1. baytta).")
                    .arg(firstDifference));
            QCOMPARE(JsonOf(json)["message"].toString(), verification["message"].toString());
        } else {
            QVERIFY(!verification.contains("crc32"));
            QVERIFY2(verification["message"].toString().startsWith(
                         QString::fromUtf8("Doğrulanamadı: Dosya bilgisi alınamadı")),
                qPrintable(verification["message"].toString()));
        }
        // Without --json: the verdict on standard output when equal, on standard error otherwise.
        const TRun text = Cli().Run(args + QStringList { "--progress", "none" });
        QCOMPARE(text.ExitCode, exitCode);
        const QString shown = verification["message"].toString();
        if (outcome == "verified")
            QVERIFY2(QString::fromUtf8(text.Out).endsWith(shown + "\n"), text.Out.constData());
        else
            QVERIFY2(text.Err.endsWith(shown + "\n"), qPrintable(text.Err));
        // verify never uploads: the device still holds what it held.
        if (args[0] == "verify") {
            const QString held = args[1] == FSiemens ? "siemens-stored.nc" : "stored.nc";
            const TRun download = Cli().Run({ "download", args[1], "-o", "-", "-q" });
            QCOMPARE(download.Out, FileBytes(Cli().File(held)));
        }
    }

    // The read-back's percentages as lines a script can read.
    void readBackProgressLines()
    {
        const TRun run = Cli().Run({ "verify", FHolding, FProgram, "--progress", "lines" });
        QCOMPARE(run.ExitCode, 0);
        QVERIFY2(run.Err.contains("verify 100%\n"), qPrintable(run.Err));
    }

    // "-" for standard input and output.
    void standardInputAndOutput()
    {
        const QByteArray program = ProgramText();
        QCOMPARE(Cli().Run({ "upload", FPlain, "-", "-q" }, program).ExitCode, 0);
        const TRun download = Cli().Run({ "download", FPlain, "-o", "-", "-q" });
        QCOMPARE(download.ExitCode, 0);
        QCOMPARE(download.Out, PrepareFileForUpload(program, false).Content);
        QCOMPARE(download.Err, QString());
        for (const char* verb : { "normalize", "scan", "hexdump", "split" }) {
            const TRun fromFile = Cli().Run({ verb, FProgram });
            const TRun fromInput = Cli().Run({ verb, "-" }, program);
            QCOMPARE(fromInput.ExitCode, 0);
            QVERIFY(!fromInput.Out.isEmpty());
            QCOMPARE(fromInput.Out, fromFile.Out);
        }
        const TRun both = Cli().Run({ "upload", FPlain, "-", "--pin-file", "-" }, program);
        QCOMPARE(both.ExitCode, 2);
        QVERIFY2(both.Err.contains("standard input"), qPrintable(both.Err));
    }

    // Progress off a terminal: "stage N%" lines, each once, in order; none with -q or --progress=none.
    void progressLines()
    {
        QByteArray big; // large enough for many progress steps and a long erase
        for (int i = 0; big.size() < 3000000; ++i)
            big += "G1 X" + QByteArray::number(i % 977) + " Y" + QByteArray::number(i % 613) + " F"
                + QByteArray::number(i) + "\n";
        QString error;
        QVERIFY(WriteWholeFile(Cli().File("big.nc"), big, error));
        TRun run = Cli().Run({ "upload", FPlain, Cli().File("big.nc"), "--raw" });
        QCOMPARE(run.ExitCode, 0);
        const QStringList lines = run.Err.split('\n', Qt::SkipEmptyParts);
        QHash<QString, int> last;
        const QRegularExpression format("^(upload|erase) (\\d+)%$");
        int progressLines = 0;
        for (const QString& line : lines) {
            const QRegularExpressionMatch m = format.match(line);
            if (!m.hasMatch())
                continue;
            ++progressLines;
            const int percent = m.captured(2).toInt();
            QVERIFY2(percent > last.value(m.captured(1), -1), qPrintable(line)); // no repeats, never back
            last[m.captured(1)] = percent;
        }
        QCOMPARE(last.value("upload"), 100);
        QVERIFY(last.contains("erase"));
        QVERIFY(progressLines > 10);
        run = Cli().Run({ "upload", FPlain, Cli().File("big.nc"), "--raw", "--progress=none" });
        QCOMPARE(run.ExitCode, 0);
        QVERIFY2(!run.Err.contains('%'), qPrintable(run.Err));
        run = Cli().Run({ "-q", "upload", FPlain, FProgram });
        QCOMPARE(run.ExitCode, 0);
        QCOMPARE(run.Err, QString());
        QCOMPARE(run.Out, QByteArray());
        run = Cli().Run({ "upload", FPlain, FProgram, "--progress", "bar" });
        QVERIFY(run.Err.contains("\r[####################] 100%"));
        QCOMPARE(Cli().Run({ "upload", FPlain, FProgram, "--progress", "fast" }).ExitCode, 2);
    }

    // Without a status: a note after the wait, and --no-status skips it.
    void withoutStatus()
    {
        QElapsedTimer timer;
        timer.start();
        TRun run = Cli().Run({ "send", FSilent, "BR9600" });
        QCOMPARE(run.ExitCode, 0);
        QVERIFY(run.Err.contains(QString::fromUtf8("%1 cihazından durum bilgisi alınamadı").arg(FSilent)));
        timer.restart();
        run = Cli().Run({ "send", FSilent, "BR9600", "--no-status" });
        QCOMPARE(run.ExitCode, 0);
        QCOMPARE(run.Err, QString());
        QVERIFY(timer.elapsed() < 4000);
        // upload takes the device's facts from the options; one missing is a usage error.
        const QStringList facts { "--no-status", "--controller", "FANUC", "--hw", "HW4", "--build", "512",
            "--maxfilesize", "1000000" };
        run = Cli().Run(QStringList { "upload", FSilent, FProgram, "--json" } + facts);
        QCOMPARE(run.ExitCode, 0);
        QCOMPARE(JsonOf(run)["index_entries"].toInt(), 20);
        for (const char* option : { "--controller", "--hw", "--build", "--maxfilesize" }) {
            QStringList partial = facts;
            partial.remove(partial.indexOf(option), 2);
            run = Cli().Run(QStringList { "upload", FSilent, FProgram } + partial);
            QCOMPARE(run.ExitCode, 2);
            QVERIFY2(run.Err.contains(option), qPrintable(run.Err));
        }
        // --raw needs no controller.
        QStringList raw = facts;
        raw.remove(raw.indexOf("--controller"), 2);
        QCOMPARE(Cli().Run(QStringList { "upload", FSilent, FProgram, "--raw" } + raw).ExitCode, 0);
        QCOMPARE(Cli().Run({ "upload", FPlain, FProgram, "--hw", "HW4" }).ExitCode, 2); // facts need --no-status
    }
};

QTEST_GUILESS_MAIN(TestCliScripting)
#include "tst_cliscripting.moc"
