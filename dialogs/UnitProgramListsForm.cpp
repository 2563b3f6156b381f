#include "UnitProgramListsForm.h"

#include "ui_UnitProgramListsForm.h"

#include "FixedPitchFont.h"

#include "content/TextDocument.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QKeyEvent>
#include <QTimer>

#include <utility>

#include <Qsci/qsciscintilla.h>

namespace {

QFont MemoFont()
{
    QFont font(FixedPitchFamily({ "Courier New", "Liberation Mono", "DejaVu Sans Mono" }));
    font.setPointSizeF(13 * 72.0 / 96.0); // 13 px; the editor widget takes points
    return font;
}

} // namespace

TFormProgramList::TFormProgramList(TUiPrompter& prompter, QByteArray text, QWidget* parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::TFormProgramList>())
    , FPrompter(prompter)
    , FText(std::move(text))
{
    ui->setupUi(this);
    QFont font = this->font();
    font.setFamilies({ "Segoe UI", "Noto Sans", "DejaVu Sans" });
    font.setPixelSize(12);
    setFont(font);

    QsciScintilla* memo = ui->Memo1;
    memo->setUtf8(true);
    memo->setFont(MemoFont());
    memo->setMarginType(0, QsciScintilla::NumberMargin);
    memo->setMarginsFont(MemoFont());
    memo->setMarginWidth(0, "000000");
    memo->setEolMode(QsciScintilla::EolWindows);
    memo->setWrapMode(QsciScintilla::WrapNone);
    memo->installEventFilter(this); // Tab moves on, as in a plain memo

    ui->ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
    connect(ui->ListBox1, &QListWidget::itemSelectionChanged, this, &TFormProgramList::ListBox1Click);
    connect(ui->ListBox1, &QListWidget::itemDoubleClicked, this, &TFormProgramList::ListBox1DblClick);
    connect(ui->Button1, &QPushButton::clicked, this, &TFormProgramList::Button1Click);
    connect(ui->Button2, &QPushButton::clicked, this, &TFormProgramList::Button2Click);
    connect(ui->Button3, &QPushButton::clicked, this, &TFormProgramList::Button3Click);
    connect(ui->Button4, &QPushButton::clicked, this, &TFormProgramList::Button4Click);
    UpdateCommandsEnabled();
    resize(908, 529); // shown centred on the owner, as a dialog is
}

TFormProgramList::~TFormProgramList() = default;

void TFormProgramList::WaitProcessingEvents(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

bool TFormProgramList::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != ui->Memo1 || event->type() != QEvent::KeyPress)
        return QDialog::eventFilter(watched, event);
    // The text takes no Tab: the list and the buttons are reached from it
    // by the keyboard, and Esc closes the window as in every dialog.
    const auto* key = static_cast<QKeyEvent*>(event);
    switch (key->key()) {
    case Qt::Key_Tab:
        focusNextPrevChild(!(key->modifiers() & Qt::ShiftModifier));
        return true;
    case Qt::Key_Backtab:
        focusNextPrevChild(false);
        return true;
    case Qt::Key_Escape:
        reject();
        return true;
    default:
        return false;
    }
}

void TFormProgramList::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // Once per opening: message boxes of the window activate it again.
    if (!FActivated) {
        FActivated = true;
        FormActivate();
    }
}

void TFormProgramList::FormActivate()
{
    setEnabled(false);
    ui->ListBox1->clear();
    FPrograms = FindPrograms(FText);
    for (const TProgramSlice& program : FPrograms)
        ui->ListBox1->addItem(program.Name);
    if (const int rows = ui->ListBox1->count(); rows > 0) {
        ui->ListBox1->setCurrentRow(0); // shown through the selection's change
        ui->Label3->setText(QString("%1 Adet Program").arg(rows));
        ui->Label3->show();
    }
    UpdateCommandsEnabled();
    setEnabled(true);
}

void TFormProgramList::done(int result)
{
    if (FSavingAll) { // the files are being written; the window closes when they are done
        FCloseResult = result;
        return;
    }
    FormClose();
    QDialog::done(result);
}

void TFormProgramList::FormClose()
{
    ui->ListBox1->clear();
    FPrograms.clear();
    ui->Label3->hide();
}

const TProgramSlice* TFormProgramList::SelectedProgram() const
{
    const QList<QListWidgetItem*> selected = ui->ListBox1->selectedItems();
    const int row = selected.isEmpty() ? -1 : ui->ListBox1->row(selected.first());
    return row >= 0 && row < FPrograms.size() ? &FPrograms[row] : nullptr;
}

void TFormProgramList::ShowProgram(const TProgramSlice* program)
{
    QsciScintilla* memo = ui->Memo1;
    const QByteArray text = program ? ProgramText(FText, *program) : QByteArray();
    // Undo must not bring back the text of another program: none is recorded
    // meanwhile, so that a large program is not copied into the history. No
    // change notification either: QScintilla would copy the text into a
    // QString for it; listeners hear of the new text after.
    const long eventMask = memo->SendScintilla(QsciScintilla::SCI_GETMODEVENTMASK);
    memo->SendScintilla(QsciScintilla::SCI_SETMODEVENTMASK, 0L);
    memo->SendScintilla(QsciScintilla::SCI_SETUNDOCOLLECTION, 0L);
    memo->SendScintilla(QsciScintilla::SCI_CLEARALL);
    // The UTF-8 bytes as they are, a character of code 0 included.
    memo->SendScintilla(QsciScintilla::SCI_APPENDTEXT, uintptr_t(text.size()), text.constData());
    memo->SendScintilla(QsciScintilla::SCI_EMPTYUNDOBUFFER);
    memo->SendScintilla(QsciScintilla::SCI_SETUNDOCOLLECTION, 1L);
    memo->SendScintilla(QsciScintilla::SCI_SETMODEVENTMASK, eventMask);
    emit memo->textChanged();
}

void TFormProgramList::UpdateCommandsEnabled()
{
    const bool selected = !ui->ListBox1->selectedItems().isEmpty();
    ui->Button1->setEnabled(!FSavingAll);
    for (QPushButton* button : { ui->Button2, ui->Button3, ui->Button4 })
        button->setEnabled(selected && !FSavingAll);
    ui->ListBox1->setEnabled(!FSavingAll);
}

void TFormProgramList::ListBox1Click()
{
    // The program as split: edits in the text are not kept when another program is shown.
    ShowProgram(SelectedProgram());
    UpdateCommandsEnabled();
}

void TFormProgramList::ListBox1DblClick()
{
    Button3Click();
}

void TFormProgramList::Button1Click()
{
    const int rows = ui->ListBox1->count();
    if (rows == 0)
        return;
    QString folder;
    if (!FPrompter.AskFolder(QString(), folder))
        return;
    const int pause = SaveAllPauseMs(rows);
    QProgressBar* bar = ui->JvGradientProgressBar1;
    FSavingAll = true;
    UpdateCommandsEnabled();
    QString error;
    const QList<TProgramSlice> programs = FPrograms; // the pauses run event loops
    const bool saved = SaveAllPrograms(folder, FText, programs, error, [&](qsizetype i) {
        // A single program: the bar shows it done (a range 0 … 0 would be a busy indicator).
        if (i == 0)
            bar->setRange(0, rows > 1 ? rows - 1 : 1);
        bar->setValue(rows > 1 ? int(i) : 1);
        if (pause > 0)
            FPause(pause);
    });
    FSavingAll = false;
    UpdateCommandsEnabled();
    if (!saved)
        FPrompter.ShowMessage(error);
    if (const std::optional<int> result = std::exchange(FCloseResult, std::nullopt))
        done(*result);
}

void TFormProgramList::Button2Click()
{
    const TProgramSlice* selected = SelectedProgram();
    if (!selected)
        return;
    const TProgramSlice program = *selected; // the questions below run event loops
    QString fileName;
    if (!FPrompter.AskSaveFile(QString(), QString(), QString(), QString(), fileName))
        return;
    if (QFileInfo::exists(fileName)
        && !FPrompter.ConfirmOkCancel(QString::fromUtf8("VAR OLAN DOSYANIN ÜSTÜNE YAZILSIN MI?")))
        return;
    QString error;
    // As split, without the edits in the text.
    if (!WriteWholeFile(fileName, ProgramFileBytes(FText, program), error))
        FPrompter.ShowMessage(error);
}

void TFormProgramList::Button3Click()
{
    if (ui->ListBox1->selectedItems().isEmpty())
        return;
    // The whole text: QScintilla's own text() ends at a character of code 0.
    QsciScintilla* memo = ui->Memo1;
    const auto length = qsizetype(memo->SendScintilla(QsciScintilla::SCI_GETLENGTH));
    QString text = QString::fromUtf8(
        reinterpret_cast<const char*>(memo->SendScintilla(QsciScintilla::SCI_GETCHARACTERPOINTER)), length);
    // Ended as a program file is, so that saving the main document keeps the last line's break.
    if (!text.isEmpty() && !text.endsWith(u'\n') && !text.endsWith(u'\r'))
        text += LineBreakText(TLineBreakStyle::CrLf);
    emit ProgramTaken(text);
    accept();
}

void TFormProgramList::Button4Click()
{
    const QList<QListWidgetItem*> selected = ui->ListBox1->selectedItems();
    if (selected.isEmpty() || !FPrompter.ConfirmOkCancel(QString::fromUtf8("SİLMEK İSTEDİĞİNİZDEN EMİN MİSİNİZ?")))
        return;
    const int row = ui->ListBox1->row(selected.first());
    FPrograms.removeAt(row);
    delete ui->ListBox1->takeItem(row);
    // The row now at the same place, or the new last one; the count label keeps its number.
    if (const int rows = ui->ListBox1->count(); rows > 0)
        ui->ListBox1->setCurrentRow(qMin(row, rows - 1));
    ListBox1Click();
}
