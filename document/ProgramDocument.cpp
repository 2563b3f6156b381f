#include "ProgramDocument.h"

#include "document/UploadPlan.h"

#include "content/CodePage.h"
#include "content/HexDump.h"
#include "content/ProgramText.h"

bool TPlainTextStore::IsBlank() const
{
    for (const QString& line : FLines)
        for (QChar c : line)
            if (c.unicode() > 32)
                return false;
    return true;
}

void TPlainTextStore::Replace(const QStringList& lines, TLineBreakStyle shown, TTextReplace how)
{
    FLines = lines;
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

TLineBreakStyle ShownLineBreak(TLineBreakStyle style)
{
    return style == TLineBreakStyle::LineSeparator ? TLineBreakStyle::CrLf : style;
}

TProgramDocument::TProgramDocument(TDocumentTextStore& text)
    : FText(text)
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
    return JoinTextLines(FText.Lines(), ShownLineBreak(FLineBreak), false);
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
    LeaveSpecialMode();
    // The encoding and mark of the last text file read stay for saving.
    FLineBreak = TLineBreakStyle::CrLf;
    FTrailingLineBreak = true;
    FText.Replace({}, TLineBreakStyle::CrLf, TTextReplace::NewDocument);
    ClearScan();
    FFileName.clear();
}

// A new text goes into the store once: the scan that follows loading may drop
// blank lines, so it runs on the lines before they are stored.
void TProgramDocument::LoadText(QStringList lines)
{
    FMode = TDocumentMode::Text;
    FContent.clear();
    FCmtInfo = TCmtInfo();
    const TToolChangeScan scan = ScanToolChangeLines(lines, LineBreakLength());
    if (scan.LinesRewritten) {
        lines = scan.Lines;
        FLineBreak = TLineBreakStyle::CrLf;
        FTrailingLineBreak = true;
    }
    FText.Replace(lines, ShownLineBreak(FLineBreak), TTextReplace::NewDocument);
    FToolChangeRows = scan.Rows;
    FToolChangeCandidates = scan.Candidates;
}

bool TProgramDocument::OpenFile(const QString& fileName, bool siemens, QString& errorMsg)
{
    LeaveSpecialMode();
    QByteArray bytes;
    if (!ReadWholeFile(fileName, bytes, errorMsg))
        return false;
    OpenBytes(bytes, siemens);
    FFileName = fileName;
    return true;
}

void TProgramDocument::OpenBytes(const QByteArray& bytes, bool siemens)
{
    if (IsCmtData(bytes.left(CmtSniffLength)) && ShowCmtFile(bytes))
        return;
    TTextDocument document = ReadTextDocument(bytes);
    FEncoding = document.Encoding;
    FHasByteOrderMark = document.HasByteOrderMark;
    FLineBreak = document.LineBreak;
    FTrailingLineBreak = document.TrailingLineBreak;
    // Word spaces line by line: the insertion starts afresh at every line
    // break, whatever the file's line-break style.
    if (!siemens)
        for (QString& line : document.Lines)
            line = InsertWordSpaces(line);
    LoadText(std::move(document.Lines));
}

void TProgramDocument::TakeDownload(const QByteArray& content, bool isRaw, bool siemens)
{
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
    LoadText(std::move(lines));
}

void TProgramDocument::ShowRawCapture(const QByteArray& data)
{
    FMode = TDocumentMode::RawCapture;
    FContent = data;
    FCmtInfo = TCmtInfo();
    FText.Replace({}, TLineBreakStyle::CrLf, TTextReplace::NewDocument);
    ClearScan();
}

bool TProgramDocument::ShowCmtFile(const QByteArray& data)
{
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
    if (FMode == TDocumentMode::Cmt)
        return; // the CMT view's rows stay
    ClearScan();
    if (FMode == TDocumentMode::RawCapture)
        return;
    const TToolChangeScan scan = ScanToolChangeLines(FText.Lines(), LineBreakLength());
    if (scan.LinesRewritten)
        SetLines(scan.Lines, TTextReplace::Step);
    FToolChangeRows = scan.Rows;
    FToolChangeCandidates = scan.Candidates;
}

TPreparedUpload TProgramDocument::PrepareUpload(bool siemens)
{
    TPreparedUpload upload;
    if (FMode == TDocumentMode::Cmt) {
        upload.IsCmt = true;
        upload.Content = FContent;
        return upload;
    }
    if (FMode != TDocumentMode::Text)
        return upload;
    SetLines(NormalizeProgramForUpload(FText.Lines(), siemens), TTextReplace::Step);
    ScanToolChanges();
    upload.Candidates = FToolChangeCandidates;
    upload.Content = ProgramUploadBytes(FText.Lines());
    return upload;
}

void TProgramDocument::SetText(const QString& text, TTextReplace how)
{
    QStringList lines;
    SplitTextLines(text, lines, FLineBreak, FTrailingLineBreak);
    FText.Replace(lines, ShownLineBreak(FLineBreak), how);
}

void TProgramDocument::SetLines(const QStringList& lines, TTextReplace how)
{
    FLineBreak = TLineBreakStyle::CrLf;
    FTrailingLineBreak = true;
    FText.Replace(lines, TLineBreakStyle::CrLf, how);
}

TPreparedUpload PrepareFileForUpload(const QByteArray& fileBytes, bool siemens)
{
    TPlainTextStore store;
    TProgramDocument document(store);
    document.OpenBytes(fileBytes, siemens);
    return document.PrepareUpload(siemens);
}
