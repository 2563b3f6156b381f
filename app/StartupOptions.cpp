// Command-line options of the window, described once for both the help text
// and the start.
#include "StartupOptions.h"

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
    QCommandLineParser parser;
    Describe(parser);
    parser.process(app); // prints the text asked for and exits
    std::exit(0);
}

QStringList FilesToOpen(int argc, char** argv)
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
    for (const QString& name : parser.positionalArguments()) {
        const QFileInfo file(name);
        if (file.isFile())
            files << file.absoluteFilePath();
        else
            std::fprintf(stderr, "quillex: %s: no such file\n", qPrintable(name));
    }
    return files;
}
