#pragma once
// The program list window: the programs found in the editor's text, one per
// row, with the selected program's lines beside them. From it the operator
// saves all programs into a new folder, saves one, moves one into the main
// editor or removes programs from the list. The rows are slices of the one
// text, so that a large text costs no string per line.
#include "content/ProgramSplitter.h"
#include "dialogs/UiPrompter.h"

#include <QByteArray>
#include <QDialog>
#include <QList>

#include <functional>
#include <memory>
#include <optional>

namespace Ui {
class TFormProgramList;
}

class TFormProgramList : public QDialog {
    Q_OBJECT
public:
    // text: the editor's whole text in UTF-8, split when the window opens.
    TFormProgramList(TUiPrompter& prompter, QByteArray text, QWidget* parent = nullptr);
    ~TFormProgramList() override;

    // The pause after each file of "Hepsini Kaydet"; by default an event-loop
    // wait, so the window keeps repainting.
    void SetPause(std::function<void(int ms)> pause) { FPause = std::move(pause); }
    static void WaitProcessingEvents(int ms);

    void FormActivate();
    void ListBox1Click();
    void ListBox1DblClick();
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();

    void done(int result) override;

signals:
    // "Seçili Olanı Aktar": the shown text, with the operator's edits, for the main editor.
    void ProgramTaken(const QString& text);

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormClose();
    // The selected row's program; none when no row is selected.
    const TProgramSlice* SelectedProgram() const;
    void ShowProgram(const TProgramSlice* program);
    void UpdateCommandsEnabled();

    std::unique_ptr<Ui::TFormProgramList> ui;
    TUiPrompter& FPrompter;
    QByteArray FText;
    QList<TProgramSlice> FPrograms; // one per row, in the rows' order
    std::function<void(int ms)> FPause = WaitProcessingEvents;
    bool FActivated = false;
    bool FSavingAll = false;
    std::optional<int> FCloseResult; // a close asked for while the files were written
};
