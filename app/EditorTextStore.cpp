#include "EditorTextStore.h"

#include "content/LargeBuffer.h"

#include <Qsci/qsciscintilla.h>

#include <cstring>

namespace {

// Bytes the editor's buffer keeps free after a new text is loaded.
constexpr long SpareRoom = 64 * 1024;

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

} // namespace

TEditorTextStore::TEditorTextStore(QsciScintilla* editor)
    : QObject(editor)
    , FEditor(editor)
{
}

QByteArray TEditorTextStore::Text() const
{
    const auto length = FEditor->SendScintilla(QsciScintilla::SCI_GETLENGTH);
    const auto* text = reinterpret_cast<const char*>(FEditor->SendScintilla(QsciScintilla::SCI_GETCHARACTERPOINTER));
    // Copied into huge pages: the copy of a large program otherwise costs a
    // page fault every 4 KiB, more than the copying itself (about 0.3 s for
    // 32 MiB on a virtual machine).
    QByteArray copy(qsizetype(length), Qt::Uninitialized);
    AdviseHugePages(copy);
    std::memcpy(copy.data(), text, size_t(length));
    return copy;
}

bool TEditorTextStore::IsBlank() const
{
    // Read in pieces where the text lies: asking for the whole text at once
    // makes the editor close its gap, which may copy the whole buffer.
    constexpr long Piece = 64 * 1024;
    const long length = FEditor->SendScintilla(QsciScintilla::SCI_GETLENGTH);
    for (long start = 0; start < length; start += Piece) {
        const long size = qMin(Piece, length - start);
        const auto* text = reinterpret_cast<const unsigned char*>(
            FEditor->SendScintilla(QsciScintilla::SCI_GETRANGEPOINTER, start, size));
        for (long i = 0; i < size; ++i)
            if (text[i] > 32)
                return false;
    }
    return true;
}

void TEditorTextStore::ReplaceText(QByteArray utf8, TLineBreakStyle shown, TTextReplace how)
{
    if (how == TTextReplace::NewDocument) {
        BeginText(shown, utf8.size());
        AppendText(utf8);
        utf8.clear(); // the editor holds its own copy
        EndText();
        return;
    }
    const bool readOnly = FEditor->isReadOnly();
    FEditor->setReadOnly(false);
    FEditor->setEolMode(EolModeFor(shown)); // what typing a new line inserts
    // No change notification while the whole text is replaced: QScintilla would
    // turn the inserted text into a QString for its accessibility event, a
    // copy twice the text's size. The editor's listeners hear of it after.
    const long eventMask = FEditor->SendScintilla(QsciScintilla::SCI_GETMODEVENTMASK);
    FEditor->SendScintilla(QsciScintilla::SCI_SETMODEVENTMASK, 0L);
    const bool wasModified = IsModified();
    const long length = FEditor->SendScintilla(QsciScintilla::SCI_GETLENGTH);
    FEditor->SendScintilla(QsciScintilla::SCI_BEGINUNDOACTION);
    FEditor->SendScintilla(QsciScintilla::SCI_SETTARGETRANGE, 0UL, length);
    FEditor->SendScintilla(QsciScintilla::SCI_REPLACETARGET, uintptr_t(utf8.size()), utf8.constData());
    FEditor->SendScintilla(QsciScintilla::SCI_ENDUNDOACTION);
    if (how == TTextReplace::Step && !wasModified)
        FEditor->SendScintilla(QsciScintilla::SCI_SETSAVEPOINT);
    FEditor->SendScintilla(QsciScintilla::SCI_SETMODEVENTMASK, eventMask);
    FEditor->setReadOnly(readOnly);
    emit FEditor->textChanged();
}

void TEditorTextStore::BeginText(TLineBreakStyle shown, qsizetype sizeHint)
{
    FLoadReadOnly = FEditor->isReadOnly();
    FEditor->setReadOnly(false);
    FEditor->setEolMode(EolModeFor(shown)); // what typing a new line inserts
    // No change notification while the text goes in (see ReplaceText).
    FLoadEventMask = FEditor->SendScintilla(QsciScintilla::SCI_GETMODEVENTMASK);
    FEditor->SendScintilla(QsciScintilla::SCI_SETMODEVENTMASK, 0L);
    // A new document starts a fresh history; without undo recording
    // Scintilla also keeps no second copy of a huge text.
    FEditor->SendScintilla(QsciScintilla::SCI_SETUNDOCOLLECTION, 0L);
    FEditor->SendScintilla(QsciScintilla::SCI_CLEARALL);
    // One allocation, with room to spare: with a gap of one byte left,
    // the first read of the whole text would make the editor copy it
    // into a larger buffer.
    FEditor->SendScintilla(QsciScintilla::SCI_ALLOCATE, long(sizeHint + SpareRoom));
}

void TEditorTextStore::AppendText(QByteArrayView utf8)
{
    if (!utf8.isEmpty())
        FEditor->SendScintilla(QsciScintilla::SCI_APPENDTEXT, uintptr_t(utf8.size()), utf8.data());
}

void TEditorTextStore::EndText()
{
    FEditor->SendScintilla(QsciScintilla::SCI_EMPTYUNDOBUFFER);
    FEditor->SendScintilla(QsciScintilla::SCI_SETUNDOCOLLECTION, 1L);
    FEditor->SendScintilla(QsciScintilla::SCI_SETSAVEPOINT);
    // A newly loaded document shows line 1, column 1.
    FEditor->SendScintilla(QsciScintilla::SCI_GOTOPOS, 0L);
    FEditor->SendScintilla(QsciScintilla::SCI_SETFIRSTVISIBLELINE, 0L);
    FEditor->SendScintilla(QsciScintilla::SCI_SETXOFFSET, 0L);
    FEditor->SendScintilla(QsciScintilla::SCI_SETMODEVENTMASK, FLoadEventMask);
    FEditor->setReadOnly(FLoadReadOnly);
    emit FEditor->textChanged();
}

bool TEditorTextStore::IsModified() const
{
    return FEditor->SendScintilla(QsciScintilla::SCI_GETMODIFY) != 0;
}

void TEditorTextStore::MarkSaved()
{
    FEditor->SendScintilla(QsciScintilla::SCI_SETSAVEPOINT);
}
