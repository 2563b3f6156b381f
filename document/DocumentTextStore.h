#pragma once
// Where a program document's characters live: the interface of a text store
// (the window's editor, or plain memory), apart from the document, so that
// the code that fills a store needs no more than this.
#include "content/EditorText.h"
#include "content/TextDocument.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QStringList>

// How a whole-text replacement enters the store's history.
enum class TTextReplace {
    NewDocument, // a document loaded afresh: no undo history, no unsaved edits
    Step, // one step Ctrl+Z undoes; whether edits are unsaved stays as it was
    OperatorEdit, // one undoable step that counts as an unsaved edit
};

class TDocumentTextStore {
public:
    virtual ~TDocumentTextStore() = default;
    // The whole text in UTF-8: lines joined by the shown line break, none
    // after the last line.
    virtual QByteArray Text() const = 0;
    // Whether the text holds nothing but characters of code 32 or less.
    virtual bool IsBlank() const = 0;
    // Replaces the whole text; shown is the break the text's lines are joined
    // by (and that typing a new line inserts).
    virtual void ReplaceText(QByteArray utf8, TLineBreakStyle shown, TTextReplace how) = 0;
    virtual bool IsModified() const = 0;
    virtual void MarkSaved() = 0;
    // A new document written in pieces: BeginText, AppendText for each piece
    // (the pieces joined are the text), then EndText. sizeHint: about how
    // large the text turns out.
    virtual void BeginText(TLineBreakStyle shown, qsizetype sizeHint) = 0;
    virtual void AppendText(QByteArrayView utf8) = 0;
    virtual void EndText() = 0;
    // True when Text() hands out the store's own bytes, shared, instead of a
    // copy made on the calling thread.
    virtual bool SharesText() const { return false; }

    // The text's lines, each a string of its own (built on every call).
    QStringList Lines() const { return SplitUtf8Lines(Text()); }
    void Replace(const QStringList& lines, TLineBreakStyle shown, TTextReplace how)
    {
        ReplaceText(JoinUtf8Lines(lines, shown), shown, how);
    }
};
