#include "ToolChangePanel.h"

#include "RestartWarningDelegate.h"
#include "device/ProgramTransfer.h"
#include "toolpath/RestartCheck.h"

#include <QCoreApplication>
#include <QLabel>
#include <QListView>
#include <QPointer>
#include <QThreadPool>
#include <QTimer>

TToolChangePanel::TToolChangePanel(QLabel* caption, QListView* list, QObject* parent)
    : QObject(parent)
    , FCaption(caption)
    , FList(list)
    , FModel(new TToolChangeListModel(this))
{
    FList->setModel(FModel);
    FList->setItemDelegate(new TRestartWarningDelegate(FList));
    // Every row one line high and as wide as the widest (the delegate
    // measures that one): laying out the list never visits every row.
    FList->setUniformItemSizes(true);
    connect(FList, &QListView::clicked, this, &TToolChangePanel::RowClicked);
    connect(FList, &QListView::doubleClicked, this, &TToolChangePanel::RowDoubleClicked);
}

TToolChangePanel::~TToolChangePanel()
{
    ++*FRestartCheckJob; // a check not yet begun has no panel to show it
}

void TToolChangePanel::ShowToolChangeRows(const TProgramDocument& document)
{
    FModel->ShowToolChangeRows(document.ToolChangeRows());
    StartRestartChecks(document);
}

void TToolChangePanel::StartRestartChecks(const TProgramDocument& document)
{
    const quint64 job = ++*FRestartCheckJob;
    if (document.ToolChangeRows().isEmpty() || document.Mode() != TDocumentMode::Text)
        return;
    // Only the first MaxStartFromEntries tool changes can be started from on
    // the device (a later row's double click says so), and each check runs
    // the program up to its point: checking every row of a program with
    // 400,000 tool changes would take hours of a core, and the program could
    // not quit until it was done.
    QList<qint32> lines;
    const TToolChangeRows& rows = document.ToolChangeRows();
    for (qsizetype row = 0; row < qMin<qsizetype>(MaxStartFromEntries, rows.size()); ++row)
        lines.append(rows.LineNumber(row));
    const QPointer<TToolChangePanel> self(this);
    // The text is joined on the worker: copied out of the editor here, it
    // would cost the window's thread as much as filling the editor did.
    auto check = [self, job, latest = FRestartCheckJob, lines, pieces = document.Utf8TextPieces()]() mutable {
        if (*latest != job)
            return;
        const QList<TRestartCheck> checks = CheckRestarts(JoinTextPieces(std::move(pieces)), lines);
        QList<QStringList> warnings;
        warnings.reserve(checks.size());
        for (const TRestartCheck& check : checks)
            warnings.append(check.Warnings);
        // Delivered on the application's thread, where the pointer can be checked.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, job, warnings] {
                if (self && *self->FRestartCheckJob == job)
                    self->FModel->SetRestartWarnings(warnings, QString::fromUtf8(RestartAllClear));
            },
            Qt::QueuedConnection);
    };
    // Begun once the window is back in its event loop: the opened program is
    // drawn first, without a worker competing for the processor.
    QTimer::singleShot(0, this, [this, job, check = std::move(check)]() mutable {
        if (*FRestartCheckJob == job)
            QThreadPool::globalInstance()->start(std::move(check));
    });
}

void TToolChangePanel::ShowCmtRows(const TCmtInfo& info, bool entering)
{
    ++*FRestartCheckJob; // the CMT rows have no restart check
    if (entering) {
        FToolChangesCaption = FCaption->text();
        FToolChangesHint = FList->toolTip();
    }
    FModel->ShowCmtRows(info);
    FCaption->setText("Mazatrol CMT Bilgisi");
    FList->setToolTip(QString::fromUtf8("ÇİFT TIKLA: PROGRAMI AYRI KAYDET"));
}

void TToolChangePanel::LeaveCmtRows()
{
    ++*FRestartCheckJob;
    FModel->Clear();
    FCaption->setText(FToolChangesCaption);
    FList->setToolTip(FToolChangesHint);
}

int TToolChangePanel::SelectedRow() const
{
    const QModelIndex current = FList->currentIndex();
    if (!current.isValid() || !FList->selectionModel()->isSelected(current))
        return -1;
    return current.row();
}

qint32 TToolChangePanel::SelectedValue() const
{
    const int row = SelectedRow();
    return row < 0 ? 0 : FModel->index(row).data(Qt::UserRole).toInt();
}
