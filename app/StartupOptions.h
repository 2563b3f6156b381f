#pragma once
// The window's command line: `quillex [FILE...]`. --help and --version are
// answered before any window, display or running instance is touched.
#include <QStringList>

class QCoreApplication;

// True when the command line asks only for the help or the version text.
bool IsInformationRequest(int argc, char** argv);

// Prints the help or version text asked for and ends the process.
[[noreturn]] void AnswerInformationRequest(QCoreApplication& app);

// The files named on the command line, as absolute paths; ends the process
// with a message and exit code 2 on an unknown option. Needs no application
// object, so it is asked before the display is opened.
QStringList FilesToOpen(int argc, char** argv);
