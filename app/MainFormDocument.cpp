// The main window's document side: editor modes, file commands, shortcuts,
// the tool-change scan and the CMT view.
#include "unitmainform.h"

#include "ui_unitmainform.h"

#include "GCodeLexer.h"
#include "HexDumpView.h"
#include "content/HexDump.h"
#include "content/ProgramText.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStringEncoder>

#include <Qsci/qsciscintilla.h>

namespace {

const QString BinaryFilter = QString::fromUtf8("Binary (*.bin)|*.bin|Tüm dosyalar (*.*)|*.*");
const QString CmtFilter = QString::fromUtf8("Mazatrol CMT (*.cmt)|*.cmt|Tüm dosyalar (*.*)|*.*");

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

// U+2028 is not a line end to the editor: such documents are shown with CR LF.
TLineBreakStyle ShownLineBreak(TLineBreakStyle style)
{
    return style == TLineBreakStyle::LineSeparator ? TLineBreakStyle::CrLf : style;
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

bool IsBlank(const QString& text)
{
    for (QChar c : text)
        if (c.unicode() > 32)
            return false;
    return true;
}

} // namespace

QString TFormMain::EditorText() const
{
    if (!FRawContent.isEmpty())
        return HexDumpText(FRawContent);
    if (!FCmtContent.isEmpty())
        return HexDumpText(FCmtContent);
    return ui->SynEditProgram->text();
}

bool TFormMain::EditorIsBlank() const
{
    return FRawContent.isEmpty() && FCmtContent.isEmpty() && IsBlank(ui->SynEditProgram->text());
}

QStringList TFormMain::EditorLines() const
{
    if (!FEditorLinesValid) {
        FEditorLinesCache = SplitTextLines(EditorText());
        FEditorLinesValid = true;
    }
    return FEditorLinesCache;
}

namespace {

// Replacing the whole text is not an edit the operator could undo; without
// undo recording Scintilla also keeps no second copy of a huge text.
void ReplaceEditorBytes(QsciScintilla* editor, const QByteArray& utf8)
{
    editor->SendScintilla(QsciScintilla::SCI_SETUNDOCOLLECTION, 0L);
    editor->SendScintilla(QsciScintilla::SCI_CLEARALL);
    editor->SendScintilla(QsciScintilla::SCI_ALLOCATE, long(utf8.size() + 1)); // one allocation, no regrowing
    editor->SendScintilla(QsciScintilla::SCI_SETTEXT, utf8.constData());
    editor->SendScintilla(QsciScintilla::SCI_EMPTYUNDOBUFFER);
    editor->SendScintilla(QsciScintilla::SCI_SETUNDOCOLLECTION, 1L);
}

} // namespace

void TFormMain::SetEditorContent(const QStringList& lines, TLineBreakStyle shown)
{
    ui->SynEditProgram->setEolMode(EolModeFor(shown)); // what typing a new line inserts
    ReplaceEditorBytes(ui->SynEditProgram, JoinUtf8Lines(lines, LineBreakText(shown))); // invalidates the cache
    FEditorLinesCache = lines;
    FEditorLinesValid = true;
}

void TFormMain::SetEditorText(const QString& text)
{
    QStringList lines;
    SplitTextLines(text, lines, FDocLineBreak, FDocTrailingLineBreak);
    // The editor shows the lines; the break after the last one is remembered for saving.
    SetEditorContent(lines, ShownLineBreak(FDocLineBreak));
}

void TFormMain::SetEditorLines(const QStringList& lines)
{
    FDocLineBreak = TLineBreakStyle::CrLf;
    FDocTrailingLineBreak = true;
    SetEditorContent(lines, TLineBreakStyle::CrLf);
}

void TFormMain::ShowHexDump(const QByteArray& data)
{
    // Read-only, in a view that draws only the rows in sight: the dump of a
    // large capture is five times its size, too much to load into the editor.
    FHexView->SetData(data);
    FHexView->show();
    ui->SynEditProgram->hide();
    ReplaceEditorBytes(ui->SynEditProgram, QByteArray());
    FEditorLinesValid = false;
    ui->SynEditProgram->setReadOnly(true);
}

void TFormMain::LeaveHexDump()
{
    FHexView->SetData({});
    FHexView->hide();
    ui->SynEditProgram->show();
    ui->SynEditProgram->setReadOnly(false);
}

void TFormMain::ResetEditorContent()
{
    LeaveCmtView();
    FRawContent.clear();
    LeaveHexDump();
}

void TFormMain::ShowRawCapture(const QByteArray& data)
{
    LeaveCmtView();
    FRawContent = data;
    ShowHexDump(FRawContent);
    ui->ListBoxToolChanges->clear();
    FToolChangeCandidates.clear();
}

void TFormMain::ShowCmtFile(const QByteArray& data)
{
    FRawContent.clear();
    TCmtInfo info;
    if (!ParseCmt(data, info))
        return;
    if (FCmtContent.isEmpty()) {
        FToolPanelCaption = ui->LabelToolChanges->text();
        FToolPanelHint = ui->ListBoxToolChanges->toolTip();
    }
    FCmtContent = data;
    FCmtInfo = info;
    ShowHexDump(FCmtContent);
    FToolChangeCandidates.clear();

    ui->ListBoxToolChanges->setUpdatesEnabled(false);
    ui->ListBoxToolChanges->clear();
    for (const TCmtViewRow& row : CmtViewRows(FCmtInfo)) {
        auto* item = new QListWidgetItem(row.Text, ui->ListBoxToolChanges);
        item->setData(Qt::UserRole, row.Value);
    }
    ui->ListBoxToolChanges->setUpdatesEnabled(true);
    ui->LabelToolChanges->setText("Mazatrol CMT Bilgisi");
    ui->ListBoxToolChanges->setToolTip(QString::fromUtf8("ÇİFT TIKLA: PROGRAMI AYRI KAYDET"));
    ShowToolChangePanel();
}

void TFormMain::LeaveCmtView()
{
    if (FCmtContent.isEmpty())
        return;
    FToolChangesPanelWidth = ui->PanelToolChanges->width();
    FCmtContent.clear();
    FCmtInfo = TCmtInfo();
    LeaveHexDump();
    ui->ListBoxToolChanges->clear();
    ui->LabelToolChanges->setText(FToolPanelCaption);
    ui->ListBoxToolChanges->setToolTip(FToolPanelHint);
    ui->PanelToolChanges->hide();
}

void TFormMain::SaveSelectedCmtProgram()
{
    QListWidgetItem* item = ui->ListBoxToolChanges->currentItem();
    if (!item || !item->isSelected())
        return;
    const int k = item->data(Qt::UserRole).toInt() - 1;
    if (k < 0 || k >= FCmtInfo.Programs.size())
        return;
    QByteArray bytes;
    try {
        bytes = ExtractCmtProgram(FCmtInfo, k);
    } catch (const ECmtError& e) {
        FPrompter.ShowMessage(e.Message());
        return;
    }
    QString fileName;
    if (!FPrompter.AskSaveFile(
            RememberedFolder("LastSaveDir"), CmtProgramFileName(FCmtInfo.Programs[k]), "cmt", CmtFilter, fileName))
        return;
    if (QFileInfo::exists(fileName)
        && !FPrompter.ConfirmOkCancel(QString::fromUtf8("Var olan dosyanın üstüne yazılsın mı?")))
        return;
    QString error;
    if (!WriteWholeFile(fileName, bytes, error))
        FPrompter.ShowMessage(error);
}

void TFormMain::ScanToolChanges()
{
    if (!FCmtContent.isEmpty())
        return;
    if (!FRawContent.isEmpty()) {
        ui->ListBoxToolChanges->clear();
        FToolChangeCandidates.clear();
        return;
    }
    const TToolChangeScan scan = ScanToolChangeLines(EditorLines(), int(LineBreakText(FDocLineBreak).size()));
    if (scan.LinesRewritten)
        SetEditorLines(scan.Lines);
    ShowToolChanges(scan);
}

void TFormMain::ShowToolChanges(const TToolChangeScan& scan)
{
    ui->ListBoxToolChanges->setUpdatesEnabled(false);
    ui->ListBoxToolChanges->clear();
    for (const TToolChangeRow& row : scan.Rows) {
        auto* item = new QListWidgetItem(row.Text, ui->ListBoxToolChanges);
        item->setData(Qt::UserRole, row.LineNumber);
    }
    ui->ListBoxToolChanges->setUpdatesEnabled(true);
    FToolChangeCandidates = scan.Candidates;
}

// ---- File commands ----

QString TFormMain::RememberedFolder(const QString& key) const
{
    return QSettings(SettingsFilePath(), QSettings::IniFormat).value("MainForm/" + key, QDir::currentPath()).toString();
}

void TFormMain::RememberFolder(const QString& key, const QString& fileName)
{
    QSettings(SettingsFilePath(), QSettings::IniFormat).setValue("MainForm/" + key, QFileInfo(fileName).absolutePath());
}

bool TFormMain::ConfirmLosingContent()
{
    if (EditorIsBlank())
        return true;
    return FPrompter.ConfirmOkCancel(
        QString::fromUtf8("Mevcut program içeriği kaybolacak, devam etmek istiyor musunuz?"));
}

void TFormMain::SpeedButtonFileNewClick()
{
    if (!ConfirmLosingContent())
        return;
    ResetEditorContent();
    SetEditorText({});
    FDocLineBreak = TLineBreakStyle::CrLf;
    FDocTrailingLineBreak = true;
    ScanToolChanges();
    FCurrentFileName.clear();
}

void TFormMain::SpeedButtonFileOpenClick()
{
    if (!ConfirmLosingContent())
        return;
    QString fileName;
    if (!FPrompter.AskOpenFile(RememberedFolder("LastOpenDir"), fileName) || !QFileInfo::exists(fileName))
        return;
    ResetEditorContent();
    QByteArray bytes;
    QString error;
    if (!ReadWholeFile(fileName, bytes, error)) {
        FPrompter.ShowMessage(error);
        return;
    }
    if (IsCmtData(bytes.left(4096))) {
        ShowCmtFile(bytes);
    } else {
        TTextDocument document = ReadTextDocument(bytes);
        FDocEncoding = document.Encoding;
        FDocHasByteOrderMark = document.HasByteOrderMark;
        FDocLineBreak = document.LineBreak;
        FDocTrailingLineBreak = document.TrailingLineBreak;
        // Word spaces line by line: the insertion starts afresh at every line break anyway.
        if (!IsSelectedDeviceSiemens())
            for (QString& line : document.Lines)
                line = InsertWordSpaces(line);
        // The tool-change scan that follows opening may drop blank lines; run on
        // the document before it goes into the editor, a large file is loaded once.
        const TToolChangeScan scan = ScanToolChangeLines(document.Lines, int(LineBreakText(FDocLineBreak).size()));
        if (scan.LinesRewritten)
            SetEditorLines(scan.Lines);
        else
            SetEditorContent(document.Lines, ShownLineBreak(FDocLineBreak));
        ShowToolChanges(scan);
    }
    FCurrentFileName = fileName;
    RememberFolder("LastOpenDir", fileName);
}

void TFormMain::SpeedButtonFileSaveClick()
{
    if (EditorIsBlank())
        return;
    if (FCurrentFileName.isEmpty()) {
        SpeedButtonFileSaveAsClick();
        return;
    }
    WriteDocumentFile(FCurrentFileName);
}

void TFormMain::SpeedButtonFileSaveAsClick()
{
    if (EditorIsBlank())
        return;
    QString fileName;
    const bool raw = !FRawContent.isEmpty(), cmt = !FCmtContent.isEmpty();
    if (!FPrompter.AskSaveFile(RememberedFolder("LastSaveDir"),
            raw       ? "debug_capture.bin"
                : cmt ? "mazatrol.cmt"
                      : "",
            raw       ? "bin"
                : cmt ? "cmt"
                      : "",
            raw       ? BinaryFilter
                : cmt ? CmtFilter
                      : QString(),
            fileName))
        return;
    if (QFileInfo::exists(fileName)
        && !FPrompter.ConfirmOkCancel(QString::fromUtf8("Var olan dosyanın üstüne yazılsın mı?")))
        return;
    if (!WriteDocumentFile(fileName))
        return;
    FCurrentFileName = fileName;
    RememberFolder("LastSaveDir", fileName);
}

bool TFormMain::WriteDocumentFile(const QString& fileName)
{
    QByteArray bytes;
    if (!FRawContent.isEmpty()) {
        bytes = FRawContent;
    } else if (!FCmtContent.isEmpty()) {
        bytes = FCmtContent;
    } else {
        TTextDocument document;
        document.Lines = EditorLines();
        document.Encoding = FDocEncoding;
        document.HasByteOrderMark = FDocHasByteOrderMark;
        document.LineBreak = FDocLineBreak;
        document.TrailingLineBreak = FDocTrailingLineBreak;
        bytes = WriteTextDocument(document);
    }
    QString error;
    if (!WriteWholeFile(fileName, bytes, error)) {
        FPrompter.ShowMessage(error);
        return false;
    }
    return true;
}

bool TFormMain::FormShortCut(int key, Qt::KeyboardModifiers modifiers)
{
    if (!(modifiers & Qt::ControlModifier) || (modifiers & Qt::ShiftModifier))
        return false;
    const bool alt = modifiers & Qt::AltModifier;
    if (key == Qt::Key_N && !alt) {
        if (ui->SpeedButtonFileNew->isEnabled())
            SpeedButtonFileNewClick();
        return true;
    }
    if (key == Qt::Key_O && !alt) {
        if (ui->SpeedButtonFileOpen->isEnabled())
            SpeedButtonFileOpenClick();
        return true;
    }
    if (key == Qt::Key_S) {
        alt ? SpeedButtonFileSaveAsClick() : SpeedButtonFileSaveClick();
        return true;
    }
    return false;
}
