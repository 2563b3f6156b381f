#pragma once
// Every modal question and message of the window goes through this interface:
// the application passes message boxes and input dialogs, tests a script.
#include "device/DevicePin.h"

#include <QString>
#include <QStringList>

class QDialog;
class QWidget;

class TUiPrompter : public TPinPrompter {
public:
    // ShowMessage (from TPinPrompter) is the information box with an OK button.
    // The warning box with an OK button, for an outcome the operator must not
    // take for success; an information box where a prompter has no other.
    virtual void ShowWarning(const QString& text) { ShowMessage(text); }
    virtual bool ConfirmOkCancel(const QString& text) = 0;
    virtual bool ConfirmYesNo(const QString& text) = 0;
    // Two masked fields; false when cancelled.
    virtual bool AskNewPin(
        const QString& caption, const QString& firstLabel, const QString& secondLabel, QString& first, QString& second)
        = 0;
    // The platform's open and save dialogs; false when cancelled. The filter is
    // given as description|pattern pairs, all separated by vertical bars; the
    // save dialog does not ask about replacing a file (the window asks itself).
    virtual bool AskOpenFile(const QString& startFolder, QString& fileName) = 0;
    virtual bool AskSaveFile(const QString& startFolder, const QString& proposedName, const QString& defaultSuffix,
        const QString& filter, QString& fileName)
        = 0;
    // The platform's folder dialog; false when cancelled.
    virtual bool AskFolder(const QString& startFolder, QString& folder) = 0;
    // A whole number from minimum to maximum, proposed as value; false when cancelled.
    virtual bool AskInteger(const QString& caption, const QString& label, int minimum, int maximum, int& value) = 0;
    // Runs one of the window's own dialogs modally; its QDialog result.
    virtual int RunModal(QDialog& dialog);
};

// Message boxes and input dialogs over a parent window.
class TDialogPrompter : public TUiPrompter {
public:
    explicit TDialogPrompter(QWidget* parent = nullptr)
        : FParent(parent)
    {
    }
    void SetParent(QWidget* parent) { FParent = parent; }
    bool AskPin(const QString& caption, const QString& label, QString& pin) override;
    void ShowMessage(const QString& text) override;
    void ShowWarning(const QString& text) override;
    bool ConfirmOkCancel(const QString& text) override;
    bool ConfirmYesNo(const QString& text) override;
    bool AskNewPin(const QString& caption, const QString& firstLabel, const QString& secondLabel, QString& first,
        QString& second) override;
    bool AskOpenFile(const QString& startFolder, QString& fileName) override;
    bool AskSaveFile(const QString& startFolder, const QString& proposedName, const QString& defaultSuffix,
        const QString& filter, QString& fileName) override;
    bool AskFolder(const QString& startFolder, QString& folder) override;
    bool AskInteger(const QString& caption, const QString& label, int minimum, int maximum, int& value) override;

private:
    QWidget* FParent;
};
