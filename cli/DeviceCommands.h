#pragma once
// The device verbs of quillex-cli: devices, status, upload, download, send,
// index, peek, startfrom. Each calls the device-link functions the window uses.
#include "CommandLine.h"

// -1 when the verb is not a device verb; otherwise its exit code.
int RunDeviceCommand(const TCliArgs& args);
const char* DeviceCommandHelp(const QString& verb);
extern const char* const DeviceCommandsSummary;
