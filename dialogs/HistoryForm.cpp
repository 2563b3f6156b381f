#include "HistoryForm.h"

#include "ui_HistoryForm.h"

#include "history/HistoryFormat.h"

#include <QCalendarWidget>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>

namespace {

// The earliest day of the date fields stands for an open end.
const QDate OpenDate(2000, 1, 1);

} // namespace

TFormHistory::TFormHistory(TUiPrompter& prompter, const QString& historyPath, const QString& device, QWidget* parent,
    const QString& sharedLocation)
    : QDialog(parent)
    , ui(std::make_unique<Ui::TFormHistory>())
    , FPrompter(prompter)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    if (!sharedLocation.isEmpty() && !FStore.Open(sharedLocation, FOpenError))
        FSharedNote = QString::fromUtf8("Ortak aktarım geçmişine ulaşılamadı (%1); bu bilgisayarın kayıtları "
                                        "gösteriliyor. ")
                          .arg(FOpenError);
    if (!FStore.IsOpen() && !FStore.Open(historyPath, FOpenError))
        FOpenError = QString::fromUtf8("Aktarım geçmişi açılamadı (%1): %2").arg(historyPath, FOpenError);

    ui->ComboBoxDevice->addItem(QString::fromUtf8("Tüm cihazlar"), QString());
    QList<THistoryDevice> devices;
    QString error;
    if (FStore.IsOpen() && FStore.Devices(devices, error))
        for (const THistoryDevice& d : devices)
            ui->ComboBoxDevice->addItem(QString("%1 (%2)").arg(d.Name, d.IPAddress), d.Key);
    if (!device.isEmpty()) {
        int found = ui->ComboBoxDevice->findData(device.toUpper());
        if (found < 0)
            found = ui->ComboBoxDevice->findData(device);
        if (found < 0) { // a device with no record yet: listed, showing none
            ui->ComboBoxDevice->addItem(device, device);
            found = ui->ComboBoxDevice->count() - 1;
        }
        ui->ComboBoxDevice->setCurrentIndex(found);
    }
    // The calendar names months and days in Turkish whatever the system's
    // language, and opens at today's month while the field says "Tümü".
    const QLocale turkish(QLocale::Turkish, QLocale::Turkey);
    for (QDateEdit* edit : { ui->DateEditSince, ui->DateEditUntil }) {
        edit->setLocale(turkish);
        edit->setMinimumDate(OpenDate);
        edit->setSpecialValueText(QString::fromUtf8("Tümü"));
        edit->setDate(OpenDate);
        edit->calendarWidget()->setLocale(turkish);
        edit->calendarWidget()->setFirstDayOfWeek(Qt::Monday);
        edit->calendarWidget()->installEventFilter(this);
        edit->installEventFilter(this);
    }
    ui->ComboBoxOutcome->addItems(
        { QString::fromUtf8("Tümü"), QString::fromUtf8("Başarılı"), QString::fromUtf8("Başarısız") });

    FProxy.setSourceModel(&FModel);
    FProxy.setSortRole(THistoryTableModel::SortRole);
    ui->TableHistory->setModel(&FProxy);
    ui->TableHistory->verticalHeader()->hide();
    ui->TableHistory->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
    ui->TableHistory->horizontalHeader()->setHighlightSections(false);
    ui->TableHistory->sortByColumn(THistoryTableModel::ColumnTime, Qt::DescendingOrder);

    connect(ui->ComboBoxDevice, &QComboBox::currentIndexChanged, this, &TFormHistory::Reload);
    connect(ui->ComboBoxOutcome, &QComboBox::currentIndexChanged, this, &TFormHistory::Reload);
    connect(ui->DateEditSince, &QDateEdit::dateChanged, this, &TFormHistory::Reload);
    connect(ui->DateEditUntil, &QDateEdit::dateChanged, this, &TFormHistory::Reload);
    connect(ui->ButtonExport, &QPushButton::clicked, this, &TFormHistory::ButtonExportClick);
    connect(ui->ButtonClose, &QPushButton::clicked, this, &QDialog::accept);
    connect(&FModel, &THistoryTableModel::PageRead, this, &TFormHistory::PageRead);
    Reload();
}

TFormHistory::~TFormHistory() = default;

THistoryFilter TFormHistory::Filter() const
{
    const auto day = [](const QDateEdit* edit) { return edit->date() == OpenDate ? QDate() : edit->date(); };
    const int outcome = ui->ComboBoxOutcome->currentIndex();
    return HistoryFilterFor(ui->ComboBoxDevice->currentData().toString(), day(ui->DateEditSince),
        day(ui->DateEditUntil),
        outcome == 1       ? std::optional<bool>(true)
            : outcome == 2 ? std::optional<bool>(false)
                           : std::nullopt);
}

void TFormHistory::Reload()
{
    if (!FStore.IsOpen()) {
        ui->LabelStatus->setText(FOpenError);
        ui->ButtonExport->setEnabled(false);
        return;
    }
    // Pages are read off this thread as the table scrolls: a million records never freeze the window.
    ui->LabelStatus->setText(FSharedNote + QString::fromUtf8("Kayıtlar okunuyor…"));
    ui->ButtonExport->setEnabled(false);
    FColumnsSized = false;
    FModel.StartPaged(FStore.Path(), Filter());
}

void TFormHistory::PageRead(bool ok, const QString& errorMsg)
{
    if (!ok) {
        ui->LabelStatus->setText(QString::fromUtf8("Aktarım geçmişi okunamadı: %1").arg(errorMsg));
        return;
    }
    const QString count = FModel.AllRead()
        ? QString::fromUtf8("%1 kayıt").arg(FModel.rowCount())
        : QString::fromUtf8("%1 kayıt (devamı kaydırdıkça okunur)").arg(FModel.rowCount());
    ui->LabelStatus->setText(FSharedNote + count);
    ui->ButtonExport->setEnabled(FModel.rowCount() > 0);
    if (!FColumnsSized && FModel.rowCount() > 0) { // by the first rows of each reload
        FitColumns();
        FColumnsSized = true;
    }
}

void TFormHistory::FitColumns()
{
    // At every load: the rows of another device or time span may be wider.
    ui->TableHistory->resizeColumnsToContents();
    // Long texts keep a readable width; their tool tip holds the rest.
    for (int column : { THistoryTableModel::ColumnFile, THistoryTableModel::ColumnMessage })
        ui->TableHistory->setColumnWidth(column, qMin(ui->TableHistory->columnWidth(column), 260));
}

bool TFormHistory::eventFilter(QObject* watched, QEvent* event)
{
    for (QDateEdit* edit : { ui->DateEditSince, ui->DateEditUntil }) {
        // The calendar of an open end shows today's month, not the stand-in day's.
        if (watched == edit->calendarWidget() && event->type() == QEvent::Show && edit->date() == OpenDate)
            edit->calendarWidget()->setCurrentPage(QDate::currentDate().year(), QDate::currentDate().month());
        // A date typed over "Tümü" starts from today's, the day first: the
        // digits then replace it section by section instead of mixing with the word.
        if (watched == edit && event->type() == QEvent::KeyPress && edit->date() == OpenDate) {
            const QString text = static_cast<QKeyEvent*>(event)->text();
            if (text.size() == 1 && text[0].isDigit()) {
                edit->setDate(QDate::currentDate());
                edit->setSelectedSection(QDateTimeEdit::DaySection);
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TFormHistory::ButtonExportClick()
{
    QString fileName;
    if (!FPrompter.AskSaveFile(QDir::homePath(), "aktarim-gecmisi.csv", "csv",
            QString::fromUtf8("CSV dosyası (*.csv)|*.csv|Tüm dosyalar (*.*)|*.*"), fileName))
        return;
    if (QFileInfo::exists(fileName)
        && !FPrompter.ConfirmOkCancel(QString::fromUtf8("Var olan dosyanın üstüne yazılsın mı?")))
        return;
    // Every record of the filter, not only the pages read so far: the rest
    // newest first after the rows in the table's order.
    QList<TTransferRecord> records = RecordsInViewOrder(FProxy);
    QString error;
    if (!FModel.AllRead() && !FModel.Records().isEmpty()) {
        THistoryFilter rest = Filter();
        rest.BeforeTimeMs = FModel.Records().last().Time.toMSecsSinceEpoch();
        rest.BeforeId = FModel.Records().last().Id;
        if (!FStore.Each(
                rest, THistoryOrder::NewestFirst,
                [&records](const TTransferRecord& r) {
                    records.append(r);
                    return true;
                },
                error)) {
            FPrompter.ShowMessage(QString::fromUtf8("Aktarım geçmişi okunamadı: %1").arg(error));
            return;
        }
    }
    if (!WriteHistoryCsv(fileName, records, error)) {
        FPrompter.ShowMessage(QString::fromUtf8("CSV dosyası yazılamadı: %1").arg(error));
        return;
    }
    FPrompter.ShowMessage(QString::fromUtf8("%1 kayıt %2 dosyasına yazıldı.").arg(records.size()).arg(fileName));
}
