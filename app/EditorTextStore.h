#pragma once
// The program document's text kept in the window's QScintilla editor: whole
// replacements load a new document or make one undoable step, and the lines
// are cached until the operator edits the text.
#include "document/ProgramDocument.h"

#include <QObject>

class QsciScintilla;

class TEditorTextStore : public QObject, public TDocumentTextStore {
    Q_OBJECT
public:
    explicit TEditorTextStore(QsciScintilla* editor);

    QStringList Lines() const override;
    bool IsBlank() const override;
    void Replace(const QStringList& lines, TLineBreakStyle shown, TTextReplace how) override;
    bool IsModified() const override;
    void MarkSaved() override;

private:
    QsciScintilla* FEditor;
    mutable QStringList FLinesCache;
    mutable bool FLinesValid = false;
};
