#pragma once
// The toolpath verbs of quillex-cli: toolpath (the interpreted path's figures,
// its moves, a drawing of it) and resume-check (the safety check of every
// start-from point).
#include "CommandLine.h"

// -1 when the verb is not a toolpath verb; otherwise its exit code.
int RunToolpathCommand(const TCliArgs& args);
const char* ToolpathCommandHelp(const QString& command);
extern const char* const ToolpathCommandsSummary;
// resume-check's exit code when a start-from point has warnings.
constexpr int ExitWarnings = 4;
