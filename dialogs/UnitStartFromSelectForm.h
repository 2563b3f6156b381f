#pragma once
// The start-from selection dialog: lists the start-from points stored on a
// device with their program lines, previews the lines around the selected one
// (all read from the device), shows the safety check of the selected point on
// the program the device holds, and hands back the chosen point's number.
#include "device/BlockingCall.h"
#include "device/UnitDeviceCommand.h"
#include "history/StoredProgramCheck.h"

#include <QDialog>
#include <QLabel>

#include <functional>
#include <memory>

namespace Ui {
class TFormStartFromSelect;
}

class TFormStartFromSelect : public QDialog {
    Q_OBJECT
public:
    // Device queries run through runner; the window passes one that keeps it painting.
    explicit TFormStartFromSelect(TBlockingCallRunner runner = {}, QWidget* parent = nullptr);
    ~TFormStartFromSelect() override;

    // What the safety check needs of the editor and the history; without it
    // the check says the device's program is not known here.
    void SetSafetyInput(const TStoredProgramCheckInput& input);
    // Fills the list and reads every point's line from the device, one after
    // the other, while the safety check runs on a worker thread.
    void Initialize(const QList<TStartFromIndexEntry>& entries, const QString& ipAddress, quint16 port);
    // The Index of the selected row, or -1 without a selection.
    qint32 SelectedIndexNo() const;

    void ListBoxEntriesClick();
    void ListBoxEntriesDblClick();
    // Reads the stored program back from the device and checks it.
    void ButtonReadBackClick();
    // The safety check's result is there (for tests that wait for it).
    bool SafetyCheckDone() const { return FSafetyJob == FSafetyDoneJob; }
    // A preview line as given: the label shows it in one line, elided with
    // "…" when longer than the label, the whole line as its tooltip.
    static QString PreviewText(const QLabel* label);

signals:
    // The selected point's program line (its tool change), 0 without a selection.
    void EntrySelected(qint32 lineNumber);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static void SetPreview(QLabel* label, const QString& text);
    static void ShowElided(QLabel* label);

    struct TPeekResult {
        bool Ok = false;
        QString PrevLine, LineText, NextLine, ErrorMsg;
    };
    TPeekResult Peek(qint32 index) const;
    // Runs check on the pool; its result replaces FSafety unless a newer job started.
    void StartSafetyJob(std::function<TStoredProgramCheck()> check);
    void ShowSafety();

    std::unique_ptr<Ui::TFormStartFromSelect> ui;
    TBlockingCallRunner FRunner;
    QString FIPAddress;
    quint16 FPort = 0;
    QList<TStartFromIndexEntry> FEntries;
    TStoredProgramCheckInput FSafetyInput;
    TStoredProgramCheck FSafety;
    quint64 FSafetyJob = 0, FSafetyDoneJob = 0;
};
