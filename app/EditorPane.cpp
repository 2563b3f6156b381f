#include "EditorPane.h"

#include "FindBar.h"
#include "GCodeLexer.h"
#include "HexDumpView.h"
#include "content/BlockRenumber.h"
#include "dialogs/UiPrompter.h"

#include <QBoxLayout>
#include <QDropEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QSplitter>
#include <QUrl>

#include <Qsci/qsciscintilla.h>

#include <functional>

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

} // namespace

QString DroppedLocalFile(const QMimeData* data)
{
    if (!data || !data->hasUrls())
        return {};
    for (const QUrl& url : data->urls())
        if (url.isLocalFile() && QFileInfo(url.toLocalFile()).isFile())
            return url.toLocalFile();
    return {};
}

TEditorPane::TEditorPane(QsciScintilla* editor, QSplitter* split, QBoxLayout* editorLayout,
    const TProgramDocument& document, TUiPrompter& prompter, QObject* parent)
    : QObject(parent)
    , FEditor(editor)
    , FDocument(document)
    , FPrompter(prompter)
{
    editor->setUtf8(true);
    FLexer = new TSynGCodeSyn(this);
    editor->setLexer(FLexer);
    editor->setMarginType(0, QsciScintilla::NumberMargin);
    editor->setMarginWidth(0, "0000000");
    editor->setMarginsForegroundColor(QColor(110, 118, 129));
    editor->setMarginsBackgroundColor(QColor(243, 245, 247));
    editor->setEolMode(QsciScintilla::EolWindows);
    editor->setCaretLineVisible(true);
    editor->setCaretLineBackgroundColor(QColor(242, 247, 255));
    editor->setWrapMode(QsciScintilla::WrapNone);
    // A horizontal scroll bar only when a line is wider than the editor.
    editor->SendScintilla(QsciScintillaBase::SCI_SETSCROLLWIDTH, 1);
    editor->SendScintilla(QsciScintillaBase::SCI_SETSCROLLWIDTHTRACKING, 1);
    connect(editor, &QsciScintilla::textChanged, FLexer, &TSynGCodeSyn::ForgetStyledLines);
    connect(editor, &QsciScintillaBase::SCN_UPDATEUI, FLexer, &TSynGCodeSyn::StyleVisibleLines);

    FHexView = new THexDumpView(split);
    split->insertWidget(0, FHexView);
    split->setStretchFactor(0, 1);
    FHexView->hide();

    FFindBar = new TFindBar(editor, editorLayout->parentWidget());
    // Under the editor, above the status log.
    editorLayout->insertWidget(qMin(1, editorLayout->count()), FFindBar);

    editor->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(editor, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        QMenu* menu = CreateContextMenu(FEditor->window());
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(FEditor->mapToGlobal(pos));
    });
}

void TEditorPane::SetFonts(const QFont& text, const QFont& margins, const QFont& dump)
{
    FLexer->SetEditorFont(text);
    FEditor->setMarginsFont(margins);
    FEditor->setMarginWidth(0, "0000000"); // measured in the margins' font
    FHexView->setFont(dump);
}

void TEditorPane::ShowDocument(TDocumentMode shownBefore)
{
    if (FDocument.Mode() == TDocumentMode::Text) {
        if (shownBefore != TDocumentMode::Text) {
            FHexView->SetData({});
            FHexView->hide();
            FEditor->show();
        }
        FEditor->setReadOnly(false);
        return;
    }
    // Read-only, in a view that draws only the rows in sight: the dump of a
    // large capture is five times its size, too much to load into the editor.
    FHexView->SetData(FDocument.Content());
    FHexView->show();
    FFindBar->hide(); // the dump has no text to find in
    FEditor->hide();
    FEditor->setReadOnly(true);
}

bool TEditorPane::CommandKey(const QKeyEvent& key, bool run)
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
            command = [this] { GoToLine(); };
            break;
        case Qt::Key_R:
            command = [this] { Renumber(); };
            break;
        }
    } else if (key.key() == Qt::Key_F3 && (modifiers == Qt::NoModifier || modifiers == Qt::ShiftModifier)) {
        command = [this, modifiers] { modifiers == Qt::ShiftModifier ? FindPrevious() : FindNext(); };
    }
    if (!command)
        return false;
    if (run)
        command();
    return true;
}

void TEditorPane::ShowFindBar(bool replace)
{
    if (FDocument.Mode() != TDocumentMode::Text)
        return;
    FFindBar->ShowBar(replace);
}

void TEditorPane::FindNext()
{
    if (FDocument.Mode() != TDocumentMode::Text)
        return;
    if (FFindBar->FindEdit()->text().isEmpty()) {
        ShowFindBar(false);
        return;
    }
    FFindBar->FindNext();
}

void TEditorPane::FindPrevious()
{
    if (FDocument.Mode() != TDocumentMode::Text)
        return;
    if (FFindBar->FindEdit()->text().isEmpty()) {
        ShowFindBar(false);
        return;
    }
    FFindBar->FindPrevious();
}

void TEditorPane::GoToLine()
{
    if (FDocument.Mode() != TDocumentMode::Text)
        return;
    const int lines = int(FEditor->SendScintilla(QsciScintilla::SCI_GETLINECOUNT));
    int line = 0, index = 0;
    FEditor->getCursorPosition(&line, &index);
    int wanted = line + 1;
    if (!FPrompter.AskInteger(QString::fromUtf8("Satıra Git"), QString::fromUtf8("Satır numarası (1 - %1):").arg(lines),
            1, lines, wanted))
        return;
    wanted = qBound(1, wanted, lines);
    FEditor->SendScintilla(QsciScintilla::SCI_GOTOLINE, long(wanted - 1));
    // The line in the middle of the editor, not at its lower edge.
    const long visible = FEditor->SendScintilla(QsciScintilla::SCI_LINESONSCREEN);
    FEditor->SendScintilla(QsciScintilla::SCI_SETFIRSTVISIBLELINE, qMax(0L, long(wanted - 1) - visible / 2));
    FEditor->setFocus();
}

void TEditorPane::Renumber()
{
    if (FDocument.Mode() != TDocumentMode::Text || FEditor->isReadOnly())
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
    const QList<TLineEdit> edits = RenumberBlocks(EditorLineTexts(FEditor), options);
    if (edits.isEmpty()) {
        FPrompter.ShowMessage(QString::fromUtf8("Değişecek satır yok."));
        return;
    }
    if (!FPrompter.ConfirmOkCancel(
            QString::fromUtf8("%1 satırın numarası değişecek. Devam etmek istiyor musunuz?").arg(edits.size())))
        return;
    ApplyLineEdits(FEditor, edits);
}

QMenu* TEditorPane::CreateContextMenu(QWidget* parent)
{
    QsciScintilla* editor = FEditor;
    const bool text = FDocument.Mode() == TDocumentMode::Text;
    const bool writable = text && !editor->isReadOnly();
    auto* menu = new QMenu(parent);
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
    add(QString::fromUtf8("Satıra Git…"), QKeySequence(Qt::CTRL | Qt::Key_G), text, [this] { GoToLine(); });
    add(QString::fromUtf8("Yeniden Numarala…"), QKeySequence(Qt::CTRL | Qt::Key_R), writable, [this] { Renumber(); });
    return menu;
}

// The editor takes dropped text itself; a dropped file is the window's.
bool TEditorPane::DropEvent(QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
        return false;
    auto* drop = static_cast<QDropEvent*>(event);
    const QString fileName = DroppedLocalFile(drop->mimeData());
    if (fileName.isEmpty())
        return false;
    drop->acceptProposedAction();
    if (type == QEvent::Drop)
        emit FileDropped(fileName);
    return true;
}
