#pragma once
// Answers the window's questions from a script and records what it was shown.
#include "dialogs/UiPrompter.h"

#include <QDialog>
#include <QStringList>

#include <functional>

class TScriptedPrompter : public TUiPrompter {
public:
    QStringList PinAnswers; // "<cancel>" cancels
    QList<QStringList> NewPinAnswers; // two entries each; empty list cancels
    QList<bool> Confirmations;
    QStringList Messages;
    QStringList Warnings; // the warning boxes, apart from the information boxes
    QStringList Questions;
    QStringList OpenFiles; // empty: cancelled
    QStringList SaveFiles; // empty: cancelled
    QStringList SaveProposals; // "name|suffix|filter" of each save dialog
    QStringList Folders; // empty: cancelled
    QList<int> IntegerAnswers; // none left: cancelled
    QStringList IntegerQuestions; // "label|minimum|maximum|proposed" of each
    // Each of the window's own dialogs is answered by the next function: it may
    // look at the dialog, act on it and returns the result; none left: cancelled.
    QList<std::function<int(QDialog&)>> ModalAnswers;
    int ModalDialogs = 0;

    bool AskPin(const QString&, const QString& label, QString& pin) override
    {
        Questions << label;
        if (PinAnswers.isEmpty() || PinAnswers.first() == "<cancel>")
            return false;
        pin = PinAnswers.takeFirst();
        return true;
    }
    void ShowMessage(const QString& text) override { Messages << text; }
    void ShowWarning(const QString& text) override { Warnings << text; }
    bool ConfirmOkCancel(const QString& text) override { return Confirm(text); }
    bool ConfirmYesNo(const QString& text) override { return Confirm(text); }
    bool AskNewPin(const QString&, const QString&, const QString&, QString& first, QString& second) override
    {
        if (NewPinAnswers.isEmpty() || NewPinAnswers.first().size() != 2)
            return false;
        const QStringList answer = NewPinAnswers.takeFirst();
        first = answer[0];
        second = answer[1];
        return true;
    }

    bool AskOpenFile(const QString&, QString& fileName) override
    {
        if (OpenFiles.isEmpty())
            return false;
        fileName = OpenFiles.takeFirst();
        return true;
    }
    bool AskSaveFile(const QString&, const QString& proposedName, const QString& defaultSuffix, const QString& filter,
        QString& fileName) override
    {
        SaveProposals << proposedName + "|" + defaultSuffix + "|" + filter;
        if (SaveFiles.isEmpty())
            return false;
        fileName = SaveFiles.takeFirst();
        return true;
    }

    bool AskFolder(const QString&, QString& folder) override
    {
        if (Folders.isEmpty())
            return false;
        folder = Folders.takeFirst();
        return true;
    }
    bool AskInteger(const QString&, const QString& label, int minimum, int maximum, int& value) override
    {
        IntegerQuestions << QString("%1|%2|%3|%4").arg(label).arg(minimum).arg(maximum).arg(value);
        if (IntegerAnswers.isEmpty())
            return false;
        value = IntegerAnswers.takeFirst();
        return true;
    }
    int RunModal(QDialog& dialog) override
    {
        ++ModalDialogs;
        return ModalAnswers.isEmpty() ? int(QDialog::Rejected) : ModalAnswers.takeFirst()(dialog);
    }

private:
    bool Confirm(const QString& text)
    {
        Questions << text;
        return !Confirmations.isEmpty() && Confirmations.takeFirst();
    }
};
