#include "HistoryForm.h"

#include "ui_HistoryForm.h"

#include "history/HistoryFormat.h"

#include <QCalendarWidget>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPointer>
#include <QSaveFile>
#include <QSignalBlocker>
#include <QThread>

namespace {

// The earliest day of the date fields stands for an open end.
const QDate OpenDate(2000, 1, 1);

} // namespace

TFormHistory::TFormHistory(TUiPrompter& prompter, const QString& historyPath, const QString& device, QWidget* parent,
    const QString& sharedLocation)
    : QDialog(parent)
    , ui(std::make_unique<Ui::TFormHistory>())
    , FPrompter(prompter)
    , FDevice(device)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    ui->ComboBoxDevice->addItem(QString::fromUtf8("Tüm cihazlar"), QString());
    ui->ComboBoxWorkstation->addItem(QString::fromUtf8("Tüm bilgisayarlar"), QString());
    ui->LabelStatus->setText(QString::fromUtf8("Aktarım geçmişi açılıyor…"));
    ui->ButtonExport->setEnabled(false);

    // A server that does not answer keeps its caller up to the connect
    // time-out: the history is opened, and its lists read, on a thread.
    const QPointer<TFormHistory> self(this);
    FOpener = QThread::create([self, historyPath, sharedLocation] {
        TOpened opened;
        THistoryStore store;
        if (!sharedLocation.isEmpty() && store.Open(sharedLocation, opened.OpenError))
            opened.Location = sharedLocation;
        else if (!sharedLocation.isEmpty())
            opened.SharedNote = QString::fromUtf8("Ortak aktarım geçmişine ulaşılamadı (%1); bu bilgisayarın "
                                                  "kayıtları gösteriliyor. ")
                                    .arg(opened.OpenError);
        if (!store.IsOpen()) {
            if (store.Open(historyPath, opened.OpenError))
                opened.Location = historyPath;
            else
                opened.OpenError
                    = QString::fromUtf8("Aktarım geçmişi açılamadı (%1): %2").arg(historyPath, opened.OpenError);
        }
        QString error;
        if (store.IsOpen()) {
            store.Devices(opened.Devices, error);
            store.Workstations(opened.Workstations, error);
        }
        QMetaObject::invokeMethod(self, [self, opened] {
            if (self)
                self->Opened(opened);
        });
    });
    FOpener->start();

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
    connect(ui->ComboBoxWorkstation, &QComboBox::currentIndexChanged, this, &TFormHistory::Reload);
    connect(ui->ComboBoxOutcome, &QComboBox::currentIndexChanged, this, &TFormHistory::Reload);
    connect(ui->DateEditSince, &QDateEdit::dateChanged, this, &TFormHistory::Reload);
    connect(ui->DateEditUntil, &QDateEdit::dateChanged, this, &TFormHistory::Reload);
    connect(ui->ButtonExport, &QPushButton::clicked, this, &TFormHistory::ButtonExportClick);
    connect(ui->ButtonClose, &QPushButton::clicked, this, &QDialog::accept);
    connect(&FModel, &THistoryTableModel::PageRead, this, &TFormHistory::PageRead);
}

TFormHistory::~TFormHistory()
{
    FCancel = true;
    JoinWorker(FOpener);
    JoinWorker(FExport);
}

void TFormHistory::JoinWorker(QThread*& worker)
{
    if (!worker)
        return;
    worker->wait();
    delete worker;
    worker = nullptr;
}

void TFormHistory::Opened(const TOpened& opened)
{
    JoinWorker(FOpener);
    FLocation = opened.Location;
    FSharedNote = opened.SharedNote;
    FOpenError = FLocation.isEmpty() ? opened.OpenError : QString();
    {
        const QSignalBlocker blockDevices(ui->ComboBoxDevice);
        const QSignalBlocker blockHosts(ui->ComboBoxWorkstation);
        for (const THistoryDevice& d : opened.Devices)
            ui->ComboBoxDevice->addItem(QString("%1 (%2)").arg(d.Name, d.IPAddress), d.Key);
        for (const QString& host : opened.Workstations)
            ui->ComboBoxWorkstation->addItem(host, host);
        if (!FDevice.isEmpty()) {
            int found = ui->ComboBoxDevice->findData(FDevice.toUpper());
            if (found < 0)
                found = ui->ComboBoxDevice->findData(FDevice);
            if (found < 0) { // a device with no record yet: listed, showing none
                ui->ComboBoxDevice->addItem(FDevice, FDevice);
                found = ui->ComboBoxDevice->count() - 1;
            }
            ui->ComboBoxDevice->setCurrentIndex(found);
        }
    }
    FOpening = false;
    Reload();
}

THistoryFilter TFormHistory::Filter() const
{
    const auto day = [](const QDateEdit* edit) { return edit->date() == OpenDate ? QDate() : edit->date(); };
    const int outcome = ui->ComboBoxOutcome->currentIndex();
    THistoryFilter filter
        = HistoryFilterFor(ui->ComboBoxDevice->currentData().toString(), day(ui->DateEditSince), day(ui->DateEditUntil),
            outcome == 1       ? std::optional<bool>(true)
                : outcome == 2 ? std::optional<bool>(false)
                               : std::nullopt);
    filter.Workstation = ui->ComboBoxWorkstation->currentData().toString();
    return filter;
}

void TFormHistory::Reload()
{
    if (FOpening)
        return; // the first page follows the opening
    if (FLocation.isEmpty()) {
        ui->LabelStatus->setText(FOpenError);
        ui->ButtonExport->setEnabled(false);
        return;
    }
    // Pages are read off this thread as the table scrolls: a million records never freeze the window.
    ui->LabelStatus->setText(FSharedNote + QString::fromUtf8("Kayıtlar okunuyor…"));
    ui->ButtonExport->setEnabled(false);
    FColumnsSized = false;
    FModel.StartPaged(FLocation, Filter());
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
    ui->ButtonExport->setEnabled(FModel.rowCount() > 0 && !FExport);
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
    // newest first after the rows in the table's order, read and written on a
    // thread while the window goes on painting and shows how far it got.
    QList<TTransferRecord> records = RecordsInViewOrder(FProxy);
    THistoryFilter rest = Filter();
    const bool readRest = !FModel.AllRead() && !FModel.Records().isEmpty();
    if (readRest) {
        rest.BeforeTimeMs = FModel.Records().last().Time.toMSecsSinceEpoch();
        rest.BeforeId = FModel.Records().last().Id;
    }
    ui->ButtonExport->setEnabled(false);
    ui->ProgressExport->setRange(0, 0); // the count of the rest is not known beforehand
    ui->ProgressExport->setVisible(true);
    ExportProgress(records.size());
    const QPointer<TFormHistory> self(this);
    const QString location = FLocation;
    std::atomic<bool>* cancel = &FCancel; // the dialog waits for the thread before it goes
    FExport = QThread::create([self, cancel, location, rest, readRest, fileName, records] {
        // Streamed into the file as read: a million records are never kept at once.
        QString error;
        QSaveFile file(fileName);
        qint64 count = 0;
        const auto write = [&](const TTransferRecord& r) {
            ++count;
            return file.write(CsvLine(HistoryFieldValues(r))) >= 0;
        };
        bool ok = file.open(QIODevice::WriteOnly) && file.write(CsvLine(HistoryFieldNames())) >= 0;
        for (qsizetype i = 0; ok && i < records.size(); ++i)
            ok = write(records[i]);
        if (!ok)
            error = QString::fromUtf8("CSV dosyası yazılamadı: %1").arg(file.errorString());
        if (ok && readRest) {
            THistoryStore store;
            qint64 shown = count;
            bool written = true;
            ok = store.Open(location, error)
                && store.Each(
                    rest, THistoryOrder::NewestFirst,
                    [&](const TTransferRecord& r) {
                        written = write(r);
                        if (count - shown >= 1000) {
                            shown = count;
                            QMetaObject::invokeMethod(self, [self, shown] {
                                if (self)
                                    self->ExportProgress(shown);
                            });
                        }
                        return written && !cancel->load();
                    },
                    error);
            if (!written)
                error = QString::fromUtf8("CSV dosyası yazılamadı: %1").arg(file.errorString());
            else if (!ok)
                error = QString::fromUtf8("Aktarım geçmişi okunamadı: %1").arg(error);
            ok = ok && written;
        }
        if (cancel->load())
            return; // the dialog went: no file, as for a cancelled question
        if (ok && !file.commit())
            error = QString::fromUtf8("CSV dosyası yazılamadı: %1").arg(file.errorString());
        QMetaObject::invokeMethod(self, [self, fileName, count, error] {
            if (self)
                self->ExportDone(fileName, count, error);
        });
    });
    FExport->start();
}

void TFormHistory::ExportProgress(qint64 rows)
{
    ui->LabelStatus->setText(FSharedNote + QString::fromUtf8("CSV dosyasına yazılıyor: %1 kayıt okundu…").arg(rows));
}

void TFormHistory::ExportDone(const QString& fileName, qint64 rows, const QString& errorMsg)
{
    JoinWorker(FExport);
    ui->ProgressExport->setVisible(false);
    PageRead(true, QString()); // the status line and the button as before
    if (!errorMsg.isEmpty()) {
        FPrompter.ShowMessage(errorMsg);
        return;
    }
    FPrompter.ShowMessage(QString::fromUtf8("%1 kayıt %2 dosyasına yazıldı.").arg(rows).arg(fileName));
}
