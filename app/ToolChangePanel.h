#pragma once
// The tool-change panel: its caption and the list of the document's tool
// changes, each row's restart check run on a worker thread, or, for a CMT
// file, the file's information and programs. The rows come from a model, so
// the list costs the rows in sight however many there are. The window places
// the panel in its splitter and handles the clicks the panel passes on.
#include "document/ProgramDocument.h"
#include "document/ToolChangeListModel.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <memory>

class QLabel;
class QListView;

class TToolChangePanel : public QObject {
    Q_OBJECT
public:
    // The caption and the list are the window's widgets, kept by their names.
    TToolChangePanel(QLabel* caption, QListView* list, QObject* parent = nullptr);
    ~TToolChangePanel() override;

    TToolChangeListModel* Model() const { return FModel; }
    QListView* List() const { return FList; }

    // The document's tool changes, the restart checks of the first
    // MaxStartFromEntries (those the device can start from) started; a newer
    // call makes an older check's answer stale.
    void ShowToolChangeRows(const TProgramDocument& document);
    // The CMT view's rows; entering: the caption and hint of the tool changes
    // are kept for LeaveCmtRows.
    void ShowCmtRows(const TCmtInfo& info, bool entering);
    void LeaveCmtRows();

    // The current row when it is selected; -1 when none is.
    int SelectedRow() const;
    // The selected row's value: a tool change's line, a CMT program's
    // 1-based position (0 on an information row); 0 when none is selected.
    qint32 SelectedValue() const;

signals:
    void RowClicked();
    void RowDoubleClicked();

private:
    void StartRestartChecks(const TProgramDocument& document);

    QLabel* FCaption;
    QListView* FList;
    TToolChangeListModel* FModel;
    // The latest check's number, shared with the workers: a check that a
    // newer one made stale before it began is skipped, so that opening file
    // after file does not queue up programs no longer shown.
    std::shared_ptr<std::atomic<quint64>> FRestartCheckJob = std::make_shared<std::atomic<quint64>>(0);
    QString FToolChangesCaption;
    QString FToolChangesHint;
};
