// quillex-cli: the device link from the shell, for CAM post-processors and shop
// scripts. It calls the same core functions as the window.
#include "CliOutput.h"
#include "CommandLine.h"
#include "ContentCommands.h"
#include "DeviceCommands.h"
#include "HistoryCommands.h"
#include "ToolpathCommands.h"
#include "VerbTable.h"
#include "config/Settings.h"
#include "device/DevicePin.h"
#include "discovery/UnitStatusListener.h"
#include "update/VersionMarker.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <new>

namespace {

const char* const MainUsage = "Usage: quillex-cli [OPTIONS] COMMAND ... (options may stand anywhere; -- ends them)\n";

const char* const MainNotes = R"(
Environment:
  QUILLEX_PIN        the device's transfer PIN, out of the process list
  QUILLEX_SETTINGS   the settings file
  QUILLEX_STATUS_PORT, QUILLEX_STATUS_KEY   the status datagrams' port and key

Exit codes: 0 success, 1 the operation failed, 2 usage error, 3 PIN missing, cancelled or refused,
4 resume-check found warnings.
)";

// The options of the verb table, and two the build asks for: the bash
// completion and the man page made from that table.
void AddOptions(QCommandLineParser& parser)
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    for (const TCliOption& option : CliOptions()) {
        QStringList names { option.Name };
        if (!option.Letter.isEmpty())
            names.prepend(option.Letter);
        parser.addOption(
            option.ValueName.isEmpty() ? QCommandLineOption(names) : QCommandLineOption(names, {}, option.ValueName));
    }
    for (const char* name : { "print-bash-completion", "print-man-page" }) {
        QCommandLineOption hidden(name);
        hidden.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(hidden);
    }
}

// The long name of an option as the parser reports it.
QString LongName(const QString& name)
{
    const TCliOption* option = FindCliOption(name);
    return option ? option->Name : name;
}

// Usage error when an option of another verb is given.
int CheckVerbOptions(const TCliArgs& args)
{
    const TCliVerb* verb = FindCliVerb(args.Verb);
    if (!verb)
        return Usage("unknown command " + args.Verb);
    for (const QString& name : args.Parser->optionNames()) {
        const QString option = LongName(name);
        if (!CliGlobalOptions().contains(option) && !verb->Options.contains(option))
            return Usage(
                QString("%1: option %2%3 does not apply").arg(args.Verb, option.size() == 1 ? "-" : "--", option));
    }
    return ExitOk;
}

QString VerbHelp(const QString& verb)
{
    for (const char* help :
        { DeviceCommandHelp(verb), ContentCommandHelp(verb), HistoryCommandHelp(verb), ToolpathCommandHelp(verb) })
        if (help)
            return QString::fromUtf8(help);
    return {};
}

// The man page's date: the commit's (SOURCE_DATE_EPOCH) when building a package.
QString ManPageDate()
{
    bool ok = false;
    const qint64 epoch = qEnvironmentVariable("SOURCE_DATE_EPOCH").toLongLong(&ok);
    const QDateTime when = ok ? QDateTime::fromSecsSinceEpoch(epoch, Qt::UTC) : QDateTime::currentDateTimeUtc();
    return when.toString("yyyy-MM-dd");
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
        std::fputs(MainUsage, stdout);
        std::fputs(qPrintable("\nOptions:\n" + GlobalOptionsHelp()), stdout);
        std::fputs(MainNotes, stdout);
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
    if (parser.isSet("print-bash-completion") || parser.isSet("print-man-page")) {
        Report().Json = false;
        const QString text = parser.isSet("print-bash-completion")
            ? BashCompletionScript()
            : ManPage(QCoreApplication::applicationVersion(), ManPageDate(), VerbHelp);
        std::fputs(text.toUtf8().constData(), stdout);
        return Succeed(QString());
    }
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
    // The window's rules for the status key and port: a malformed value is refused, never replaced.
    quint16 statusPort = StatusPort;
    if (!LoadStatusKeyFromEnvironment(error) || !LoadStatusPortFromEnvironment(statusPort, error))
        return Fail(ExitUsage, "usage", "quillex-cli: " + error);
    args.StatusPort = statusPort;
    if (const int rc = RunContentCommand(args); rc >= 0)
        return rc;
    if (const int rc = RunHistoryCommand(args); rc >= 0)
        return rc;
    if (const int rc = RunToolpathCommand(args); rc >= 0)
        return rc;
    SetPinStoreFileName(parser.isSet("settings") ? parser.value("settings") : SettingsFilePath());
    return RunDeviceCommand(args);
}

// Memory that runs out ends the verb with a message, never an abort.
int RunGuarded(const QStringList& arguments)
{
    try {
        return Run(arguments);
    } catch (const std::bad_alloc&) {
        const QString what = arguments.mid(1).join(' ');
        return Fail(ExitFailed, "out_of_memory", QString::fromUtf8("Bellek yetersiz: %1").arg(what));
    }
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
    const int rc = RunGuarded(arguments);
    if (Report().Json && !Report().Written) {
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
        PutStdout(text);
    }
    if (const QString lost = FinishStdout(); !lost.isEmpty()) {
        Err("quillex-cli: " + lost);
        return rc == ExitOk ? ExitFailed : rc;
    }
    return rc;
}
