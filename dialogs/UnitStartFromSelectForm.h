#pragma once
// The start-from selection dialog: lists the start-from points stored on a
// device with their program lines, previews the lines around the selected one
// (all read from the device), and hands back the chosen point's number.
#include "device/BlockingCall.h"
#include "device/UnitDeviceCommand.h"

#include <QDialog>
#include <QLabel>

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

    // Fills the list and reads every point's line from the device, one after the other.
    void Initialize(const QList<TStartFromIndexEntry>& entries, const QString& ipAddress, quint16 port);
    // The Index of the selected row, or -1 without a selection.
    qint32 SelectedIndexNo() const;

    Ui::TFormStartFromSelect* Form() const { return ui.get(); }

    void ListBoxEntriesClick();
    void ListBoxEntriesDblClick();
    // A preview line as given: the label shows it in one line, elided with
    // "…" when longer than the label, the whole line as its tooltip.
    static QString PreviewText(const QLabel* label);

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

    std::unique_ptr<Ui::TFormStartFromSelect> ui;
    TBlockingCallRunner FRunner;
    QString FIPAddress;
    quint16 FPort = 0;
};
