#include "UnitStartFromSelectForm.h"

#include "ui_UnitStartFromSelectForm.h"

#include "FixedPitchFont.h"
#include "operations/DeviceCommandOperations.h"

#include <QCoreApplication>
#include <QFontDatabase>
#include <QPointer>
#include <QThreadPool>

namespace {

const QColor CurrentLineGreen(0, 128, 0);
const QColor WarningRed(192, 0, 0);

void SetTextColour(QWidget* widget, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::Text, colour);
    widget->setPalette(palette);
}

QFont PixelFont(const QString& family, int pixels, bool bold = false)
{
    QFont font(family);
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

QString MonoFamily()
{
    return FixedPitchFamily({ "Courier New" });
}

} // namespace

TFormStartFromSelect::TFormStartFromSelect(TBlockingCallRunner runner, QWidget* parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::TFormStartFromSelect>())
    , FRunner(std::move(runner))
{
    ui->setupUi(this);
    // A fixed border: no sizing and only a close button.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
        | Qt::MSWindowsFixedSizeDialogHint);
    QFont font = this->font();
    if (QFontDatabase::hasFamily("Segoe UI"))
        font.setFamily("Segoe UI");
    font.setPixelSize(12);
    setFont(font);
    setFixedSize(384, 440);
    const QString mono = MonoFamily();
    ui->ListBoxEntries->setFont(PixelFont(mono, 13));
    ui->LabelPreviewPrev->setFont(PixelFont(mono, 13));
    ui->LabelPreviewNext->setFont(PixelFont(mono, 13));
    ui->LabelPreviewCurrent->setFont(PixelFont(mono, 13, true));
    SetTextColour(ui->LabelPreviewCurrent, CurrentLineGreen);
    QFont caption = ui->LabelSafetyCaption->font();
    caption.setBold(true);
    ui->LabelSafetyCaption->setFont(caption);
    ui->ScrollAreaSafety->setBackgroundRole(QPalette::Base);
    ui->ButtonReadBack->hide();
    ui->ProgressBarReadBack->hide();
    // Each preview line keeps its own row: a long line is elided, never
    // wrapped over the rows below it.
    for (QLabel* label : { ui->LabelPreviewPrev, ui->LabelPreviewCurrent, ui->LabelPreviewNext }) {
        label->setWordWrap(false);
        label->setFixedHeight(QFontMetrics(label->font()).height() + 2);
        label->installEventFilter(this);
    }
    layout()->activate(); // the labels' widths, for the elision before the dialog is shown

    connect(ui->ListBoxEntries, &QListWidget::itemSelectionChanged, this, &TFormStartFromSelect::ListBoxEntriesClick);
    connect(ui->ListBoxEntries, &QListWidget::itemDoubleClicked, this, &TFormStartFromSelect::ListBoxEntriesDblClick);
    connect(ui->ButtonReadBack, &QPushButton::clicked, this, &TFormStartFromSelect::ButtonReadBackClick);
    connect(ui->ButtonOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
}

TFormStartFromSelect::~TFormStartFromSelect() = default;

TFormStartFromSelect::TPeekResult TFormStartFromSelect::Peek(qint32 index) const
{
    // Copies for the worker thread: the dialog may go while the device answers.
    TQuillexDevice device;
    device.IPAddress = FIPAddress;
    device.Port = FPort;
    const TPeekOutcome peek = RunBlocking(FRunner, [device, index] { return PeekStartFromPoint(device, index); });
    return { peek.Succeeded(), peek.Previous, peek.Line, peek.Next, peek.Message };
}

void TFormStartFromSelect::Initialize(
    const QList<TStartFromIndexEntry>& entries, const QString& ipAddress, quint16 port)
{
    FIPAddress = ipAddress;
    FPort = port;
    FEntries = entries;
    // Hashing and interpreting a long program takes a while: it runs while the lines are read.
    StartSafetyJob([input = FSafetyInput, entries] { return CheckEditorProgram(input, entries); });
    QListWidget* list = ui->ListBoxEntries;
    {
        const QSignalBlocker blocker(list);
        list->clear();
        for (const TStartFromIndexEntry& entry : entries) {
            auto* item = new QListWidgetItem(QString::fromUtf8("Satır %1: (okunuyor...)").arg(entry.LineNumber), list);
            item->setData(Qt::UserRole, entry.Index);
            item->setData(Qt::UserRole + 1, entry.LineNumber);
        }
    }
    for (int row = 0; row < entries.size(); ++row) {
        const TPeekResult peek = Peek(entries[row].Index);
        const QString text = peek.Ok ? peek.LineText : QString::fromUtf8("(okunamadı)");
        if (QListWidgetItem* item = list->item(row)) // the rows stay while the device answers: input waits
            item->setText(QString::fromUtf8("Satır %1: %2").arg(entries[row].LineNumber).arg(text));
    }
    if (list->count() > 0) {
        {
            const QSignalBlocker blocker(list);
            list->clearSelection();
            list->setCurrentRow(-1);
        }
        list->setCurrentRow(0); // selects the row: the preview follows
    }
}

qint32 TFormStartFromSelect::SelectedIndexNo() const
{
    const QList<QListWidgetItem*> selected = ui->ListBoxEntries->selectedItems();
    return selected.isEmpty() ? -1 : selected.first()->data(Qt::UserRole).toInt();
}

void TFormStartFromSelect::ListBoxEntriesClick()
{
    SetPreview(ui->LabelPreviewPrev, QString());
    SetPreview(ui->LabelPreviewNext, QString());
    ShowSafety();
    const QList<QListWidgetItem*> selected = ui->ListBoxEntries->selectedItems();
    emit EntrySelected(selected.isEmpty() ? 0 : selected.first()->data(Qt::UserRole + 1).toInt());
    if (selected.isEmpty()) {
        SetPreview(ui->LabelPreviewCurrent, QString());
        return;
    }
    const qint32 index = SelectedIndexNo();
    SetPreview(ui->LabelPreviewCurrent, QString::fromUtf8("Cihazdan okunuyor..."));
    const TPeekResult peek = Peek(index); // the window paints the text meanwhile
    if (!peek.Ok) {
        SetPreview(ui->LabelPreviewCurrent, QString::fromUtf8("(okunamadı: %1)").arg(peek.ErrorMsg));
        return;
    }
    SetPreview(ui->LabelPreviewPrev, peek.PrevLine.isEmpty() ? QString::fromUtf8("(önceki satır yok)") : peek.PrevLine);
    SetPreview(ui->LabelPreviewCurrent, peek.LineText);
    SetPreview(
        ui->LabelPreviewNext, peek.NextLine.isEmpty() ? QString::fromUtf8("(sonraki satır yok)") : peek.NextLine);
}

QString TFormStartFromSelect::PreviewText(const QLabel* label)
{
    return label->property("previewText").toString();
}

void TFormStartFromSelect::SetPreview(QLabel* label, const QString& text)
{
    label->setProperty("previewText", text);
    ShowElided(label);
}

void TFormStartFromSelect::ShowElided(QLabel* label)
{
    const QString text = PreviewText(label);
    const QString shown = label->fontMetrics().elidedText(text, Qt::ElideRight, label->contentsRect().width());
    label->setText(shown);
    label->setToolTip(shown == text ? QString() : text);
}

bool TFormStartFromSelect::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Resize)
        if (auto* label = qobject_cast<QLabel*>(watched))
            ShowElided(label);
    return QDialog::eventFilter(watched, event);
}

void TFormStartFromSelect::ListBoxEntriesDblClick()
{
    if (!ui->ListBoxEntries->selectedItems().isEmpty())
        accept();
}

void TFormStartFromSelect::SetSafetyInput(const TStoredProgramCheckInput& input)
{
    FSafetyInput = input;
}

void TFormStartFromSelect::StartSafetyJob(std::function<TStoredProgramCheck()> check)
{
    const quint64 job = ++FSafetyJob;
    const QPointer<TFormStartFromSelect> self(this);
    QThreadPool::globalInstance()->start([self, job, check = std::move(check)] {
        const TStoredProgramCheck result = check();
        // Delivered on the application's thread, where the pointer can be checked.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, job, result] {
                if (!self || self->FSafetyJob != job)
                    return;
                self->FSafety = result;
                self->FSafetyDoneJob = job;
                self->ui->ProgressBarReadBack->hide();
                self->ui->ListBoxEntries->setEnabled(true);
                self->ui->ButtonOk->setEnabled(true);
                self->ShowSafety();
            },
            Qt::QueuedConnection);
    });
    ShowSafety();
}

void TFormStartFromSelect::ShowSafety()
{
    const bool running = !SafetyCheckDone();
    ui->ButtonReadBack->setVisible(!running && !FSafety.Checked && FSafety.ReadBackOffered);
    const qint32 index = SelectedIndexNo();
    if (running) {
        SetTextColour(ui->LabelSafety, palette().color(QPalette::WindowText));
        ui->LabelSafety->setText(ui->ProgressBarReadBack->isVisible()
                ? QString::fromUtf8("Cihazdaki program alınıyor...")
                : QString::fromUtf8("Güvenlik kontrolü yapılıyor..."));
        return;
    }
    if (index < 0 && FSafety.Checked) {
        ui->LabelSafety->clear();
        return;
    }
    // Warnings, or why nothing could be checked, in red; green only for a point found clear.
    SetTextColour(ui->LabelSafety, FSafety.AllClear(index) ? CurrentLineGreen : WarningRed);
    ui->LabelSafety->setText(FSafety.Lines(index).join('\n'));
}

void TFormStartFromSelect::ButtonReadBackClick()
{
    // The device sends its program on the download port meanwhile: no other
    // query, and no start, until it is checked.
    ui->ListBoxEntries->setEnabled(false);
    ui->ButtonOk->setEnabled(false);
    ui->ProgressBarReadBack->setValue(0);
    ui->ProgressBarReadBack->show();
    const QPointer<TFormStartFromSelect> self(this);
    const auto progress = [self](qint32 percent) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, percent] {
                if (self)
                    self->ui->ProgressBarReadBack->setValue(percent);
            },
            Qt::QueuedConnection);
    };
    StartSafetyJob(
        [ip = FIPAddress, siemens = FSafetyInput.Siemens, entries = FEntries, maxFileSize = FSafetyInput.MaxFileSize,
            progress] { return ReadBackAndCheck(ip, DownloadPort, siemens, entries, maxFileSize, progress); });
}
