#include "ProgramDocument.h"

#include "document/PieceLoad.h"
#include "document/UploadPlan.h"

#include "content/CodePage.h"
#include "content/HexDump.h"
#include "content/LargeBuffer.h"
#include "content/ProgramText.h"

#include <utility>

void TPlainTextStore::ReplaceText(QByteArray utf8, TLineBreakStyle shown, TTextReplace how)
{
    FText = std::move(utf8);
    FShown = shown;
    switch (how) {
    case TTextReplace::NewDocument:
        FModified = false;
        FUndoSteps = 0;
        break;
    case TTextReplace::Step:
        ++FUndoSteps;
        break;
    case TTextReplace::OperatorEdit:
        ++FUndoSteps;
        FModified = true;
        break;
    }
}

void TPlainTextStore::BeginText(TLineBreakStyle shown, qsizetype sizeHint)
{
    ReplaceText({}, shown, TTextReplace::NewDocument);
    FText.reserve(sizeHint);
    AdviseHugePages(FText);
}

class TProgramDocument::TChangeScope {
public:
    explicit TChangeScope(TProgramDocument& document)
        : FDocument(document)
    {
        ++FDocument.FChanging;
    }
    ~TChangeScope()
    {
        if (--FDocument.FChanging == 0) {
            emit FDocument.Changed();
            FDocument.FLoadedText.clear();
        }
    }
    TChangeScope(const TChangeScope&) = delete;
    TChangeScope& operator=(const TChangeScope&) = delete;

private:
    TProgramDocument& FDocument;
};

TProgramDocument::TProgramDocument(TDocumentTextStore& text, QObject* parent)
    : QObject(parent)
    , FText(text)
{
}

QStringList TProgramDocument::Lines() const
{
    if (FMode != TDocumentMode::Text)
        return SplitTextLines(HexDumpText(FContent));
    return FText.Lines();
}

QString TProgramDocument::Text() const
{
    if (FMode != TDocumentMode::Text)
        return HexDumpText(FContent);
    return QString::fromUtf8(FText.Text());
}

QByteArray TProgramDocument::Utf8Text() const
{
    if (FMode != TDocumentMode::Text)
        return HexDumpText(FContent).toUtf8();
    return FText.Text();
}

TTextPieces TProgramDocument::Utf8TextPieces() const
{
    if (FMode == TDocumentMode::Text && !FLoadedText.isEmpty())
        return { FLoadedText, LineBreakText(ShownLineBreak(FLineBreak)).toUtf8() };
    return { { Utf8Text() }, {} };
}

QByteArray JoinTextPieces(TTextPieces pieces)
{
    if (pieces.Pieces.size() == 1)
        return std::exchange(pieces.Pieces.first(), {});
    qsizetype size = 0;
    for (const QByteArray& piece : pieces.Pieces)
        size += piece.size() + pieces.Break.size();
    QByteArray text;
    text.reserve(size);
    bool first = true;
    for (QByteArray& piece : pieces.Pieces) {
        if (!std::exchange(first, false))
            text.append(pieces.Break);
        text.append(std::exchange(piece, {}));
    }
    return text;
}

void TProgramDocument::KeepLoadedText(QList<QByteArray> pieces)
{
    // Only where the store would copy its text out; a store that shares it
    // gives it as cheaply.
    if (FChanging > 0 && !FText.SharesText())
        FLoadedText = std::move(pieces);
}

bool TProgramDocument::IsBlank() const
{
    return FMode == TDocumentMode::Text && FText.IsBlank();
}

bool TProgramDocument::IsModified() const
{
    return FMode == TDocumentMode::Text && FText.IsModified();
}

int TProgramDocument::LineBreakLength() const
{
    return int(LineBreakText(FLineBreak).size());
}

void TProgramDocument::ClearScan()
{
    FToolChangeRows.clear();
    FToolChangeCandidates.clear();
}

void TProgramDocument::LeaveSpecialMode()
{
    const TChangeScope change(*this);
    if (FMode == TDocumentMode::Text)
        return;
    FMode = TDocumentMode::Text;
    FContent.clear();
    FCmtInfo = TCmtInfo();
}

void TProgramDocument::SetFileName(const QString& fileName)
{
    FFileName = fileName;
}

void TProgramDocument::New()
{
    const TChangeScope change(*this);
    LeaveSpecialMode();
    // The encoding and mark of the last text file read stay for saving.
    FLineBreak = TLineBreakStyle::CrLf;
    FTrailingLineBreak = true;
    FLoadedText.clear();
    FText.Replace({}, TLineBreakStyle::CrLf, TTextReplace::NewDocument);
    ClearScan();
    FFileName.clear();
}

// A new text goes into the store once: the scan that follows loading may drop
// blank lines, so it runs on the text before it is stored.
void TProgramDocument::LoadText(QByteArray text, TScanOnLoad scanOnLoad)
{
    FMode = TDocumentMode::Text;
    FContent.clear();
    FCmtInfo = TCmtInfo();
    if (scanOnLoad == TScanOnLoad::Skip) {
        KeepLoadedText({ text });
        FText.ReplaceText(std::move(text), ShownLineBreak(FLineBreak), TTextReplace::NewDocument);
        ClearScan();
        return;
    }
    TToolChangeScan scan = ScanToolChangeText(text, LineBreakLength());
    text.clear(); // the scan holds it, or its rewritten form
    if (scan.LinesRewritten)
        MarkLinesRewritten();
    KeepLoadedText({ scan.Text });
    FText.ReplaceText(std::move(scan.Text), ShownLineBreak(FLineBreak), TTextReplace::NewDocument);
    FToolChangeRows = scan.Rows;
    FToolChangeCandidates = scan.Candidates;
}

bool TProgramDocument::OpenFile(const QString& fileName, bool siemens, QString& errorMsg)
{
    const TChangeScope change(*this);
    LeaveSpecialMode();
    QByteArray bytes;
    // The old text goes once the file is known to be readable, so that it is
    // not held beside the new file's bytes; a file that fails midway leaves
    // an empty document behind.
    const auto dropOldText = [&] {
        FText.ReplaceText({}, ShownLineBreak(FLineBreak), TTextReplace::NewDocument);
        ClearScan();
        FFileName.clear();
    };
    if (!ReadWholeFile(fileName, bytes, errorMsg, dropOldText))
        return false;
    OpenBytes(std::move(bytes), siemens);
    FFileName = fileName;
    return true;
}

void TProgramDocument::OpenBytes(QByteArray bytes, bool siemens)
{
    const TChangeScope change(*this);
    ReadBytes(std::move(bytes), siemens, TScanOnLoad::Scan);
}

void TProgramDocument::OpenBytesUnscanned(QByteArray bytes, bool siemens)
{
    const TChangeScope change(*this);
    ReadBytes(std::move(bytes), siemens, TScanOnLoad::Skip);
}

void TProgramDocument::ReadBytes(QByteArray bytes, bool siemens, TScanOnLoad scan)
{
    // Every way on replaces the text: the old one goes first, so that it is
    // not held beside the bytes and their decoded form.
    FLoadedText.clear();
    FText.ReplaceText({}, ShownLineBreak(FLineBreak), TTextReplace::NewDocument);
    if (IsCmtData(bytes.left(CmtSniffLength)) && ShowCmtFile(bytes))
        return;
    // Decoding, word spaces (unless for a SIEMENS control; they start afresh
    // at every line break) and line breaks in one pass; a large file in
    // pieces, each going into the store while the next is decoded.
    if (bytes.size() > FLoadPieceBytes)
        return LoadInPieces(std::move(bytes), siemens, scan);
    TEditorText text = ReadEditorText(bytes, !siemens);
    bytes.clear();
    TakeTextFacts(text);
    LoadText(std::move(text.Utf8), scan);
}

void TProgramDocument::TakeTextFacts(const TEditorText& text)
{
    FEncoding = text.Encoding;
    FHasByteOrderMark = text.HasByteOrderMark;
    FLineBreak = text.LineBreak;
    FTrailingLineBreak = text.TrailingLineBreak;
}

void TProgramDocument::MarkLinesRewritten()
{
    FLineBreak = TLineBreakStyle::CrLf;
    FTrailingLineBreak = true;
}

void TProgramDocument::LoadInPieces(QByteArray bytes, bool siemens, TScanOnLoad scan)
{
    TPieceLoad load = LoadTextInPieces(
        std::move(bytes), !siemens, scan == TScanOnLoad::Scan, FText, FLoadPieceBytes, !FText.SharesText());
    TakeTextFacts(load.Facts);
    if (!load.Loaded) {
        if (load.BlankLinesDropped) // rewritten already, as the scan would
            MarkLinesRewritten();
        LoadText(std::move(load.Facts.Utf8), scan);
        return;
    }
    FMode = TDocumentMode::Text;
    FContent.clear();
    FCmtInfo = TCmtInfo();
    if (load.Scan.LinesRewritten)
        MarkLinesRewritten();
    KeepLoadedText(std::move(load.Pieces));
    FToolChangeRows = load.Scan.Rows;
    FToolChangeCandidates = load.Scan.Candidates;
}

void TProgramDocument::TakeDownload(const QByteArray& content, bool isRaw, bool siemens)
{
    const TChangeScope change(*this);
    FFileName.clear();
    if (isRaw) {
        ShowRawCapture(content);
        return;
    }
    if (IsCmtData(content) && ShowCmtFile(content))
        return;
    // One character per byte, so that offsets stay byte offsets.
    const QString text = siemens ? SplitPercentLines(DecodeAnsi(content), true)
                                 : InsertWordSpaces(SplitPercentLines(DecodeAnsi(content), false));
    QStringList lines;
    SplitTextLines(text, lines, FLineBreak, FTrailingLineBreak);
    LoadText(JoinUtf8Lines(lines, ShownLineBreak(FLineBreak)), TScanOnLoad::Scan);
}

void TProgramDocument::ShowRawCapture(const QByteArray& data)
{
    const TChangeScope change(*this);
    FMode = TDocumentMode::RawCapture;
    FContent = data;
    FCmtInfo = TCmtInfo();
    FText.Replace({}, TLineBreakStyle::CrLf, TTextReplace::NewDocument);
    ClearScan();
}

bool TProgramDocument::ShowCmtFile(const QByteArray& data)
{
    const TChangeScope change(*this);
    TCmtInfo info;
    if (!ParseCmt(data, info))
        return false;
    FMode = TDocumentMode::Cmt;
    FContent = data;
    FCmtInfo = info;
    FText.Replace({}, TLineBreakStyle::CrLf, TTextReplace::NewDocument);
    ClearScan();
    return true;
}

QByteArray TProgramDocument::FileBytes() const
{
    if (FMode != TDocumentMode::Text)
        return FContent;
    TTextDocument document;
    document.Lines = FText.Lines();
    document.Encoding = FEncoding;
    document.HasByteOrderMark = FHasByteOrderMark;
    document.LineBreak = FLineBreak;
    document.TrailingLineBreak = FTrailingLineBreak;
    return WriteTextDocument(document);
}

bool TProgramDocument::SaveFile(const QString& fileName, QString& errorMsg)
{
    if (!WriteWholeFile(fileName, FileBytes(), errorMsg))
        return false;
    FText.MarkSaved();
    return true;
}

void TProgramDocument::ScanToolChanges()
{
    const TChangeScope change(*this);
    if (FMode == TDocumentMode::Cmt)
        return; // the CMT view's rows stay
    ClearScan();
    if (FMode == TDocumentMode::RawCapture)
        return;
    TToolChangeScan scan = ScanToolChangeText(FText.Text(), LineBreakLength());
    if (scan.LinesRewritten)
        SetEditorText(std::move(scan.Text), TTextReplace::Step);
    FToolChangeRows = scan.Rows;
    FToolChangeCandidates = scan.Candidates;
}

TPreparedUpload TProgramDocument::PrepareUpload(bool siemens)
{
    const TChangeScope change(*this);
    TPreparedUpload upload;
    if (FMode == TDocumentMode::Cmt) {
        upload.IsCmt = true;
        upload.Content = FContent;
        return upload;
    }
    if (FMode != TDocumentMode::Text)
        return upload;
    // Normalised in one pass over the text; the scan and the bytes read the
    // normalised text, which the store then holds.
    const QByteArray normalized = NormalizeTextForUpload(FText.Text(), siemens);
    SetEditorText(normalized, TTextReplace::Step); // shared, and the old text freed
    upload.Content = UploadBytesOfText(normalized);
    ScanToolChanges();
    upload.Candidates = FToolChangeCandidates;
    return upload;
}

void TProgramDocument::SetText(const QString& text, TTextReplace how)
{
    const TChangeScope change(*this);
    FLoadedText.clear();
    QStringList lines;
    SplitTextLines(text, lines, FLineBreak, FTrailingLineBreak);
    FText.Replace(lines, ShownLineBreak(FLineBreak), how);
}

void TProgramDocument::SetEditorText(QByteArray text, TTextReplace how)
{
    FLoadedText.clear();
    FLineBreak = TLineBreakStyle::CrLf;
    FTrailingLineBreak = true;
    FText.ReplaceText(std::move(text), TLineBreakStyle::CrLf, how);
}

TPreparedUpload PrepareFileForUpload(QByteArray fileBytes, bool siemens)
{
    TPlainTextStore store;
    TProgramDocument document(store);
    // Blank lines and tool changes of the text as read do not matter: the
    // normalisation drops blank lines and the scan runs on its result.
    document.ReadBytes(std::move(fileBytes), siemens, TProgramDocument::TScanOnLoad::Skip);
    return document.PrepareUpload(siemens);
}
