// quillex-devsim: simulated Quillex devices on loopback addresses, for tests,
// demonstrations and `make run`.
#include "SimDevice.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <csignal>
#include <cstdio>

namespace {

const char* const DeviceHelp = R"(Device keys (--device key=value,key=value,... or objects in --config JSON):
  ip=127.0.0.2            the device's loopback address
  name=Torna 1            the device's name
  macid=02:51:58:00:00:02  its MacId (made from ip; macid= sends none)
  controller=FANUC        the controller type
  hw=HW4                  the hardware (HW2, HW3, HW4)
  fw=2.4.1                the firmware version
  build=512               the firmware build number
  maxfilesize=33554432    the largest program it stores
  pin=1234                the transfer PIN (none: no PIN wanted)
  baud=9600               serial speed
  databits=8              serial data bits
  parity=N                serial parity
  stopbits=1              serial stop bits
  xofftimeout=30          XOFF time-out
  xonxoff=1               XON/XOFF flow control
  erase=BYTES_PER_SECOND  flash erase speed (0: instant)
  interval=STATUS_MS      time between status datagrams
  capture=FILE            a raw capture the next download returns
  program=FILE            the stored program
  save=FILE               each upload's payload as received (FILE.index: its start-from offsets, one a line)
  index=LINE[:OFFSET];...  the stored start-from index, points 0, 1, ... in this order; an upload replaces it

Fault switches:
  split=1                 one byte per send
  closeafter=N            drop a connection after N bytes
  silent=1                never answer
  garbage=1               random datagrams
  wrongkey=1              datagrams under another key
  nostatus=1              no datagrams
  refuse=TEXT             answer "ERR TEXT"
  torn=1                  close after the first OK
  peekerror=N;...         PEEKLINE of these points answers {"error": "line unreadable"}
  alter=OFFSET            the program given back on download has the byte at OFFSET, from 0, flipped
  cut=N                   the program given back on download lacks its last N bytes
  downloadfault=MODE      silent: the download port never answers; close: it hangs up at once
  refuseindex=TEXT        answer start-from index uploads "ERR TEXT"; the program stays stored
)";

bool ReadFile(const QString& path, QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    bytes = file.readAll();
    return true;
}

bool Apply(SimConfig& c, const QString& key, const QString& value, QString& error)
{
    bool ok = true;
    const auto flag = [&] { return value == "1" || value.compare("true", Qt::CaseInsensitive) == 0; };
    if (key == "ip")
        c.Ip = value;
    else if (key == "name")
        c.Name = value;
    else if (key == "macid") {
        c.MacId = value;
        c.MacIdGiven = true;
    } else if (key == "controller")
        c.Controller = value;
    else if (key == "hw")
        c.Hw = value;
    else if (key == "fw")
        c.Fw = value;
    else if (key == "build")
        c.Build = value.toInt(&ok);
    else if (key == "maxfilesize")
        c.MaxFileSize = value.toLongLong(&ok);
    else if (key == "pin")
        c.Pin = value;
    else if (key == "baud")
        c.Baud = value.toInt(&ok);
    else if (key == "databits")
        c.DataBits = value.toInt(&ok);
    else if (key == "parity")
        c.Parity = value;
    else if (key == "stopbits")
        c.StopBits = value.toInt(&ok);
    else if (key == "xofftimeout")
        c.XoffTimeout = value.toInt(&ok);
    else if (key == "xonxoff")
        c.XonXoff = flag();
    else if (key == "erase")
        c.EraseBytesPerSecond = value.toLongLong(&ok);
    else if (key == "interval")
        c.StatusIntervalMs = value.toInt(&ok);
    else if (key == "capture")
        ok = ReadFile(value, c.Capture);
    else if (key == "program")
        ok = ReadFile(value, c.Program);
    else if (key == "save")
        c.SaveFile = value;
    else if (key == "split")
        c.SplitReplies = flag();
    else if (key == "closeafter")
        c.CloseAfterBytes = value.toLongLong(&ok);
    else if (key == "silent")
        c.Silent = flag();
    else if (key == "garbage")
        c.GarbageDatagrams = flag();
    else if (key == "wrongkey")
        c.WrongKey = flag();
    else if (key == "nostatus")
        c.NoStatus = flag();
    else if (key == "refuse")
        c.Refuse = value;
    else if (key == "torn")
        c.TornReplies = flag();
    else if (key == "alter")
        c.Alter = value.toLongLong(&ok);
    else if (key == "cut")
        c.Cut = value.toLongLong(&ok);
    else if (key == "refuseindex")
        c.RefuseIndex = value;
    else if (key == "downloadfault") {
        c.DownloadFault = value;
        ok = value == "silent" || value == "close";
    } else if (key == "index") {
        for (const QString& point : value.split(';', Qt::SkipEmptyParts)) {
            bool lineOk = false, offsetOk = true;
            const quint32 line = point.section(':', 0, 0).toUInt(&lineOk);
            const quint32 offset = point.contains(':') ? point.section(':', 1).toUInt(&offsetOk) : 0;
            ok = ok && lineOk && offsetOk;
            c.Index.append({ line, offset });
        }
    } else if (key == "peekerror") {
        for (const QString& point : value.split(';', Qt::SkipEmptyParts)) {
            bool pointOk = false;
            c.PeekErrors.append(point.toInt(&pointOk));
            ok = ok && pointOk;
        }
    } else {
        error = "unknown device key: " + key;
        return false;
    }
    if (!ok)
        error = QString("bad value for %1: %2").arg(key, value);
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    app.setApplicationName("quillex-devsim");
    app.setApplicationVersion(QUILLEX_VERSION);
    std::signal(SIGTERM, [](int) { QCoreApplication::quit(); });
    std::signal(SIGINT, [](int) { QCoreApplication::quit(); });

    QCommandLineParser parser;
    parser.setApplicationDescription(QString("Simulated Quillex devices, each on its own loopback address.\n\n")
        + DeviceHelp
        + "\nExample:\n  quillex-devsim --device ip=127.0.0.2,name=Torna 1,hw=HW4 --device ip=127.0.0.3,pin=1234");
    parser.addHelpOption();
    parser.addVersionOption();
    QCommandLineOption device("device", "One device, as key=value pairs separated by commas.", "spec");
    QCommandLineOption config("config", "A JSON file: {\"target\": \"127.0.0.1:5003\", \"devices\": [{...}]}.", "file");
    QCommandLineOption target(
        "target", "Where status datagrams go (default 127.0.0.1:5003).", "host:port", "127.0.0.1:5003");
    QCommandLineOption count("count", "Add N devices on 127.0.1.1 onward (names Sim-1...).", "n");
    QCommandLineOption commandLog(
        "command-log", "Print every command line a device receives to standard output (\"127.0.0.2: STARTFROM1\").");
    parser.addOptions({ device, config, target, count, commandLog });
    parser.process(app);

    QList<SimConfig> configs;
    QString error;
    QString targetText = parser.value(target);
    if (parser.isSet(config)) {
        QByteArray bytes;
        if (!ReadFile(parser.value(config), bytes)) {
            std::fprintf(stderr, "quillex-devsim: cannot read %s\n", qPrintable(parser.value(config)));
            return 2;
        }
        const QJsonObject root = QJsonDocument::fromJson(bytes).object();
        if (root.contains("target") && !parser.isSet(target))
            targetText = root.value("target").toString();
        for (const QJsonValue& entry : root.value("devices").toArray()) {
            SimConfig c;
            const QJsonObject o = entry.toObject();
            for (auto it = o.begin(); it != o.end(); ++it) {
                const QString value = it->isString() ? it->toString()
                    : it->isBool()                   ? (it->toBool() ? "1" : "0")
                                                     : QString::number(it->toDouble(), 'g', 17);
                if (!Apply(c, it.key(), value, error)) {
                    std::fprintf(stderr, "quillex-devsim: %s\n", qPrintable(error));
                    return 2;
                }
            }
            configs << c;
        }
    }
    for (const QString& spec : parser.values(device)) {
        SimConfig c;
        for (const QString& pair : spec.split(',', Qt::SkipEmptyParts)) {
            const qsizetype eq = pair.indexOf('=');
            if (eq < 0 || !Apply(c, pair.left(eq).trimmed(), pair.mid(eq + 1), error)) {
                std::fprintf(
                    stderr, "quillex-devsim: %s\n", qPrintable(eq < 0 ? "expected key=value: " + pair : error));
                return 2;
            }
        }
        configs << c;
    }
    if (parser.isSet(count)) {
        const int n = parser.value(count).toInt();
        for (int i = 0; i < n; ++i) {
            SimConfig c;
            c.Ip = QString("127.0.%1.%2").arg(1 + i / 250).arg(1 + i % 250);
            c.Name = QString("Sim-%1").arg(i + 1);
            configs << c;
        }
    }
    if (configs.isEmpty()) {
        std::fprintf(stderr, "quillex-devsim: no device given (see --help)\n");
        return 2;
    }

    const qsizetype colon = targetText.lastIndexOf(':');
    const QHostAddress targetAddress(targetText.left(colon));
    const quint16 targetPort = quint16(targetText.mid(colon + 1).toUInt());
    if (colon < 0 || targetAddress.isNull() || targetPort == 0) {
        std::fprintf(stderr, "quillex-devsim: bad target %s\n", qPrintable(targetText));
        return 2;
    }

    for (SimConfig& c : configs) {
        c.LogCommands = parser.isSet(commandLog);
        if (!c.MacIdGiven) {
            const QStringList octets = c.Ip.split('.');
            c.MacId = QString("02:51:58:00:%1:%2")
                          .arg(octets.value(2).toInt(), 2, 16, QChar('0'))
                          .arg(octets.value(3).toInt(), 2, 16, QChar('0'))
                          .toUpper();
        }
        auto* sim = new SimDevice(c, targetAddress, targetPort, &app);
        if (!sim->Start(error)) {
            std::fprintf(stderr, "quillex-devsim: %s\n", qPrintable(error));
            return 1;
        }
    }
    std::printf("quillex-devsim: %lld devices ready\n", qlonglong(configs.size()));
    std::fflush(stdout);
    return app.exec();
}
