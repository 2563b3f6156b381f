#pragma once
// The transfer history dialog: the recorded operations in a table that sorts
// by any column and filters by device, date range and outcome, with an export
// of the rows shown to a CSV file.
#include "UiPrompter.h"
#include "history/HistoryStore.h"
#include "history/HistoryTableModel.h"

#include <QDialog>
#include <QSortFilterProxyModel>

#include <memory>

namespace Ui {
class TFormHistory;
}

class TFormHistory : public QDialog {
    Q_OBJECT
public:
    // device: a MacId or address to show alone; empty for every device.
    TFormHistory(TUiPrompter& prompter, const QString& historyPath, const QString& device, QWidget* parent = nullptr);
    ~TFormHistory() override;

    Ui::TFormHistory* Form() const { return ui.get(); }
    const QSortFilterProxyModel& View() const { return FProxy; }
    THistoryFilter Filter() const;

    // Reads the records of the filter anew.
    void Reload();
    void ButtonExportClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FitColumns();
    std::unique_ptr<Ui::TFormHistory> ui;
    TUiPrompter& FPrompter;
    THistoryStore FStore;
    QString FOpenError;
    THistoryTableModel FModel;
    QSortFilterProxyModel FProxy;
};
