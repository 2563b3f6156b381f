// The main window's editor commands beyond the specified ones: the find and
// replace bar, go to line, renumbering the N words, the editor's Turkish
// context menu, the recent files on the Open button and files dropped on the
// window. The logic lives in the core (TTextSearch, RenumberBlocks,
// TRecentFiles); this file wires it to the editor.
#include "unitmainform.h"

#include "ui_unitmainform.h"

#include "FindBar.h"
#include "HexDumpView.h"
#include "config/RecentFiles.h"
#include "content/BlockRenumber.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QUrl>

#include <Qsci/qsciscintilla.h>

namespace {

// The editor's lines exactly as it holds them, without their line breaks.
QStringList EditorLineTexts(QsciScintilla* editor)
{
    const auto count = editor->SendScintilla(QsciScintilla::SCI_GETLINECOUNT);
    const auto* text = reinterpret_cast<const char*>(editor->SendScintilla(QsciScintilla::SCI_GETCHARACTERPOINTER));
    QStringList lines;
    lines.reserve(count);
    for (long line = 0; line < count; ++line) {
        const auto start = editor->SendScintilla(QsciScintilla::SCI_POSITIONFROMLINE, line);
        const auto end = editor->SendScintilla(QsciScintilla::SCI_GETLINEENDPOSITION, line);
        lines << QString::fromUtf8(text + start, end - start);
    }
    return lines;
}

// Replaces the text of the edited lines (their line breaks stay) as one undo
// step: one replacement of the region from the first to the last edited line.
void ApplyLineEdits(QsciScintilla* editor, const QList<TLineEdit>& edits)
{
    if (edits.isEmpty())
        return;
    const auto* text = reinterpret_cast<const char*>(editor->SendScintilla(QsciScintilla::SCI_GETCHARACTERPOINTER));
    const long spanStart = editor->SendScintilla(QsciScintilla::SCI_POSITIONFROMLINE, long(edits.first().Line));
    const long spanEnd = editor->SendScintilla(QsciScintilla::SCI_GETLINEENDPOSITION, long(edits.last().Line));
    QByteArray replacement;
    replacement.reserve(spanEnd - spanStart + edits.size() * 4);
    long copied = spanStart;
    for (const TLineEdit& edit : edits) {
        const long start = editor->SendScintilla(QsciScintilla::SCI_POSITIONFROMLINE, long(edit.Line));
        const long end = editor->SendScintilla(QsciScintilla::SCI_GETLINEENDPOSITION, long(edit.Line));
        replacement.append(text + copied, start - copied);
        replacement.append(edit.Text.toUtf8());
        copied = end;
    }
    const long caretLine = editor->SendScintilla(
        QsciScintilla::SCI_LINEFROMPOSITION, editor->SendScintilla(QsciScintilla::SCI_GETCURRENTPOS));
    editor->SendScintilla(QsciScintilla::SCI_BEGINUNDOACTION);
    editor->SendScintilla(QsciScintilla::SCI_SETTARGETRANGE, uintptr_t(spanStart), spanEnd);
    editor->SendScintilla(QsciScintilla::SCI_REPLACETARGET, uintptr_t(replacement.size()), replacement.constData());
    editor->SendScintilla(QsciScintilla::SCI_ENDUNDOACTION);
    editor->SendScintilla(QsciScintilla::SCI_GOTOLINE, caretLine);
}

QString LocalFileOf(const QMimeData* data)
{
    if (!data || !data->hasUrls())
        return {};
    for (const QUrl& url : data->urls())
        if (url.isLocalFile() && QFileInfo(url.toLocalFile()).isFile())
            return url.toLocalFile();
    return {};
}

} // namespace

void TFormMain::SetUpEditorCommands()
{
    QsciScintilla* editor = ui->SynEditProgram;
    FFindBar = new TFindBar(editor, ui->Panel2);
    ui->LayoutEditor->insertWidget(1, FFindBar); // under the editor, above the status log
    for (QWidget* child : FFindBar->findChildren<QWidget*>())
        child->installEventFilter(this);

    editor->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(editor, &QWidget::customContextMenuRequested, this, [this, editor](const QPoint& pos) {
        QMenu* menu = CreateEditorContextMenu();
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(editor->mapToGlobal(pos));
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
    editor->viewport()->installEventFilter(this);
    FHexView->viewport()->installEventFilter(this);
}

bool TFormMain::EditorCommandKey(const QKeyEvent& key, bool run)
{
    const Qt::KeyboardModifiers modifiers = key.modifiers() & ~Qt::KeypadModifier;
    std::function<void()> command;
    if (modifiers == Qt::ControlModifier) {
        switch (key.key()) {
        case Qt::Key_F:
            command = [this] { ShowFindBar(false); };
            break;
        case Qt::Key_H:
            command = [this] { ShowFindBar(true); };
            break;
        case Qt::Key_G:
            command = [this] { GoToLineClick(); };
            break;
        case Qt::Key_R:
            command = [this] { RenumberClick(); };
            break;
        }
    } else if (key.key() == Qt::Key_F3 && (modifiers == Qt::NoModifier || modifiers == Qt::ShiftModifier)) {
        command = [this, modifiers] { modifiers == Qt::ShiftModifier ? FindPreviousClick() : FindNextClick(); };
    }
    if (!command)
        return false;
    if (run)
        command();
    return true;
}

// Find, replace, go to line and renumber work on the text; the hex dump of a
// capture or CMT file has none of them.
void TFormMain::ShowFindBar(bool replace)
{
    if (FDocument->Mode() != TDocumentMode::Text)
        return;
    FFindBar->ShowBar(replace);
}

void TFormMain::FindNextClick()
{
    if (FDocument->Mode() != TDocumentMode::Text)
        return;
    if (FFindBar->FindEdit()->text().isEmpty()) {
        ShowFindBar(false);
        return;
    }
    FFindBar->FindNext();
}

void TFormMain::FindPreviousClick()
{
    if (FDocument->Mode() != TDocumentMode::Text)
        return;
    if (FFindBar->FindEdit()->text().isEmpty()) {
        ShowFindBar(false);
        return;
    }
    FFindBar->FindPrevious();
}

void TFormMain::GoToLineClick()
{
    if (FDocument->Mode() != TDocumentMode::Text)
        return;
    QsciScintilla* editor = ui->SynEditProgram;
    const int lines = int(editor->SendScintilla(QsciScintilla::SCI_GETLINECOUNT));
    int line = 0, index = 0;
    editor->getCursorPosition(&line, &index);
    int wanted = line + 1;
    if (!FPrompter.AskInteger(QString::fromUtf8("Satıra Git"), QString::fromUtf8("Satır numarası (1 - %1):").arg(lines),
            1, lines, wanted))
        return;
    wanted = qBound(1, wanted, lines);
    editor->SendScintilla(QsciScintilla::SCI_GOTOLINE, long(wanted - 1));
    // The line in the middle of the editor, not at its lower edge.
    const long visible = editor->SendScintilla(QsciScintilla::SCI_LINESONSCREEN);
    editor->SendScintilla(QsciScintilla::SCI_SETFIRSTVISIBLELINE, qMax(0L, long(wanted - 1) - visible / 2));
    editor->setFocus();
}

void TFormMain::RenumberClick()
{
    if (FDocument->Mode() != TDocumentMode::Text || ui->SynEditProgram->isReadOnly())
        return;
    const QString caption = QString::fromUtf8("Yeniden Numarala");
    int start = 10, step = 10;
    if (!FPrompter.AskInteger(caption, QString::fromUtf8("İlk N numarası:"), 0, 999999999, start))
        return;
    if (!FPrompter.AskInteger(caption, QString::fromUtf8("Artış:"), 1, 99999, step))
        return;
    TRenumberOptions options { start, step, false };
    options.NumberUnnumbered
        = FPrompter.ConfirmYesNo(QString::fromUtf8("N numarası olmayan satırlara da numara verilsin mi?"));
    const QList<TLineEdit> edits = RenumberBlocks(EditorLineTexts(ui->SynEditProgram), options);
    if (edits.isEmpty()) {
        FPrompter.ShowMessage(QString::fromUtf8("Değişecek satır yok."));
        return;
    }
    if (!FPrompter.ConfirmOkCancel(
            QString::fromUtf8("%1 satırın numarası değişecek. Devam etmek istiyor musunuz?").arg(edits.size())))
        return;
    ApplyLineEdits(ui->SynEditProgram, edits);
}

QMenu* TFormMain::CreateEditorContextMenu()
{
    QsciScintilla* editor = ui->SynEditProgram;
    const bool text = FDocument->Mode() == TDocumentMode::Text;
    const bool writable = text && !editor->isReadOnly();
    auto* menu = new QMenu(this);
    auto add = [menu](const QString& caption, const QKeySequence& keys, bool enabled, auto slot) {
        QAction* action = menu->addAction(caption, slot);
        action->setShortcut(keys);
        action->setShortcutVisibleInContextMenu(true);
        action->setEnabled(enabled);
        return action;
    };
    add(QString::fromUtf8("Geri Al"), QKeySequence(Qt::CTRL | Qt::Key_Z), writable && editor->isUndoAvailable(),
        [editor] { editor->undo(); });
    add(QString::fromUtf8("Yinele"), QKeySequence(Qt::CTRL | Qt::Key_Y), writable && editor->isRedoAvailable(),
        [editor] { editor->redo(); });
    menu->addSeparator();
    add(QString::fromUtf8("Kes"), QKeySequence(Qt::CTRL | Qt::Key_X), writable && editor->hasSelectedText(),
        [editor] { editor->cut(); });
    add(QString::fromUtf8("Kopyala"), QKeySequence(Qt::CTRL | Qt::Key_C), text && editor->hasSelectedText(),
        [editor] { editor->copy(); });
    add(QString::fromUtf8("Yapıştır"), QKeySequence(Qt::CTRL | Qt::Key_V),
        writable && editor->SendScintilla(QsciScintilla::SCI_CANPASTE) != 0, [editor] { editor->paste(); });
    menu->addSeparator();
    add(QString::fromUtf8("Tümünü Seç"), QKeySequence(Qt::CTRL | Qt::Key_A), text, [editor] { editor->selectAll(); });
    menu->addSeparator();
    add(QString::fromUtf8("Bul…"), QKeySequence(Qt::CTRL | Qt::Key_F), text, [this] { ShowFindBar(false); });
    add(QString::fromUtf8("Değiştir…"), QKeySequence(Qt::CTRL | Qt::Key_H), writable, [this] { ShowFindBar(true); });
    add(QString::fromUtf8("Satıra Git…"), QKeySequence(Qt::CTRL | Qt::Key_G), text, [this] { GoToLineClick(); });
    add(QString::fromUtf8("Yeniden Numarala…"), QKeySequence(Qt::CTRL | Qt::Key_R), writable,
        [this] { RenumberClick(); });
    return menu;
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
    const QString fileName = LocalFileOf(data);
    if (fileName.isEmpty() || !ui->SpeedButtonFileOpen->isEnabled())
        return false;
    return OpenFile(fileName);
}

void TFormMain::dragEnterEvent(QDragEnterEvent* event)
{
    if (!LocalFileOf(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void TFormMain::dropEvent(QDropEvent* event)
{
    if (LocalFileOf(event->mimeData()).isEmpty())
        return;
    event->acceptProposedAction();
    OpenDroppedFiles(event->mimeData());
}

// The editor takes dropped text itself; a dropped file is the window's.
bool TFormMain::DropEvent(QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
        return false;
    auto* drop = static_cast<QDropEvent*>(event);
    if (LocalFileOf(drop->mimeData()).isEmpty())
        return false;
    drop->acceptProposedAction();
    if (type == QEvent::Drop)
        OpenDroppedFiles(drop->mimeData());
    return true;
}
