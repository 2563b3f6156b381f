// quillex-cli: the device link from the shell, for CAM post-processors and shop
// scripts. It calls the same core functions as the window.
#include "CliOutput.h"
#include "CommandLine.h"
#include "ContentCommands.h"
#include "DeviceCommands.h"
#include "HistoryCommands.h"
#include "ToolpathCommands.h"
#include "config/Settings.h"
#include "device/DevicePin.h"
#include "discovery/UnitStatusListener.h"
#include "update/VersionMarker.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

namespace {

const char* const MainHelp = R"(Usage: quillex-cli [OPTIONS] COMMAND ... (options may stand anywhere; -- ends them)

Options:
  --settings FILE    settings file holding the stored PINs (default: as the window)
  --pin PIN          the device's transfer PIN; a refused one ends with exit 3.
                     It shows in the process list: prefer QUILLEX_PIN or --pin-file,
                     which keep the PIN out of it.
  --pin-file FILE    read the PIN from the first line of FILE (- for standard input)
  --json             print one JSON object on standard output, whatever the outcome:
                     {"ok", "code", "message", ...} (devices: its array on success)
  --no-status        do not wait for the device's status (upload then needs
                     --controller, --hw, --build, --maxfilesize; --pin-required
                     says the device wants a PIN)
  --progress MODE    auto (default), bar, lines ("upload 37%") or none
  -q, --quiet        print only errors and results
  -h, --help         this text; COMMAND --help describes one command
  --version          the program's version

Environment:
  QUILLEX_PIN        the device's transfer PIN, out of the process list
  QUILLEX_SETTINGS   the settings file
  QUILLEX_STATUS_PORT, QUILLEX_STATUS_KEY   the status datagrams' port and key

Exit codes: 0 success, 1 the operation failed, 2 usage error, 3 PIN missing, cancelled or refused,
4 resume-check found warnings.
)";

// Options every verb takes; the rest belong to the verbs listed.
const QStringList GlobalOptions { "help", "version", "settings", "pin", "pin-file", "json", "quiet", "progress",
    "no-status", "pin-required" };

const std::pair<const char*, QStringList> VerbOptions[] = {
    { "devices", { "listen" } },
    { "status", { "listen" } },
    { "upload", { "raw", "verify", "controller", "hw", "build", "maxfilesize" } },
    { "download", { "o" } },
    { "verify", { "raw", "controller" } },
    { "send", {} },
    { "index", {} },
    { "peek", {} },
    { "startfrom", {} },
    { "scan", { "siemens", "candidates" } },
    { "split", { "siemens", "d" } },
    { "cmt", { "extract", "o" } },
    { "hexdump", {} },
    { "normalize", { "siemens" } },
    { "history", { "device", "since", "csv", "limit" } },
    { "toolpath", { "siemens", "moves", "svg", "rapid-rate" } },
    { "resume-check", { "siemens" } },
};

void AddOptions(QCommandLineParser& parser)
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    const auto flag = [&](const QStringList& names) { parser.addOption(QCommandLineOption(names)); };
    const auto value = [&](const QStringList& names) { parser.addOption(QCommandLineOption(names, {}, "value")); };
    flag({ "h", "help" });
    flag({ "version" });
    flag({ "json" });
    flag({ "q", "quiet" });
    flag({ "no-status" });
    flag({ "pin-required" });
    flag({ "raw" });
    flag({ "verify" });
    flag({ "siemens" });
    flag({ "candidates" });
    flag({ "csv" });
    flag({ "moves" });
    for (const char* name : { "settings", "pin", "pin-file", "progress", "listen", "controller", "hw", "build",
             "maxfilesize", "extract", "device", "since", "limit", "svg", "rapid-rate" })
        value({ name });
    value({ "o" });
    value({ "d" });
}

// The long name of an option as the parser reports it.
QString LongName(const QString& name)
{
    return name == "h" ? "help" : name == "q" ? "quiet" : name;
}

// Usage error when an option of another verb is given.
int CheckVerbOptions(const TCliArgs& args)
{
    for (const auto& [verb, options] : VerbOptions) {
        if (args.Verb != verb)
            continue;
        for (const QString& name : args.Parser->optionNames()) {
            const QString option = LongName(name);
            if (!GlobalOptions.contains(option) && !options.contains(option))
                return Usage(
                    QString("%1: option %2%3 does not apply").arg(args.Verb, option.size() == 1 ? "-" : "--", option));
        }
        return ExitOk;
    }
    return Usage("unknown command " + args.Verb);
}

void PrintVersion()
{
    Out(QCoreApplication::applicationName() + " " + QCoreApplication::applicationVersion());
}

void PrintHelp(const QString& verb)
{
    if (const char* help = DeviceCommandHelp(verb)) {
        std::fputs(help, stdout);
    } else if (const char* contentHelp = ContentCommandHelp(verb)) {
        std::fputs(contentHelp, stdout);
    } else if (const char* historyHelp = HistoryCommandHelp(verb)) {
        std::fputs(historyHelp, stdout);
    } else if (const char* toolpathHelp = ToolpathCommandHelp(verb)) {
        std::fputs(toolpathHelp, stdout);
    } else {
        std::fputs(MainHelp, stdout);
        std::fputs("\n", stdout);
        std::fputs(DeviceCommandsSummary, stdout);
        std::fputs("\n", stdout);
        std::fputs(ContentCommandsSummary, stdout);
        std::fputs("\n", stdout);
        std::fputs(HistoryCommandsSummary, stdout);
        std::fputs("\n", stdout);
        std::fputs(ToolpathCommandsSummary, stdout);
    }
}

int Run(const QStringList& arguments)
{
    QCommandLineParser parser;
    AddOptions(parser);
    if (!parser.parse(arguments))
        return Usage(parser.errorText());
    Report().Quiet = parser.isSet("quiet");
    TCliArgs args;
    args.Parser = &parser;
    args.Args = parser.positionalArguments();
    if (!args.Args.isEmpty())
        args.Verb = args.Args.takeFirst();
    if (parser.isSet("help") || parser.isSet("version"))
        Report().Json = false; // the text is the answer
    if (parser.isSet("help")) {
        PrintHelp(args.Verb);
        return Succeed(QString());
    }
    if (parser.isSet("version")) {
        PrintVersion();
        return Succeed(QString());
    }
    if (args.Verb.isEmpty())
        return Usage("no command given");
    if (const int rc = CheckVerbOptions(args); rc != ExitOk)
        return rc;

    QString error;
    if (!LoadStatusKeyFromEnvironment(error))
        return Fail(ExitUsage, "usage", "quillex-cli: " + error);
    if (const int rc = RunContentCommand(args); rc >= 0)
        return rc;
    if (const int rc = RunHistoryCommand(args); rc >= 0)
        return rc;
    if (const int rc = RunToolpathCommand(args); rc >= 0)
        return rc;
    SetPinStoreFileName(parser.isSet("settings") ? parser.value("settings") : SettingsFilePath());
    return RunDeviceCommand(args);
}

// --json is looked for before parsing, so that a usage error answers in JSON too.
bool WantsJson(const QStringList& arguments)
{
    for (const QString& argument : arguments.mid(1)) {
        if (argument == "--")
            return false;
        if (argument == "--json")
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("quillex-cli");
    QCoreApplication::setApplicationVersion(VersionText(BuiltVersion()));
    const QStringList arguments = app.arguments();
    Report().Json = WantsJson(arguments);
    const int rc = Run(arguments);
    if (Report().Json) {
        QByteArray text;
        if (rc == ExitOk && Report().SuccessDocument) {
            text = Report().SuccessDocument->toJson(QJsonDocument::Indented);
        } else {
            QJsonObject object = Report().Fields;
            object.insert("ok", rc == ExitOk);
            object.insert("code", !Report().Code.isEmpty() ? Report().Code : rc == ExitOk ? "ok" : "failed");
            object.insert("message", Report().Message);
            text = QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
        }
        std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    }
    return std::fflush(stdout) == 0 || rc != ExitOk ? rc : ExitFailed;
}
