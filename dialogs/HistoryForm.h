#pragma once
// The transfer history dialog: the recorded operations in a table that sorts
// by any column and filters by device, workstation, date range and outcome,
// with an export of the rows shown to a CSV file. Every query runs off the
// window's thread: opening the history (a server may take seconds to answer),
// the drop-down lists, the pages and the export's reading of the rest.
#include "UiPrompter.h"
#include "history/HistoryStore.h"
#include "history/HistoryTableModel.h"

#include <QDialog>
#include <QSortFilterProxyModel>

#include <atomic>
#include <memory>

class QThread;

namespace Ui {
class TFormHistory;
}

class TFormHistory : public QDialog {
    Q_OBJECT
public:
    // device: a MacId or address to show alone; empty for every device.
    // sharedLocation: a shared history to show instead of the file while its
    // server answers.
    TFormHistory(TUiPrompter& prompter, const QString& historyPath, const QString& device, QWidget* parent = nullptr,
        const QString& sharedLocation = {});
    ~TFormHistory() override;

    const QSortFilterProxyModel& View() const { return FProxy; }
    THistoryFilter Filter() const;

    // Reads the records of the filter anew, the first page off the window's thread.
    void Reload();
    // True while the history is being opened and until the page asked for has arrived.
    bool IsLoading() const { return FOpening || FModel.IsLoading(); }
    // True from the export's question until its file is written or failed.
    bool IsExporting() const { return FExport != nullptr; }
    void ButtonExportClick();

    // What opening the history found, read off the window's thread.
    struct TOpened {
        QString Location; // the shared history, or the file when the server did not answer
        QString SharedNote;
        QString OpenError;
        QList<THistoryDevice> Devices;
        QStringList Workstations;
    };

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Opened(const TOpened& opened);
    void PageRead(bool ok, const QString& errorMsg);
    void ExportProgress(qint64 rows);
    void ExportDone(const QString& fileName, qint64 rows, const QString& errorMsg);
    void FitColumns();
    void JoinWorker(QThread*& worker);

    std::unique_ptr<Ui::TFormHistory> ui;
    TUiPrompter& FPrompter;
    QString FDevice; // the device to show first
    QString FLocation; // the history shown, once opened
    QString FOpenError;
    QString FSharedNote; // why the file is shown instead of the shared history
    bool FOpening = true;
    QThread* FOpener = nullptr;
    QThread* FExport = nullptr;
    std::atomic<bool> FCancel { false }; // the dialog goes: the export stops reading
    bool FColumnsSized = false;
    THistoryTableModel FModel;
    QSortFilterProxyModel FProxy;
};
