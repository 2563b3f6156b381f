#pragma once
// The editor pane: the G-code editor and its lexer, the hex view that takes
// its place for a raw capture or CMT file, the find and replace bar, go to
// line, renumbering the N words, the editor's Turkish context menu and files
// dropped on the editor or the dump. The pane takes the window's editor by
// its name and draws the document's text or dump; the window places it,
// forwards its handlers to it, and opens the files dropped on it.
#include "document/ProgramDocument.h"

#include <QObject>
#include <QString>

class QBoxLayout;
class QEvent;
class QFont;
class QKeyEvent;
class QMenu;
class QMimeData;
class QSplitter;
class QWidget;
class QsciScintilla;
class TFindBar;
class THexDumpView;
class TSynGCodeSyn;
class TUiPrompter;

// The first local file among dropped data; empty when there is none.
QString DroppedLocalFile(const QMimeData* data);

class TEditorPane : public QObject {
    Q_OBJECT
public:
    // editor: the window's editor; the hex view goes into split before it,
    // the find bar into editorLayout under it. The document's mode decides
    // which commands apply.
    TEditorPane(QsciScintilla* editor, QSplitter* split, QBoxLayout* editorLayout, const TProgramDocument& document,
        TUiPrompter& prompter, QObject* parent = nullptr);

    QsciScintilla* Editor() const { return FEditor; }
    TSynGCodeSyn* Lexer() const { return FLexer; }
    THexDumpView* HexView() const { return FHexView; }
    TFindBar* FindBar() const { return FFindBar; }
    void SetFonts(const QFont& text, const QFont& margins, const QFont& dump);

    // The text in the editor, or the dump of a capture or CMT file in the hex
    // view; shownBefore: the mode drawn until now.
    void ShowDocument(TDocumentMode shownBefore);

    // Find, replace, go to line and renumber work on the text; the dump of a
    // capture or CMT file has none of them.
    void ShowFindBar(bool replace);
    void FindNext();
    void FindPrevious();
    void GoToLine();
    void Renumber();
    // The editor's context menu, built for the moment it opens (the caller owns it).
    QMenu* CreateContextMenu(QWidget* parent);
    // The editor command of a key (Ctrl+F, Ctrl+H, F3, Shift+F3, Ctrl+G, Ctrl+R), run when `run`.
    bool CommandKey(const QKeyEvent& key, bool run);
    // A drag of a local file over a control: accepted, and on the drop
    // FileDropped; true when the event was such a drag.
    bool DropEvent(QEvent* event);

signals:
    void FileDropped(const QString& fileName);

private:
    QsciScintilla* FEditor;
    const TProgramDocument& FDocument;
    TUiPrompter& FPrompter;
    TSynGCodeSyn* FLexer = nullptr;
    THexDumpView* FHexView = nullptr;
    TFindBar* FFindBar = nullptr;
};
