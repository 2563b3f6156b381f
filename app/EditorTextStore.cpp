#include "EditorTextStore.h"

#include <QStringEncoder>

#include <Qsci/qsciscintilla.h>

namespace {

QsciScintilla::EolMode EolModeFor(TLineBreakStyle style)
{
    switch (style) {
    case TLineBreakStyle::Lf:
        return QsciScintilla::EolUnix;
    case TLineBreakStyle::Cr:
        return QsciScintilla::EolMac;
    default:
        return QsciScintilla::EolWindows;
    }
}

// The lines joined by the break, straight into UTF-8 for the editor. ASCII
// lines, nearly all of a program, are narrowed directly.
QByteArray JoinUtf8Lines(const QStringList& lines, const QString& lineBreak)
{
    qsizetype characters = 0;
    for (const QString& line : lines)
        characters += line.size() + lineBreak.size();
    QStringEncoder encoder(QStringEncoder::Utf8);
    QByteArray bytes(encoder.requiredSpace(characters), Qt::Uninitialized);
    char* out = bytes.data();
    auto append = [&](const QString& text) {
        const char16_t* in = reinterpret_cast<const char16_t*>(text.constData());
        char16_t high = 0;
        for (qsizetype i = 0; i < text.size(); ++i) {
            high |= in[i];
            out[i] = char(in[i]);
        }
        out = high < 0x80 ? out + text.size() : encoder.appendToBuffer(out, text);
    };
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i > 0)
            append(lineBreak);
        append(lines[i]);
    }
    bytes.truncate(out - bytes.data());
    return bytes;
}

} // namespace

TEditorTextStore::TEditorTextStore(QsciScintilla* editor)
    : QObject(editor)
    , FEditor(editor)
{
    connect(FEditor, &QsciScintilla::textChanged, this, [this] { FLinesValid = false; });
}

QStringList TEditorTextStore::Lines() const
{
    if (!FLinesValid) {
        FLinesCache = SplitTextLines(FEditor->text());
        FLinesValid = true;
    }
    return FLinesCache;
}

bool TEditorTextStore::IsBlank() const
{
    const auto length = FEditor->SendScintilla(QsciScintilla::SCI_GETLENGTH);
    const auto* text
        = reinterpret_cast<const unsigned char*>(FEditor->SendScintilla(QsciScintilla::SCI_GETCHARACTERPOINTER));
    for (long i = 0; i < length; ++i)
        if (text[i] > 32)
            return false;
    return true;
}

void TEditorTextStore::Replace(const QStringList& lines, TLineBreakStyle shown, TTextReplace how)
{
    const QByteArray utf8 = JoinUtf8Lines(lines, LineBreakText(shown));
    const bool readOnly = FEditor->isReadOnly();
    FEditor->setReadOnly(false);
    FEditor->setEolMode(EolModeFor(shown)); // what typing a new line inserts
    if (how == TTextReplace::NewDocument) {
        // A new document starts a fresh history; without undo recording
        // Scintilla also keeps no second copy of a huge text.
        FEditor->SendScintilla(QsciScintilla::SCI_SETUNDOCOLLECTION, 0L);
        FEditor->SendScintilla(QsciScintilla::SCI_CLEARALL);
        FEditor->SendScintilla(QsciScintilla::SCI_ALLOCATE, long(utf8.size() + 1)); // one allocation
        FEditor->SendScintilla(QsciScintilla::SCI_SETTEXT, utf8.constData());
        FEditor->SendScintilla(QsciScintilla::SCI_EMPTYUNDOBUFFER);
        FEditor->SendScintilla(QsciScintilla::SCI_SETUNDOCOLLECTION, 1L);
        FEditor->SendScintilla(QsciScintilla::SCI_SETSAVEPOINT);
        // A newly loaded document shows line 1, column 1.
        FEditor->SendScintilla(QsciScintilla::SCI_GOTOPOS, 0L);
        FEditor->SendScintilla(QsciScintilla::SCI_SETFIRSTVISIBLELINE, 0L);
        FEditor->SendScintilla(QsciScintilla::SCI_SETXOFFSET, 0L);
    } else {
        const bool wasModified = IsModified();
        const long length = FEditor->SendScintilla(QsciScintilla::SCI_GETLENGTH);
        FEditor->SendScintilla(QsciScintilla::SCI_BEGINUNDOACTION);
        FEditor->SendScintilla(QsciScintilla::SCI_SETTARGETRANGE, 0UL, length);
        FEditor->SendScintilla(QsciScintilla::SCI_REPLACETARGET, uintptr_t(utf8.size()), utf8.constData());
        FEditor->SendScintilla(QsciScintilla::SCI_ENDUNDOACTION);
        if (how == TTextReplace::Step && !wasModified)
            FEditor->SendScintilla(QsciScintilla::SCI_SETSAVEPOINT);
    }
    FEditor->setReadOnly(readOnly);
    FLinesCache = lines;
    FLinesValid = true;
}

bool TEditorTextStore::IsModified() const
{
    return FEditor->SendScintilla(QsciScintilla::SCI_GETMODIFY) != 0;
}

void TEditorTextStore::MarkSaved()
{
    FEditor->SendScintilla(QsciScintilla::SCI_SETSAVEPOINT);
}
