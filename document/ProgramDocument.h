#pragma once
// The program document: what the editor holds and everything known about it.
// One document is a G-code text, or, read-only, a raw capture or a Mazatrol
// CMT file; it remembers the file it came from, the text's encoding, byte-order
// mark and line-break style, and the tool changes of its last scan. The window,
// the command line and the tests all open, scan, save and prepare uploads
// through this one object, so they cannot disagree.
//
// The characters of a text document live in a text store: the window's
// editor, or plain memory for the command line and the tests. Whatever
// changes the document's text as a whole, its mode or its rows announces it
// (Changed), so that views follow without their callers remembering to.
#include "content/EditorText.h"
#include "content/TextDocument.h"
#include "content/ToolChangeScanner.h"
#include "content/UnitMazatrolCmt.h"
#include "document/DocumentTextStore.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

enum class TDocumentMode { Text, RawCapture, Cmt };

// Files larger than this load in pieces of this size, decoded on a worker
// thread while the text store takes the piece before; smaller ones are read
// whole, where a thread would cost more than it saves.
constexpr qsizetype LoadPieceBytes = 1024 * 1024;

// A text store in memory, for the command line and the tests.
class TPlainTextStore : public TDocumentTextStore {
public:
    QByteArray Text() const override { return FText; }
    bool IsBlank() const override { return IsBlankUtf8(FText); }
    void ReplaceText(QByteArray utf8, TLineBreakStyle shown, TTextReplace how) override;
    bool IsModified() const override { return FModified; }
    void MarkSaved() override { FModified = false; }
    void BeginText(TLineBreakStyle shown, qsizetype sizeHint) override;
    void AppendText(QByteArrayView utf8) override { FText.append(utf8); }
    void EndText() override { }
    bool SharesText() const override { return true; }
    TLineBreakStyle Shown() const { return FShown; }
    int UndoSteps() const { return FUndoSteps; }

private:
    QByteArray FText;
    TLineBreakStyle FShown = TLineBreakStyle::CrLf;
    bool FModified = false;
    int FUndoSteps = 0;
};

// A text in pieces, joined by a line break: the text as it was loaded,
// handed to a worker thread that joins it there.
struct TTextPieces {
    QList<QByteArray> Pieces;
    QByteArray Break;
};
// The pieces joined; each piece is freed as soon as it is copied.
QByteArray JoinTextPieces(TTextPieces pieces);

// What an upload sends: the content bytes and the tool-change points of the text.
struct TPreparedUpload {
    bool IsCmt = false;
    QByteArray Content;
    QList<TStartFromCandidate> Candidates;
};

class TProgramDocument : public QObject {
    Q_OBJECT
public:
    explicit TProgramDocument(TDocumentTextStore& text, QObject* parent = nullptr);

    TDocumentMode Mode() const { return FMode; }
    QString FileName() const { return FFileName; }
    TTextEncoding Encoding() const { return FEncoding; }
    bool HasByteOrderMark() const { return FHasByteOrderMark; }
    TLineBreakStyle LineBreak() const { return FLineBreak; }
    bool TrailingLineBreak() const { return FTrailingLineBreak; }
    // The raw capture or CMT file's bytes; empty in text mode.
    QByteArray Content() const { return FContent; }
    const TCmtInfo& CmtInfo() const { return FCmtInfo; }
    const TToolChangeRows& ToolChangeRows() const { return FToolChangeRows; }
    const QList<TStartFromCandidate>& ToolChangeCandidates() const { return FToolChangeCandidates; }

    // The text's lines; in the raw-capture and CMT modes, the hex dump's.
    QStringList Lines() const;
    QString Text() const; // the lines joined as the editor shows them
    QByteArray Utf8Text() const; // the same in UTF-8
    // The same for a worker thread to join, without a copy out of the store
    // on the calling thread: while an opening announces itself, the text as
    // it was loaded; otherwise the store's text, or the dump, whole.
    TTextPieces Utf8TextPieces() const;
    // Nothing but blanks in the editor (never in the raw-capture and CMT modes).
    bool IsBlank() const;
    // Text edits not yet saved to a file.
    bool IsModified() const;

    // New: back to an empty text, scanned, without a file name.
    void New();
    // Leaves the raw-capture and CMT modes; the text stays as it is.
    void LeaveSpecialMode();
    // Open: CMT data (by its first 4096 bytes) into the CMT mode; otherwise the
    // text with word spaces unless for a SIEMENS control, then scanned. On a
    // read error the special modes are left and nothing else changes.
    bool OpenFile(const QString& fileName, bool siemens, QString& errorMsg);
    // Takes the bytes by value: a caller that moves them in lets the document
    // free them as soon as the text is decoded.
    void OpenBytes(QByteArray bytes, bool siemens);
    // The same without the scan, for a command that finds the tool changes
    // itself as it writes them out; LineBreakLength is the break they count.
    void OpenBytesUnscanned(QByteArray bytes, bool siemens);
    int LineBreakLength() const; // characters of the text's line break
    // A program, raw capture or CMT file received from a device; the file name is cleared.
    void TakeDownload(const QByteArray& content, bool isRaw, bool siemens);
    void ShowRawCapture(const QByteArray& data);
    // False (nothing changed) when the data holds no CMT block.
    bool ShowCmtFile(const QByteArray& data);

    // The bytes Save writes: the captured or CMT bytes unchanged, or the text
    // in its encoding, mark and line-break style.
    QByteArray FileBytes() const;
    // Writes FileBytes; on success the text holds no unsaved edits.
    bool SaveFile(const QString& fileName, QString& errorMsg);
    void SetFileName(const QString& fileName); // after Save As
    // For the tests: how large a file loads in pieces, and their size.
    void SetLoadPieceBytes(qsizetype bytes) { FLoadPieceBytes = bytes; }

    // Blank lines dropped (as one undoable step), then the tool changes found.
    // Does nothing in the CMT mode; empties the rows for a raw capture.
    void ScanToolChanges();
    // Text: normalised for the controller (one undoable step) and scanned
    // anew; CMT: the file's bytes. Not for a raw capture.
    TPreparedUpload PrepareUpload(bool siemens);

    // The text set as a whole: its lines and line-break style found anew.
    void SetText(const QString& text, TTextReplace how);

signals:
    // Once per command that replaced the text, switched the mode or scanned
    // anew (a failed Open included: it may have left a special mode); typing
    // in the store is not announced.
    void Changed();

private:
    // Announces the change when the outermost changing command returns, so a
    // command built of others announces once.
    class TChangeScope;
    int FChanging = 0;

    // An upload prepared straight from a file scans only the normalised text.
    friend TPreparedUpload PrepareFileForUpload(QByteArray fileBytes, bool siemens);
    enum class TScanOnLoad { Scan, Skip };
    void ReadBytes(QByteArray bytes, bool siemens, TScanOnLoad scan);
    void LoadText(QByteArray text, TScanOnLoad scan);
    void LoadInPieces(QByteArray bytes, bool siemens, TScanOnLoad scan);
    void TakeTextFacts(const TEditorText& text); // encoding, mark and breaks of a text read
    void MarkLinesRewritten(); // blank lines dropped: CR LF breaks from then on
    void SetEditorText(QByteArray text, TTextReplace how); // CR LF breaks from then on
    void ClearScan();
    // Keeps the text a load gave the store, for the announcement.
    void KeepLoadedText(QList<QByteArray> pieces);

    qsizetype FLoadPieceBytes = LoadPieceBytes;

    TDocumentTextStore& FText;
    TDocumentMode FMode = TDocumentMode::Text;
    QString FFileName;
    TTextEncoding FEncoding = TTextEncoding::Ansi;
    bool FHasByteOrderMark = false;
    TLineBreakStyle FLineBreak = TLineBreakStyle::CrLf;
    bool FTrailingLineBreak = true;
    QByteArray FContent;
    TCmtInfo FCmtInfo;
    TToolChangeRows FToolChangeRows;
    QList<TStartFromCandidate> FToolChangeCandidates;
    // The text as the store was given it by an opening, while that opening
    // announces itself; freed when the announcement is over, before the
    // text can change.
    QList<QByteArray> FLoadedText;
};

// A file as opening it in the window and pressing upload would send it.
TPreparedUpload PrepareFileForUpload(QByteArray fileBytes, bool siemens);
