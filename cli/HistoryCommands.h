#pragma once
// The transfer history in quillex-cli: each device operation is recorded when
// it ends, and the history verb prints the records.
#include "CommandLine.h"

#include "history/TransferRecord.h"

// Writes the record into the history; a history that cannot be used costs one
// line on standard error and nothing else (the exit code stays the operation's).
void RecordCliHistory(const TCliArgs& args, const TTransferRecord& record);

// -1 when the verb is not history; otherwise its exit code.
int RunHistoryCommand(const TCliArgs& args);
const char* HistoryCommandHelp(const QString& command);
extern const char* const HistoryCommandsSummary;
