// Command-line options of the window, described once for both the help text
// and the start.
#include "StartupOptions.h"

#include "update/UnitAutoUpdate.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>
#include <cstring>

namespace {

void Describe(QCommandLineParser& parser)
{
    parser.setApplicationDescription("The desktop client for Quillex devices on CNC machines.\n"
                                     "A second start hands its files to the running window.");
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument("files", "G-code or CMT files to open (the first one is opened).", "[FILE...]");
}

} // namespace

bool IsInformationRequest(int argc, char** argv)
{
    static const char* const asks[] = { "-h", "--help", "-?", "--help-all", "-v", "--version" };
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0)
            return false;
        for (const char* ask : asks)
            if (std::strcmp(argv[i], ask) == 0)
                return true;
    }
    return false;
}

void AnswerInformationRequest(QCoreApplication& app)
{
    // The version's answer also tells how this build treats its updates.
    if (const QString updates = UpdateBuildDescription();
        !updates.isEmpty() && !app.applicationVersion().contains('\n'))
        app.setApplicationVersion(app.applicationVersion() + "\n" + updates);
    QCommandLineParser parser;
    Describe(parser);
    parser.process(app); // prints the text asked for and exits
    std::exit(0);
}

QString FileToOpenProblem(const QString& name)
{
    const QFileInfo file(name);
    if (!file.exists() && !file.isSymLink())
        return "no such file";
    if (!file.exists())
        return "a link to nothing";
    if (file.isDir())
        return "a folder, not a file";
    // A FIFO or a device would block the window or never end.
    if (!file.isFile())
        return "not a regular file (a FIFO, a device or a socket)";
    if (!file.isReadable())
        return "permission denied";
    return QString();
}

QStringList FilesToOpen(int argc, char** argv, bool* allFound)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    Describe(parser);
    // Before any display is opened: a mistyped option is a usage error with
    // its message, whether a display is there or not.
    if (!parser.parse(arguments)) {
        std::fprintf(
            stderr, "quillex: %s\nTry 'quillex --help' for more information.\n", qPrintable(parser.errorText()));
        std::exit(2);
    }
    QStringList files;
    if (allFound)
        *allFound = true;
    for (const QString& name : parser.positionalArguments()) {
        const QString problem = FileToOpenProblem(name);
        if (problem.isEmpty()) {
            files << QFileInfo(name).absoluteFilePath();
            continue;
        }
        std::fprintf(stderr, "quillex: %s: %s\n", qPrintable(name), qPrintable(problem));
        if (allFound)
            *allFound = false;
    }
    return files;
}
