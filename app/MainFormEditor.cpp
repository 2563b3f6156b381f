// The main window's editor commands beyond the specified ones, forwarded to
// the editor pane (find and replace, go to line, renumbering, the context
// menu), the recent files on the Open button and files dropped on the
// window.
#include "unitmainform.h"

#include "ui_unitmainform.h"

#include "EditorPane.h"
#include "FindBar.h"
#include "HexDumpView.h"
#include "config/RecentFiles.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>

#include <Qsci/qsciscintilla.h>

void TFormMain::SetUpEditorCommands()
{
    for (QWidget* child : FEditorPane->FindBar()->findChildren<QWidget*>())
        child->installEventFilter(this);
    connect(FEditorPane, &TEditorPane::FileDropped, this, [this](const QString& fileName) {
        if (ui->SpeedButtonFileOpen->isEnabled())
            OpenFile(fileName);
    });

    // The Open button keeps its look, hint and click; the recent files open
    // on a right click.
    FRecentMenu = new QMenu(QString::fromUtf8("Son Kullanılan Dosyalar"), this);
    connect(FRecentMenu, &QMenu::aboutToShow, this, &TFormMain::FillRecentFilesMenu);
    QToolButton* open = ui->SpeedButtonFileOpen;
    open->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(open, &QWidget::customContextMenuRequested, this,
        [this, open](const QPoint& pos) { FRecentMenu->popup(open->mapToGlobal(pos)); });

    setAcceptDrops(true);
    ui->SynEditProgram->viewport()->installEventFilter(this);
    FEditorPane->HexView()->viewport()->installEventFilter(this);
}

TFindBar* TFormMain::FindBar() const
{
    return FEditorPane->FindBar();
}

THexDumpView* TFormMain::HexView() const
{
    return FEditorPane->HexView();
}

void TFormMain::ShowFindBar(bool replace)
{
    FEditorPane->ShowFindBar(replace);
}

void TFormMain::FindNextClick()
{
    FEditorPane->FindNext();
}

void TFormMain::FindPreviousClick()
{
    FEditorPane->FindPrevious();
}

void TFormMain::GoToLineClick()
{
    FEditorPane->GoToLine();
}

void TFormMain::RenumberClick()
{
    FEditorPane->Renumber();
}

QMenu* TFormMain::CreateEditorContextMenu()
{
    return FEditorPane->CreateContextMenu(this);
}

// ---- Recent files ----

void TFormMain::RememberRecentFile(const QString& fileName)
{
    TRecentFiles().Add(fileName);
}

void TFormMain::FillRecentFilesMenu()
{
    FRecentMenu->clear();
    const QStringList files = TRecentFiles().Files();
    if (files.isEmpty()) {
        FRecentMenu->addAction(QString::fromUtf8("Son kullanılan dosya yok"))->setEnabled(false);
        return;
    }
    for (int i = 0; i < files.size(); ++i) {
        const QString fileName = files[i];
        // "&1" to "&9" and "1&0": each entry has its key; '&' in a name stays a character.
        const QString number = i < 9 ? QString("&%1").arg(i + 1) : QStringLiteral("1&0");
        QAction* action = FRecentMenu->addAction(
            number + "  " + QString(fileName).replace('&', "&&"), this, [this, fileName] { OpenRecentFile(fileName); });
        action->setToolTip(fileName);
        action->setEnabled(ui->SpeedButtonFileOpen->isEnabled());
    }
}

bool TFormMain::OpenRecentFile(const QString& fileName)
{
    if (!ui->SpeedButtonFileOpen->isEnabled())
        return false;
    if (!QFileInfo(fileName).isFile()) {
        TRecentFiles().Remove(fileName);
        FPrompter.ShowMessage(QString::fromUtf8("Dosya bulunamadı, listeden çıkarıldı:\n%1").arg(fileName));
        return false;
    }
    return OpenFile(fileName);
}

// ---- Files dropped on the window ----

bool TFormMain::OpenDroppedFiles(const QMimeData* data)
{
    const QString fileName = DroppedLocalFile(data);
    if (fileName.isEmpty() || !ui->SpeedButtonFileOpen->isEnabled())
        return false;
    return OpenFile(fileName);
}

void TFormMain::dragEnterEvent(QDragEnterEvent* event)
{
    if (!DroppedLocalFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void TFormMain::dropEvent(QDropEvent* event)
{
    if (DroppedLocalFile(event->mimeData()).isEmpty())
        return;
    event->acceptProposedAction();
    OpenDroppedFiles(event->mimeData());
}
