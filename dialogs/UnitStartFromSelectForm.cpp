#include "UnitStartFromSelectForm.h"

#include "ui_UnitStartFromSelectForm.h"

#include <QFontDatabase>

namespace {

const QColor CurrentLineGreen(0, 128, 0);

QFont PixelFont(const QString& family, int pixels, bool bold = false)
{
    QFont font(family);
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

QString MonoFamily()
{
    return QFontDatabase::hasFamily("Courier New") ? QString("Courier New")
                                                   : QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
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
    setFixedSize(384, 320);
    const QString mono = MonoFamily();
    ui->ListBoxEntries->setFont(PixelFont(mono, 13));
    ui->LabelPreviewPrev->setFont(PixelFont(mono, 13));
    ui->LabelPreviewNext->setFont(PixelFont(mono, 13));
    ui->LabelPreviewCurrent->setFont(PixelFont(mono, 13, true));
    QPalette green = ui->LabelPreviewCurrent->palette();
    green.setColor(QPalette::WindowText, CurrentLineGreen);
    green.setColor(QPalette::Text, CurrentLineGreen);
    ui->LabelPreviewCurrent->setPalette(green);

    connect(ui->ListBoxEntries, &QListWidget::itemSelectionChanged, this, &TFormStartFromSelect::ListBoxEntriesClick);
    connect(ui->ListBoxEntries, &QListWidget::itemDoubleClicked, this, &TFormStartFromSelect::ListBoxEntriesDblClick);
    connect(ui->ButtonOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
}

TFormStartFromSelect::~TFormStartFromSelect() = default;

TFormStartFromSelect::TPeekResult TFormStartFromSelect::Peek(qint32 index) const
{
    // Copies for the worker thread: the dialog may go while the device answers.
    const QString ip = FIPAddress;
    const quint16 port = FPort;
    return RunBlocking(FRunner, [ip, port, index] {
        TPeekResult r;
        r.Ok = PeekProgramLine(ip, port, index, r.PrevLine, r.LineText, r.NextLine, r.ErrorMsg);
        return r;
    });
}

void TFormStartFromSelect::Initialize(
    const QList<TStartFromIndexEntry>& entries, const QString& ipAddress, quint16 port)
{
    FIPAddress = ipAddress;
    FPort = port;
    QListWidget* list = ui->ListBoxEntries;
    {
        const QSignalBlocker blocker(list);
        list->clear();
        for (const TStartFromIndexEntry& entry : entries) {
            auto* item = new QListWidgetItem(QString::fromUtf8("Satır %1: (okunuyor...)").arg(entry.LineNumber), list);
            item->setData(Qt::UserRole, entry.Index);
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
    ui->LabelPreviewPrev->clear();
    ui->LabelPreviewNext->clear();
    if (ui->ListBoxEntries->selectedItems().isEmpty()) {
        ui->LabelPreviewCurrent->clear();
        return;
    }
    const qint32 index = SelectedIndexNo();
    ui->LabelPreviewCurrent->setText(QString::fromUtf8("Cihazdan okunuyor..."));
    const TPeekResult peek = Peek(index); // the window paints the text meanwhile
    if (!peek.Ok) {
        ui->LabelPreviewCurrent->setText(QString::fromUtf8("(okunamadı: %1)").arg(peek.ErrorMsg));
        return;
    }
    ui->LabelPreviewPrev->setText(peek.PrevLine.isEmpty() ? QString::fromUtf8("(önceki satır yok)") : peek.PrevLine);
    ui->LabelPreviewCurrent->setText(peek.LineText);
    ui->LabelPreviewNext->setText(peek.NextLine.isEmpty() ? QString::fromUtf8("(sonraki satır yok)") : peek.NextLine);
}

void TFormStartFromSelect::ListBoxEntriesDblClick()
{
    if (!ui->ListBoxEntries->selectedItems().isEmpty())
        accept();
}
