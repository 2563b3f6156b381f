// quillex-cli: the device link from the shell, for CAM post-processors and shop
// scripts. It calls the same core functions as the window.
#include "CliOutput.h"
#include "ContentCommands.h"
#include "config/Settings.h"
#include "content/CodePage.h"
#include "content/TextDocument.h"
#include "device/DevicePin.h"
#include "device/ProgramTransfer.h"
#include "device/UnitDeviceCommand.h"
#include "discovery/DeviceStatusView.h"
#include "discovery/UnitStatusListener.h"
#include "document/ProgramDocument.h"
#include "document/UploadPlan.h"
#include "update/VersionMarker.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>

#include <cstdio>
#include <termios.h>
#include <unistd.h>

namespace {

const char* const MainHelp = R"(Usage: quillex-cli [--settings FILE] [--pin PIN] COMMAND ...

Commands:
  devices [--listen SECONDS] [--json]   list the devices heard on the network
  status IP [--listen SECONDS]          print a device's status document
  upload IP FILE [--raw]                send a program (or CMT file) to a device
  download IP [-o FILE]                 fetch the stored program or raw capture
  send IP COMMAND-LINE...               send configuration command lines in one batch
  index IP                              read the start-from index
  peek IP N                             the program lines around start-from point N
  startfrom IP N                        play the stored program from point N

Options:
  --settings FILE   settings file holding the stored PINs (default: as the window)
  --pin PIN         the device's transfer PIN, tried first
  --help            this text; COMMAND --help describes one command
  --version         the version of quillex-cli (the same as the window's)

Exit codes: 0 success, 1 the operation failed, 2 usage error, 3 PIN missing, cancelled or refused.
)";

struct TCommandHelp {
    const char* Name;
    const char* Text;
};

const TCommandHelp CommandHelps[] = {
    { "devices",
        "Usage: quillex-cli devices [--listen SECONDS] [--json]\n"
        "Listens for status datagrams (default 3 s) and prints one line per device:\n"
        "IP, MacId, name, controller and 'pin' or '-', separated by tabs.\n"
        "Example: quillex-cli devices --listen 5 --json\n" },
    { "status",
        "Usage: quillex-cli status IP [--listen SECONDS]\n"
        "Waits up to SECONDS (default 5) for the device's status document and prints it.\n"
        "Example: quillex-cli status 192.168.1.20\n" },
    { "upload",
        "Usage: quillex-cli upload IP FILE [--raw]\n"
        "Sends FILE as the window's upload does: CMT data unchanged, text normalised with\n"
        "its tool changes indexed. --raw sends the bytes unchanged.\n"
        "Example: quillex-cli upload 192.168.1.20 O1000.nc\n" },
    { "download",
        "Usage: quillex-cli download IP [-o FILE]\n"
        "Writes the device's stored program (or raw capture) to FILE or standard output.\n"
        "Example: quillex-cli download 192.168.1.20 -o backup.nc\n" },
    { "send",
        "Usage: quillex-cli send IP COMMAND-LINE...\n"
        "Sends the command lines in one batch (the PIN line is added when known).\n"
        "Example: quillex-cli send 192.168.1.20 'NAME&Torna 3' BR19200\n" },
    { "index",
        "Usage: quillex-cli index IP\n"
        "Prints the start-from index: Index, LineNumber, UncompressedOffset per line.\n"
        "Example: quillex-cli index 192.168.1.20\n" },
    { "peek",
        "Usage: quillex-cli peek IP N\n"
        "Prints the line before, at and after start-from point N (three lines).\n"
        "Example: quillex-cli peek 192.168.1.20 3\n" },
    { "startfrom",
        "Usage: quillex-cli startfrom IP N\n"
        "Makes the device play its program from start-from point N.\n"
        "Example: quillex-cli startfrom 192.168.1.20 3\n" },
};

quint16 StatusListenPort()
{
    quint16 port = StatusPort;
    QString error;
    LoadStatusPortFromEnvironment(port, error); // a malformed value was refused at start
    return port;
}

// Reads a PIN from the terminal without echo; refuses when stdin is no terminal.
class TTerminalPrompter : public TPinPrompter {
public:
    bool AskPin(const QString&, const QString& label, QString& pin) override
    {
        if (!::isatty(STDIN_FILENO)) {
            Err(label + " (no terminal to ask; use --pin)");
            return false;
        }
        std::fprintf(stderr, "%s ", label.toUtf8().constData());
        std::fflush(stderr);
        termios saved {};
        ::tcgetattr(STDIN_FILENO, &saved);
        termios silent = saved;
        silent.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSANOW, &silent);
        char buffer[256] = {};
        const bool read = std::fgets(buffer, sizeof buffer, stdin) != nullptr;
        ::tcsetattr(STDIN_FILENO, TCSANOW, &saved);
        std::fprintf(stderr, "\n");
        if (!read)
            return false;
        pin = QString::fromLocal8Bit(buffer);
        while (pin.endsWith('\n') || pin.endsWith('\r'))
            pin.chop(1);
        return true;
    }
    void ShowMessage(const QString& text) override
    {
        Err(text);
        if (text.startsWith("Hata: "))
            FailedOnNetwork = true;
    }
    bool FailedOnNetwork = false;
};

struct TContext {
    QString Pin;
    std::unique_ptr<TStatusListenerThread> Listener;

    TStatusListenerThread& Listen()
    {
        if (!Listener)
            Listener = std::make_unique<TStatusListenerThread>(TStatusLogTarget {}, StatusListenPort());
        return *Listener;
    }

    // Waits up to timeoutMs for a status document from the address.
    QString WaitForStatus(const QString& ip, int timeoutMs)
    {
        TStatusListenerThread& listener = Listen();
        QElapsedTimer timer;
        timer.start();
        QString status;
        while ((status = listener.GetStatusFor(ip)).isEmpty() && timer.elapsed() < timeoutMs)
            QThread::msleep(50);
        return status;
    }
};

// The device record from its status (or a stand-in without one), then the PIN check.
int PrepareDevice(TContext& context, const QString& ip, const QString& status, TQuillexDevice& device)
{
    if (status.isEmpty() || !DeviceFromStatus(ip, status, device)) {
        device = TQuillexDevice();
        device.IPAddress = ip;
        device.DisplayName = ip;
        device.PinRequired = !context.Pin.isEmpty();
    }
    const QString key = PinStoreKey(device.MacId, device.IPAddress);
    if (device.PinRequired && !context.Pin.isEmpty()) {
        QString error;
        if (VerifyDevicePin(device.IPAddress, device.Port, context.Pin, error)) {
            SetCachedPin(device.IPAddress, context.Pin);
            SavePinToStore(key, context.Pin, device.IPAddress);
            if (const QString problem = PinStoreError(); !problem.isEmpty())
                Err(problem);
            return ExitOk;
        }
        if (error != MsgPinRefused()) {
            Err("Hata: " + error);
            return ExitFailed;
        }
        Err(QString::fromUtf8("Şifre yanlış."));
    }
    TTerminalPrompter prompter;
    if (EnsureDevicePin(device.IPAddress, device.Port, key, device.DisplayName, device.PinRequired, prompter))
        return ExitOk;
    return prompter.FailedOnNetwork ? ExitFailed : ExitPin;
}

bool ParseSeconds(const QString& text, double& seconds)
{
    bool ok = false;
    seconds = text.toDouble(&ok);
    return ok && seconds >= 0 && seconds <= 3600;
}

int CmdDevices(TContext& context, QStringList args)
{
    double seconds = 3;
    bool json = false;
    while (!args.isEmpty()) {
        const QString a = args.takeFirst();
        if (a == "--json")
            json = true;
        else if (a == "--listen" && !args.isEmpty() && ParseSeconds(args.takeFirst(), seconds))
            continue;
        else
            return Usage("devices: bad argument " + a);
    }
    TStatusListenerThread& listener = context.Listen();
    QThread::msleep(qint64(seconds * 1000));
    const QList<TQuillexDevice> devices = listener.BuildDeviceList();
    if (json) {
        QJsonArray array;
        for (const TQuillexDevice& d : devices) {
            const QString status = listener.GetStatusFor(d.IPAddress);
            const QJsonDocument document = QJsonDocument::fromJson(status.toUtf8());
            array.append(QJsonObject { { "ip", d.IPAddress }, { "macid", d.MacId }, { "name", d.DisplayName },
                { "controller", d.Controller }, { "pin_required", d.PinRequired },
                { "status", document.isObject() ? QJsonValue(document.object()) : QJsonValue(status) } });
        }
        std::fputs(QJsonDocument(array).toJson(QJsonDocument::Indented).constData(), stdout);
        return ExitOk;
    }
    for (const TQuillexDevice& d : devices)
        Out(QStringList { d.IPAddress, d.MacId, d.DisplayName, d.Controller, d.PinRequired ? "pin" : "-" }.join('\t'));
    return ExitOk;
}

int CmdStatus(TContext& context, QStringList args)
{
    if (args.isEmpty())
        return Usage("status: IP missing");
    const QString ip = args.takeFirst();
    double seconds = 5;
    if (args.size() == 2 && args[0] == "--listen" && ParseSeconds(args[1], seconds))
        args.clear();
    if (!args.isEmpty())
        return Usage("status: bad argument " + args.first());
    const QString status = context.WaitForStatus(ip, int(seconds * 1000));
    if (status.isEmpty()) {
        Err(QString::fromUtf8("%1 cihazından durum bilgisi alınamadı").arg(ip));
        return ExitFailed;
    }
    Out(status);
    return ExitOk;
}

// Progress on stderr: a live bar on a terminal, percentage lines otherwise.
struct TProgressPrinter {
    bool Terminal = ::isatty(STDERR_FILENO);
    void Percent(qint32 percent)
    {
        if (Terminal) {
            const int filled = qBound(0, percent, 100) / 5;
            std::fprintf(stderr, "\r[%s%s] %3d%%", QByteArray(filled, '#').constData(),
                QByteArray(20 - filled, '.').constData(), percent);
        } else {
            std::fprintf(stderr, "%d%%\n", percent);
        }
        std::fflush(stderr);
    }
    void Erase(qint64 done, qint64 total)
    {
        const QString text = total > 0
            ? QString::fromUtf8("Flash siliniyor (%%1)").arg(double(done) * 100.0 / double(total), 0, 'f', 0)
            : QString::fromUtf8("Flash siliniyor");
        std::fprintf(stderr, Terminal ? "\r%s   " : "%s\n", text.toUtf8().constData());
        std::fflush(stderr);
    }
    void End()
    {
        if (Terminal)
            std::fprintf(stderr, "\n");
    }
};

int CmdUpload(TContext& context, QStringList args)
{
    const bool raw = args.removeAll("--raw") > 0;
    if (args.size() != 2)
        return Usage("upload: IP and FILE expected");
    const QString ip = args[0];
    QByteArray fileBytes;
    QString error;
    if (!ReadWholeFile(args[1], fileBytes, error)) {
        Err(args[1] + ": " + error);
        return ExitFailed;
    }
    const QString status = context.WaitForStatus(ip, 5000);
    if (status.isEmpty()) {
        Err("Cihazdan henuz durum bilgisi alinamadi (kapasite bilinmiyor). Lutfen birkac saniye bekleyip tekrar "
            "deneyin.");
        return ExitFailed;
    }
    TQuillexDevice device;
    if (const int rc = PrepareDevice(context, ip, status, device); rc != ExitOk)
        return rc;

    TPreparedUpload upload;
    if (raw)
        upload.Content = fileBytes;
    else
        upload = PrepareFileForUpload(fileBytes, IsControllerSiemens(device.Controller));
    const TUploadPlan plan = DecideUploadPlan(status, upload.Candidates);

    TProgressPrinter progress;
    QString response;
    bool success = false;
    try {
        success = SendProgramToDevice(
            ip, UploadPort, upload.Content, response, [&](qint32 p) { progress.Percent(p); }, plan.MaxRawSize,
            plan.Candidates, [] { Err(QString::fromUtf8("Büyük dosya: cihaz hazırlanıyor...")); }, plan.LegacyDevice,
            [&](qint64 done, qint64 total) { progress.Erase(done, total); });
    } catch (const EQuillexError& e) {
        response = e.Message();
    }
    progress.End();
    if (!success) {
        Err("Hata: " + response);
        return ExitFailed;
    }
    Out(response);
    return ExitOk;
}

int CmdDownload(TContext& context, QStringList args)
{
    QString outFile;
    const qsizetype o = args.indexOf("-o");
    if (o >= 0) {
        if (o + 1 >= args.size())
            return Usage("download: -o needs a file");
        outFile = args[o + 1];
        args.remove(o, 2);
    }
    if (args.size() != 1)
        return Usage("download: IP expected");
    const QString ip = args[0];
    TQuillexDevice device;
    const QString status = context.WaitForStatus(ip, 5000);
    if (const int rc = PrepareDevice(context, ip, status, device); rc != ExitOk)
        return rc;
    QByteArray content;
    bool isRaw = false;
    QString response;
    TProgressPrinter progress;
    const bool success = ReceiveProgramFromDevice(
        ip, DownloadPort, content, isRaw, response, [&](qint32 p) { progress.Percent(p); },
        DecideUploadPlan(status, {}).MaxRawSize);
    progress.End();
    if (!success) {
        Err("Hata: " + response);
        return ExitFailed;
    }
    Err(response);
    if (isRaw)
        Err(QString::fromUtf8("Ham (RAW) kayıt alındı: %1 bayt").arg(content.size()));
    if (outFile.isEmpty()) {
        std::fwrite(content.constData(), 1, size_t(content.size()), stdout);
        return std::fflush(stdout) == 0 ? ExitOk : ExitFailed;
    }
    QString error;
    if (!WriteWholeFile(outFile, content, error)) {
        Err(outFile + ": " + error);
        return ExitFailed;
    }
    return ExitOk;
}

int CmdSend(TContext& context, QStringList args)
{
    if (args.size() < 2)
        return Usage("send: IP and at least one command line expected");
    const QString ip = args.takeFirst();
    TQuillexDevice device;
    if (const int rc = PrepareDevice(context, ip, context.WaitForStatus(ip, 5000), device); rc != ExitOk)
        return rc;
    QString response;
    const bool success = SendDeviceCommands(ip, device.Port, args, response);
    if (!success) {
        Err("Hata: " + response);
        return response == MsgPinRefused() ? ExitPin : ExitFailed;
    }
    Out(response);
    return ExitOk;
}

bool ParseIndex(const QString& text, qint32& index)
{
    bool ok = false;
    index = text.toInt(&ok);
    return ok && index >= 0;
}

int CmdIndex(TContext& context, QStringList args)
{
    if (args.size() != 1)
        return Usage("index: IP expected");
    TQuillexDevice device;
    if (const int rc = PrepareDevice(context, args[0], context.WaitForStatus(args[0], 5000), device); rc != ExitOk)
        return rc;
    QList<TStartFromIndexEntry> entries;
    QString response;
    if (!ReadStartFromIndex(args[0], device.Port, entries, response)) {
        Err("Hata: " + response);
        return ExitFailed;
    }
    for (const TStartFromIndexEntry& e : entries)
        Out(QString("%1\t%2\t%3").arg(e.Index).arg(e.LineNumber).arg(e.UncompressedOffset));
    Err(response);
    return ExitOk;
}

int CmdPeek(TContext& context, QStringList args)
{
    qint32 index;
    if (args.size() != 2 || !ParseIndex(args[1], index))
        return Usage("peek: IP and a point number expected");
    TQuillexDevice device;
    if (const int rc = PrepareDevice(context, args[0], context.WaitForStatus(args[0], 5000), device); rc != ExitOk)
        return rc;
    QString prev, line, next, error;
    if (!PeekProgramLine(args[0], device.Port, index, prev, line, next, error)) {
        Err("Hata: " + error);
        return ExitFailed;
    }
    Out(prev);
    Out(line);
    Out(next);
    return ExitOk;
}

int CmdStartFrom(TContext& context, QStringList args)
{
    qint32 index;
    if (args.size() != 2 || !ParseIndex(args[1], index))
        return Usage("startfrom: IP and a point number expected");
    TQuillexDevice device;
    if (const int rc = PrepareDevice(context, args[0], context.WaitForStatus(args[0], 5000), device); rc != ExitOk)
        return rc;
    QString response;
    if (!SendDeviceCommands(args[0], device.Port, { "STARTFROM" + QString::number(index) }, response)) {
        Err("Hata: " + response);
        return ExitFailed;
    }
    Out(QString::fromUtf8("Devam ettirme başlatıldı (CNC'den XON bekleniyor): ") + response);
    return ExitOk;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);

    QString error;
    quint16 statusPort = StatusPort;
    if (!LoadStatusKeyFromEnvironment(error) || !LoadStatusPortFromEnvironment(statusPort, error)) {
        Err("quillex-cli: " + error);
        return ExitUsage;
    }

    TContext context;
    QString settings;
    while (!args.isEmpty() && args.first().startsWith("--")) {
        const QString option = args.takeFirst();
        if (option == "--version") {
            std::printf("quillex-cli %s\n", qPrintable(VersionText(BuiltVersion())));
            return ExitOk;
        }
        if (option == "--help") {
            std::fputs(MainHelp, stdout);
            std::fputs("\n", stdout);
            std::fputs(ContentCommandsSummary, stdout);
            return ExitOk;
        }
        if ((option == "--settings" || option == "--pin") && args.isEmpty())
            return Usage(option + " needs a value");
        if (option == "--settings")
            settings = args.takeFirst();
        else if (option == "--pin")
            context.Pin = args.takeFirst();
        else
            return Usage("unknown option " + option);
    }
    if (args.isEmpty())
        return Usage("no command given");
    const QString verb = args.first();
    if (const char* help = ContentCommandHelp(verb); help && args.contains("--help")) {
        std::fputs(help, stdout);
        return ExitOk;
    }
    if (const int rc = RunContentCommand(verb, args.mid(1)); rc >= 0)
        return rc;
    if (!context.Pin.isEmpty() && !IsValidPin(context.Pin))
        return Usage(QString::fromUtf8("--pin: Şifre 4-8 rakamdan oluşmalı."));
    SetPinStoreFileName(settings.isEmpty() ? SettingsFilePath() : settings);

    const QString command = args.takeFirst();
    for (const TCommandHelp& help : CommandHelps) {
        if (command == help.Name && args.contains("--help")) {
            std::fputs(help.Text, stdout);
            return ExitOk;
        }
    }
    using THandler = int (*)(TContext&, QStringList);
    const std::pair<const char*, THandler> handlers[] = {
        { "devices", CmdDevices },
        { "status", CmdStatus },
        { "upload", CmdUpload },
        { "download", CmdDownload },
        { "send", CmdSend },
        { "index", CmdIndex },
        { "peek", CmdPeek },
        { "startfrom", CmdStartFrom },
    };
    for (const auto& [name, handler] : handlers)
        if (command == name)
            return handler(context, args);
    return Usage("unknown command " + command);
}
