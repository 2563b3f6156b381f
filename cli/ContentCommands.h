#pragma once
// The content verbs of quillex-cli: scan, split, cmt, hexdump, normalize. Each
// calls exactly the functions the window uses.
#include "CommandLine.h"

// -1 when the verb is not a content verb; otherwise its exit code.
int RunContentCommand(const TCliArgs& args);
// The --help text of a content verb, or nullptr.
const char* ContentCommandHelp(const QString& command);
extern const char* const ContentCommandsSummary;
