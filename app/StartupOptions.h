#pragma once
// The window's command line: `quillex [FILE...]`. --help and --version are
// answered before any window, display or running instance is touched.
#include <QStringList>

class QCoreApplication;

// True when the command line asks only for the help or the version text.
bool IsInformationRequest(int argc, char** argv);

// Prints the help or version text asked for and ends the process.
[[noreturn]] void AnswerInformationRequest(QCoreApplication& app);

// What keeps the name from being opened ("no such file", "a folder, not a
// file", a FIFO or a device, ...); empty for a readable regular file.
QString FileToOpenProblem(const QString& name);

// The files named on the command line, as absolute paths; ends the process
// with a message and exit code 2 on an unknown option. Needs no application
// object, so it is asked before the display is opened. A name that cannot be
// opened is said on standard error and clears allFound.
QStringList FilesToOpen(int argc, char** argv, bool* allFound = nullptr);
