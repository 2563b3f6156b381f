// The main window's document side: the editor and hex view drawn from the
// program document, the file commands, shortcuts, the tool-change list and
// the CMT view.
#include "unitmainform.h"

#include "ui_unitmainform.h"

#include "EditorPane.h"
#include "ToolChangePanel.h"
#include "config/Settings.h"
#include "dialogs/UnitProgramListsForm.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include <Qsci/qsciscintilla.h>

namespace {

const QString BinaryFilter = QString::fromUtf8("Binary (*.bin)|*.bin|Tüm dosyalar (*.*)|*.*");
const QString CmtFilter = QString::fromUtf8("Mazatrol CMT (*.cmt)|*.cmt|Tüm dosyalar (*.*)|*.*");

} // namespace

QString TFormMain::EditorText() const
{
    return FDocument->Text();
}

QStringList TFormMain::EditorLines() const
{
    return FDocument->Lines();
}

QString TFormMain::CurrentFileName() const
{
    return FDocument->FileName();
}

QList<TStartFromCandidate> TFormMain::ToolChangeCandidates() const
{
    return FDocument->ToolChangeCandidates();
}

void TFormMain::SetEditorText(const QString& text)
{
    FDocument->SetText(text, TTextReplace::OperatorEdit);
}

void TFormMain::ResetEditorContent()
{
    FDocument->LeaveSpecialMode();
}

void TFormMain::ShowRawCapture(const QByteArray& data)
{
    FDocument->ShowRawCapture(data);
}

void TFormMain::ShowCmtFile(const QByteArray& data)
{
    FDocument->ShowCmtFile(data);
}

void TFormMain::ScanToolChanges()
{
    FDocument->ScanToolChanges();
}

// The views follow the document: the hex view for captures and CMT files, the
// editor for text, and the tool-change list with the scan's or the CMT rows.
// Drawn at each of the document's announcements; a later call draws nothing
// new.
void TFormMain::RedrawDocument()
{
    if (FDocumentDrawn)
        return;
    FDocumentDrawn = true;
    const TDocumentMode mode = FDocument->Mode();
    const bool cmtShown = FShownMode == TDocumentMode::Cmt;
    if (cmtShown && mode != TDocumentMode::Cmt)
        LeaveCmtPanel();

    FEditorPane->ShowDocument(FShownMode);

    if (mode == TDocumentMode::Cmt)
        ShowCmtPanel(!cmtShown);
    else
        FToolChangePanel->ShowToolChangeRows(*FDocument);
    FShownMode = mode;
    ToolpathDocumentChanged();
}

void TFormMain::ShowCmtPanel(bool entering)
{
    FToolChangePanel->ShowCmtRows(FDocument->CmtInfo(), entering);
    ShowToolChangePanel();
}

void TFormMain::LeaveCmtPanel()
{
    FToolChangesPanelWidth = ui->PanelToolChanges->width();
    FToolChangePanel->LeaveCmtRows();
    ui->PanelToolChanges->hide();
}

void TFormMain::SaveSelectedCmtProgram()
{
    if (FDocument->Mode() != TDocumentMode::Cmt)
        return;
    const TCmtInfo& info = FDocument->CmtInfo();
    const int k = FToolChangePanel->SelectedValue() - 1;
    if (k < 0 || k >= info.Programs.size())
        return;
    QByteArray bytes;
    try {
        bytes = ExtractCmtProgram(info, k);
    } catch (const EQuillexError& e) {
        FPrompter.ShowMessage(e.Message());
        return;
    }
    QString fileName;
    if (!FPrompter.AskSaveFile(
            RememberedFolder("LastSaveDir"), CmtProgramFileName(info.Programs[k]), "cmt", CmtFilter, fileName))
        return;
    if (QFileInfo::exists(fileName)
        && !FPrompter.ConfirmOkCancel(QString::fromUtf8("Var olan dosyanın üstüne yazılsın mı?")))
        return;
    QString error;
    if (!WriteWholeFile(fileName, bytes, error))
        FPrompter.ShowMessage(error);
}

// ---- File commands ----

QString TFormMain::RememberedFolder(const QString& key) const
{
    return OpenSettingsFile().value("MainForm/" + key, QDir::currentPath()).toString();
}

void TFormMain::RememberFolder(const QString& key, const QString& fileName)
{
    OpenSettingsFile().setValue("MainForm/" + key, QFileInfo(fileName).absolutePath());
}

bool TFormMain::ConfirmLosingContent()
{
    if (FDocument->IsBlank())
        return true;
    return FPrompter.ConfirmOkCancel(
        QString::fromUtf8("Mevcut program içeriği kaybolacak, devam etmek istiyor musunuz?"));
}

bool TFormMain::ConfirmLosingEdits()
{
    if (!FDocument->IsModified())
        return true;
    return FPrompter.ConfirmOkCancel(
        QString::fromUtf8("Kaydedilmemiş değişiklikler kaybolacak, çıkmak istiyor musunuz?"));
}

void TFormMain::SpeedButtonFileNewClick()
{
    if (!ConfirmLosingContent())
        return;
    FDocument->New();
}

void TFormMain::SpeedButtonFileOpenClick()
{
    if (!ConfirmLosingContent())
        return;
    QString fileName;
    if (!FPrompter.AskOpenFile(RememberedFolder("LastOpenDir"), fileName))
        return;
    OpenDocumentFile(fileName);
}

bool TFormMain::OpenFile(const QString& fileName)
{
    if (!ConfirmLosingContent())
        return false;
    return OpenDocumentFile(fileName);
}

bool TFormMain::OpenDocumentFile(const QString& fileName)
{
    if (!QFileInfo::exists(fileName))
        return false;
    QString error;
    const bool opened = FDocument->OpenFile(fileName, IsSelectedDeviceSiemens(), error);
    if (!opened) {
        FPrompter.ShowMessage(error);
        return false;
    }
    RememberFolder("LastOpenDir", fileName);
    RememberRecentFile(fileName);
    return true;
}

void TFormMain::SpeedButtonFileSaveClick()
{
    if (FDocument->IsBlank())
        return;
    if (FDocument->FileName().isEmpty()) {
        SpeedButtonFileSaveAsClick();
        return;
    }
    WriteDocumentFile(FDocument->FileName());
}

void TFormMain::SpeedButtonFileSaveAsClick()
{
    if (FDocument->IsBlank())
        return;
    QString fileName;
    const bool raw = FDocument->Mode() == TDocumentMode::RawCapture, cmt = FDocument->Mode() == TDocumentMode::Cmt;
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
    FDocument->SetFileName(fileName);
    RememberFolder("LastSaveDir", fileName);
}

bool TFormMain::WriteDocumentFile(const QString& fileName)
{
    QString error;
    if (!FDocument->SaveFile(fileName, error)) {
        FPrompter.ShowMessage(error);
        return false;
    }
    RememberRecentFile(fileName);
    return true;
}

void TFormMain::SpeedButtonExtractProgramsClick()
{
    QByteArray text = FDocument->Utf8Text();
    if (Utf8LineCount(text) <= 1)
        return;
    TFormProgramList form(FPrompter, std::move(text), this);
    connect(&form, &TFormProgramList::ProgramTaken, this, &TFormMain::TakeProgramListText);
    form.exec();
}

void TFormMain::TakeProgramListText(const QString& text)
{
    FDocument->SetText(text, TTextReplace::OperatorEdit);
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
