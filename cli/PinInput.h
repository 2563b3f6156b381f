#pragma once
// Where quillex-cli gets a device's PIN: --pin, --pin-file (first line; "-" for
// standard input), QUILLEX_PIN, and the terminal prompt without echo, whose
// terminal state is restored even when a signal ends the program at the prompt.
#include "device/DevicePin.h"

#include <QString>

// The first line of the file, without its line break.
bool ReadPinFile(const QString& path, QString& pin, QString& errorMsg);

class TTerminalPrompter : public TPinPrompter {
public:
    bool AskPin(const QString& caption, const QString& label, QString& pin) override;
    void ShowMessage(const QString& text) override;
};
