#pragma once
// The program document's text kept in the window's QScintilla editor: whole
// replacements load a new document or make one undoable step. The editor's
// UTF-8 buffer is the only copy of the text; it goes in and comes out whole.
#include "document/ProgramDocument.h"

#include <QObject>

class QsciScintilla;

class TEditorTextStore : public QObject, public TDocumentTextStore {
    Q_OBJECT
public:
    explicit TEditorTextStore(QsciScintilla* editor);

    QByteArray Text() const override;
    bool IsBlank() const override;
    void ReplaceText(QByteArray utf8, TLineBreakStyle shown, TTextReplace how) override;
    bool IsModified() const override;
    void MarkSaved() override;
    void BeginText(TLineBreakStyle shown, qsizetype sizeHint) override;
    void AppendText(QByteArrayView utf8) override;
    void EndText() override;

private:
    QsciScintilla* FEditor;
    // What BeginText changed for the load, put back by EndText.
    bool FLoadReadOnly = false;
    long FLoadEventMask = 0;
};
