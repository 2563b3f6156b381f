#pragma once
// The window's questions answered without a person: the benchmarks open the
// file they are given, confirm every question and print every message.
#include "dialogs/UiPrompter.h"

#include <cstdio>

class TBenchPrompter : public TUiPrompter {
public:
    QString OpenFile; // the answer to the Open command's question; none when empty
    bool AskPin(const QString&, const QString&, QString&) override { return false; }
    void ShowMessage(const QString& text) override { std::fprintf(stderr, "message: %s\n", qPrintable(text)); }
    bool ConfirmOkCancel(const QString&) override { return true; }
    bool ConfirmYesNo(const QString&) override { return true; }
    bool AskNewPin(const QString&, const QString&, const QString&, QString&, QString&) override { return false; }
    bool AskOpenFile(const QString&, QString& fileName) override
    {
        fileName = OpenFile;
        return !OpenFile.isEmpty();
    }
    bool AskSaveFile(const QString&, const QString&, const QString&, const QString&, QString&) override
    {
        return false;
    }
    bool AskFolder(const QString&, QString&) override { return false; }
    bool AskInteger(const QString&, const QString&, int, int, int&) override { return false; }
};
