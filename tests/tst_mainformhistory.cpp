// The window's transfer history against quillex-devsim, offscreen: each
// operation kind ends as a record whose fingerprints are those of the bytes
// the device stored, gave back or received as command lines; a history that
// cannot be written costs one warning; the history dialog from the device
// list's menu and the shortcut, its filters, sorting and CSV export.
#include "Loopback.h"
#include "ScriptedPrompter.h"
#include "tests/support/FormWidget.h"

#include "app/DevicePanel.h"
#include "app/unitmainform.h"
#include "device/ProgramTransfer.h"
#include "device/UnitDeviceCommand.h"
#include "dialogs/HistoryForm.h"
#include "dialogs/UnitDeviceSettingsForm.h"
#include "dialogs/UnitStartFromSelectForm.h"
#include "discovery/DeviceListModel.h"
#include "history/HistoryFormat.h"
#include "history/HistoryStore.h"

#include <QCalendarWidget>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTableView>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include "TestUtil.h"

#include <Qsci/qsciscintilla.h>

namespace {

QByteArray Stored(const QString& ip)
{
    QByteArray content;
    bool raw = false;
    QString msg;
    ReceiveProgramFromDevice(ip, DownloadPort, content, raw, msg, {});
    return content;
}

TTransferRecord Fingerprint(const QByteArray& bytes)
{
    TTransferRecord r;
    SetRecordBytes(r, bytes);
    return r;
}

} // namespace

class TestMainFormHistory : public QObject {
    Q_OBJECT
    QTemporaryDir FDir;
    QProcess FSim;
    QByteArray FSimLog;
    quint16 FStatusPort = 0;
    TScriptedPrompter FPrompter;
    std::unique_ptr<TFormMain> FWindow;

    QString Ip(int n) const { return RunIp(QString("43.%1").arg(n).toLatin1().constData()); }

    int Select(TFormMain& window, const QString& ip)
    {
        for (int attempt = 0; attempt < 50; ++attempt) {
            window.TimerDeviceInfoTimer();
            const QList<TQuillexDevice> devices = window.StatusListener()->GetLastDeviceList();
            for (int i = 0; i < devices.size(); ++i)
                if (devices[i].IPAddress == ip) {
                    window.DeviceList()->SelectRow(i);
                    return i;
                }
            QTest::qWait(100);
        }
        return -1;
    }

    // The command lines the device at ip received, login and PIN lines left out.
    QStringList Commands(const QString& ip)
    {
        FSim.waitForReadyRead(200);
        FSimLog += FSim.readAllStandardOutput();
        QStringList lines;
        for (const QString& line : QString::fromLatin1(FSimLog).split('\n'))
            if (line.startsWith(ip + ": ")) {
                const QString command = line.mid(ip.size() + 2);
                if (!command.startsWith("PIN&") && !command.startsWith("LOGIN"))
                    lines << command;
            }
        return lines;
    }

    QList<TTransferRecord> Records(const THistoryFilter& filter = {})
    {
        FWindow->History()->Flush();
        THistoryStore store;
        QString error;
        QList<TTransferRecord> records;
        if (!store.Open(FWindow->History()->Path(), error) || !store.List(filter, records, error))
            qWarning("history: %s", qPrintable(error));
        std::reverse(records.begin(), records.end()); // oldest first
        return records;
    }

    std::unique_ptr<TFormMain> NewWindow(const QString& historyPath)
    {
        TMainFormOptions options;
        options.StatusPort = FStatusPort;
        options.HistoryPath = historyPath;
        auto window = std::make_unique<TFormMain>(FPrompter, options);
        window->show();
        return window;
    }

private slots:
    void initTestCase()
    {
        qputenv("QUILLEX_SETTINGS", FDir.filePath("quillex_settings.ini").toLocal8Bit());
        qputenv("QUILLEX_NO_KEYCHAIN", "1");
        qputenv("XDG_CONFIG_HOME", FDir.path().toLocal8Bit());
        FStatusPort = FreeUdpPort();
        FSim.start(QUILLEX_DEVSIM,
            { "--command-log", "--target", QString("127.0.0.1:%1").arg(FStatusPort), "--device",
                QString("ip=%1,name=Torna,hw=HW4,index=7:0,interval=300").arg(Ip(1)), "--device",
                QString("ip=%1,name=Full,refuse=full,interval=300").arg(Ip(2)), "--device",
                QString("ip=%1,name=Freze,interval=300").arg(Ip(3)) });
        QVERIFY(FSim.waitForReadyRead(5000));
        FWindow = NewWindow(FDir.filePath("data/history.sqlite"));
        QTRY_VERIFY(FWindow->StatusListener() && FWindow->StatusListener()->IsListening());
    }

    void cleanupTestCase()
    {
        FWindow.reset();
        FSim.terminate();
        FSim.waitForFinished(2000);
    }

    void init()
    {
        FPrompter.Messages.clear();
        FPrompter.Questions.clear();
        FPrompter.ModalAnswers.clear();
        FPrompter.ModalDialogs = 0;
    }

    // The window keeps its history where quillex-cli looks for it.
    void defaultFileIsTheWindowsDataFolder()
    {
        const QString name = QCoreApplication::applicationName();
        QCoreApplication::setApplicationName("quillex");
        const QString appData = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
        QCoreApplication::setApplicationName(name);
        QCOMPARE(DefaultHistoryPath(), appData + "/history.sqlite");
    }

    void everyOperationKindIsRecorded()
    {
        const QString ip = Ip(1);
        QVERIFY(Select(*FWindow, ip) >= 0);
        QString error;
        QVERIFY(WriteWholeFile(FDir.filePath("O1.nc"), "g1 x5\nt1 m6\nm30\n", error));
        QVERIFY(FWindow->OpenFile(FDir.filePath("O1.nc")));
        FWindow->SpeedButtonUploadToMachineClick();
        QTRY_VERIFY_WITH_TIMEOUT(!FWindow->TransferRunning(), 30000);
        const QByteArray stored = Stored(ip);
        QVERIFY(stored.startsWith("%\r\nG1 X5\r\n"));

        FWindow->SpeedButtonDownloadFromMachineClick();
        QTRY_VERIFY_WITH_TIMEOUT(!FWindow->TransferRunning(), 30000);

        FPrompter.ModalAnswers << [](QDialog& dialog) {
            Widget<QListWidget>(static_cast<TFormStartFromSelect&>(dialog), "ListBoxEntries")->setCurrentRow(0);
            return int(QDialog::Accepted);
        };
        FPrompter.Confirmations = { true };
        FWindow->SpeedButtonStartFromMiddleClick();
        QCOMPARE(Commands(ip).last(), "STARTFROM0");

        // The settings dialog hands its batches to the window's recorder.
        TFormDeviceSettings settings(FPrompter);
        settings.Initialize("Torna", "FANUC", 9600, 30, 1, 8, 'N', 1, ip, 5000, false,
            FWindow->DeviceList()->Devices().value(FWindow->DeviceList()->SelectedRow()).MacId);
        settings.SetHistory([this](const TTransferRecord& r) { FWindow->History()->Record(r); });
        Widget<QLineEdit>(settings, "EditName")->setText("Torna 2");
        settings.ButtonSaveClick();
        QCOMPARE(Commands(ip).last(), "NAME&Torna 2");

        const QList<TTransferRecord> records = Records();
        QCOMPARE(records.size(), 4);
        const QStringList received = Commands(ip);
        const TTransferRecord expected[] = {
            Fingerprint(stored),
            Fingerprint(stored),
            Fingerprint("STARTFROM0\n"),
            Fingerprint(received.last().toLatin1() + '\n'),
        };
        const TTransferKind kinds[]
            = { TTransferKind::Upload, TTransferKind::Download, TTransferKind::StartFrom, TTransferKind::Settings };
        const QString messages[]
            = { QString::fromUtf8("Başarı ile Tamamlandı."), QString::fromUtf8("Başarı ile Tamamlandı."),
                  QString::fromUtf8("Devam ettirme başlatıldı (CNC'den XON bekleniyor): "), QString() };
        for (int i = 0; i < 4; ++i) {
            const TTransferRecord& r = records[i];
            QCOMPARE(r.Kind, kinds[i]);
            QVERIFY(r.Success);
            QCOMPARE(r.IPAddress, ip);
            QVERIFY(!r.MacId.isEmpty());
            QCOMPARE(r.DeviceName, "Torna");
            QCOMPARE(r.ByteCount, expected[i].ByteCount);
            QCOMPARE(r.Crc32, expected[i].Crc32);
            QCOMPARE(r.Sha256, expected[i].Sha256);
            QVERIFY2(r.Message.startsWith(messages[i]), qPrintable(r.Message));
            QCOMPARE(r.UserName, CurrentUserName());
            QCOMPARE(r.HostName, CurrentHostName());
            // The upload is read back by default; the other kinds carry no read-back.
            QCOMPARE(r.Verification, i == 0 ? QString("verified") : QString());
            QVERIFY(qAbs(r.Time.secsTo(QDateTime::currentDateTimeUtc())) < 120);
        }
        QCOMPARE(records[0].FileName, FDir.filePath("O1.nc"));
        QCOMPARE(records[2].Detail, "STARTFROM0");
        QCOMPARE(records[3].Detail, "NAME&Torna 2");

        // What is on the machine now: the status panel and the list's tool tip say it.
        const QString lastSent = LastSentLine(records[0]);
        QVERIFY2(lastSent.startsWith(QString::fromUtf8("Son gönderilen: O1.nc (")), qPrintable(lastSent));
        QVERIFY2(lastSent.endsWith(QString::fromUtf8("), doğrulandı")), qPrintable(lastSent));
        const int row = FWindow->DeviceList()->SelectedRow();
        QCOMPARE(FWindow->DeviceList()->index(row).data(Qt::ToolTipRole).toString(), lastSent);
        FWindow->UpdateDeviceInfo();
        QStringList rows;
        for (const TDeviceInfoRow& r : FWindow->DevicePanel()->InfoRows())
            rows << r.Label + "=" + r.Value;
        // A line below the status rows: no label, the whole line as its value.
        const bool shown = FWindow->DevicePanel()->InfoRows().contains(TDeviceInfoRow { QString(), lastSent })
            || FWindow->DevicePanel()->InfoMessage().contains(lastSent);
        QVERIFY2(shown, qPrintable(rows.join('|') + FWindow->DevicePanel()->InfoMessage()));
    }

    void failedUploadIsRecordedBeforeItsMessage()
    {
        QVERIFY(Select(*FWindow, Ip(2)) >= 0);
        FWindow->SetEditorText("G1 X1\n");
        FWindow->SpeedButtonUploadToMachineClick();
        QTRY_VERIFY_WITH_TIMEOUT(!FWindow->TransferRunning(), 30000);
        THistoryFilter filter;
        filter.Device = Ip(2);
        const QList<TTransferRecord> records = Records(filter);
        QCOMPARE(records.size(), 1);
        QVERIFY(!records[0].Success);
        QCOMPARE(FPrompter.Messages, QStringList { records[0].Message });
        QVERIFY2(records[0].Message.startsWith("Hata: "), qPrintable(records[0].Message));
    }

    void unusableHistoryWarnsOnce()
    {
        QFile blocker(FDir.filePath("blocker"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        // One listener per status port: this test's window takes it from the
        // shared one, which comes back for the tests after it.
        FWindow.reset();
        const auto restore = qScopeGuard([this] {
            FWindow = NewWindow(FDir.filePath("data/history.sqlite"));
            (void)QTest::qWaitFor(
                [this] { return FWindow->StatusListener() && FWindow->StatusListener()->IsListening(); });
        });
        auto window = NewWindow(FDir.filePath("blocker/history.sqlite"));
        QTRY_VERIFY(window->StatusListener() && window->StatusListener()->IsListening());
        QVERIFY(Select(*window, Ip(3)) >= 0);
        for (int i = 0; i < 3; ++i) {
            window->SpeedButtonDownloadFromMachineClick(); // the device has no program: each fails
            QTRY_VERIFY_WITH_TIMEOUT(!window->TransferRunning(), 30000);
            window->History()->Flush();
        }
        QTest::qWait(200);
        const QStringList warnings = FPrompter.Messages.filter(QString::fromUtf8("Aktarım geçmişi kaydedilemedi"));
        QCOMPARE(warnings.size(), 1);
        QVERIFY2(warnings[0].contains(FDir.filePath("blocker/history.sqlite")), qPrintable(warnings[0]));
        QCOMPARE(FPrompter.Messages.filter("Hata: ").size(), 3); // the operations ran and said so
    }

    void dialogFromDeviceMenuShowsThatDevice()
    {
        const int row = Select(*FWindow, Ip(2));
        QVERIFY(row >= 0);
        std::unique_ptr<QMenu> menu(FWindow->CreateDeviceMenu(row, nullptr));
        QCOMPARE(menu->actions().size(), 1);
        QCOMPARE(menu->actions()[0]->text(), QString::fromUtf8("Geçmiş…"));
        QStringList devices;
        int rows = -1;
        FPrompter.ModalAnswers << [&](QDialog& dialog) {
            auto& history = static_cast<TFormHistory&>(dialog);
            (void)QTest::qWaitFor(
                [&] { return !history.IsLoading(); }, 10000); // pages are read off the window's thread
            rows = history.View().rowCount();
            for (int r = 0; r < rows; ++r)
                devices << history.View().index(r, THistoryTableModel::ColumnAddress).data().toString();
            return int(QDialog::Accepted);
        };
        menu->actions()[0]->trigger();
        QCOMPARE(FPrompter.ModalDialogs, 1);
        QVERIFY(rows >= 1);
        QCOMPARE(devices, QStringList(rows, Ip(2)));
    }

    void shortcutShowsEveryDeviceFilteredSortedExported()
    {
        const QList<TTransferRecord> all = Records();
        QVERIFY(all.size() >= 5);
        const QString csv = FDir.filePath("export.csv");
        FPrompter.SaveFiles = { csv };
        QList<TTransferRecord> exported;
        int everything = -1, failed = -1, future = -1;
        FPrompter.ModalAnswers << [&](QDialog& dialog) {
            auto& history = static_cast<TFormHistory&>(dialog);
            const QObject* form = &history;
            // Pages are read off the window's thread: each change is waited for.
            const auto read = [&] {
                (void)QTest::qWaitFor([&] { return !history.IsLoading(); }, 10000);
                return history.View().rowCount();
            };
            everything = read();
            Widget<QComboBox>(form, "ComboBoxOutcome")->setCurrentIndex(2); // "Başarısız"
            failed = read();
            Widget<QDateEdit>(form, "DateEditSince")->setDate(QDate::currentDate().addDays(1));
            future = read();
            const bool exportOff = !Widget<QPushButton>(form, "ButtonExport")->isEnabled();
            Widget<QDateEdit>(form, "DateEditSince")->setDate(Widget<QDateEdit>(form, "DateEditSince")->minimumDate());
            Widget<QComboBox>(form, "ComboBoxOutcome")->setCurrentIndex(1); // "Başarılı"
            read();
            Widget<QTableView>(form, "TableHistory")->sortByColumn(THistoryTableModel::ColumnBytes, Qt::AscendingOrder);
            exported = RecordsInViewOrder(history.View());
            Widget<QPushButton>(form, "ButtonExport")->click();
            (void)QTest::qWaitFor([&] { return !history.IsExporting(); }, 10000); // written off the window's thread
            return int(exportOff ? QDialog::Accepted : QDialog::Rejected);
        };
        QTest::keyClick(
            Widget<QsciScintilla>(*FWindow, "SynEditProgram"), Qt::Key_H, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(FPrompter.ModalDialogs, 1);
        QCOMPARE(everything, all.size());
        int failures = 0;
        for (const TTransferRecord& r : all)
            failures += r.Success ? 0 : 1;
        QCOMPARE(failed, failures);
        QCOMPARE(future, 0);
        QCOMPARE(exported.size(), all.size() - failures);
        for (qsizetype i = 1; i < exported.size(); ++i)
            QVERIFY(exported[i - 1].ByteCount <= exported[i].ByteCount);
        QFile file(csv);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), HistoryCsv(exported));
        QCOMPARE(FPrompter.Messages.last(),
            QString::fromUtf8("%1 kayıt %2 dosyasına yazıldı.").arg(exported.size()).arg(csv));
    }

    // The workstation filter: the hosts named in the history, each alone.
    void dialogWorkstationFilter()
    {
        const QString path = FDir.filePath("hosts/history.sqlite");
        QVERIFY(QDir().mkpath(FDir.filePath("hosts")));
        THistoryStore store;
        QString error;
        QVERIFY2(store.Open(path, error), qPrintable(error));
        for (const char* host : { "atolye-1", "atolye-2", "atolye-2", "cam-pc" }) {
            TTransferRecord r = NewTransferRecord(TTransferKind::Upload, "Torna 1", "10.0.0.1", "AA01");
            r.HostName = QString::fromLatin1(host);
            r.Success = true;
            QVERIFY2(store.Add(r, error), qPrintable(error));
        }
        TFormHistory dialog(FPrompter, path, {});
        QTRY_VERIFY(!dialog.IsLoading());
        QComboBox* hosts = Widget<QComboBox>(dialog, "ComboBoxWorkstation");
        QCOMPARE(hosts->count(), 4);
        QCOMPARE(hosts->itemText(0), QString::fromUtf8("Tüm bilgisayarlar"));
        QCOMPARE(dialog.View().rowCount(), 4);
        hosts->setCurrentIndex(hosts->findData("atolye-2"));
        QTRY_VERIFY(!dialog.IsLoading());
        QTRY_COMPARE(dialog.View().rowCount(), 2);
        for (int row = 0; row < 2; ++row)
            QCOMPARE(dialog.View().index(row, THistoryTableModel::ColumnHost).data().toString(), QString("atolye-2"));
    }

    // A shared history's server that takes the connection but never answers:
    // the dialog is up at once, says it is opening, and then shows the file.
    void dialogOpensTheServerOffTheWindowThread()
    {
        QTcpServer silent; // the kernel accepts; nobody ever answers
        QVERIFY(silent.listen(QHostAddress::LocalHost, 0));
        const QString path = FDir.filePath("silent/history.sqlite");
        QVERIFY(QDir().mkpath(FDir.filePath("silent")));
        {
            THistoryStore store;
            QString error;
            QVERIFY2(store.Open(path, error), qPrintable(error));
            TTransferRecord r = NewTransferRecord(TTransferKind::Upload, "Torna 1", "10.0.0.1", "AA01");
            r.Success = true;
            QVERIFY2(store.Add(r, error), qPrintable(error));
        }
        TFormHistory dialog(FPrompter, path, {}, nullptr,
            QString("postgresql://quillex@127.0.0.1:%1/quillex").arg(silent.serverPort()));
        // Back from the constructor while the server is still being waited for.
        QVERIFY(dialog.IsLoading());
        QCOMPARE(Widget<QComboBox>(dialog, "ComboBoxDevice")->count(), 1);
        QCOMPARE(Widget<QLabel>(dialog, "LabelStatus")->text(), QString::fromUtf8("Aktarım geçmişi açılıyor…"));
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.IsLoading(), 20000);
        QVERIFY2(Widget<QLabel>(dialog, "LabelStatus")
                     ->text()
                     .startsWith(QString::fromUtf8("Ortak aktarım geçmişine ulaşılamadı")),
            qPrintable(Widget<QLabel>(dialog, "LabelStatus")->text()));
        QCOMPARE(Widget<QComboBox>(dialog, "ComboBoxDevice")->count(), 2); // the file's device
        QCOMPARE(dialog.View().rowCount(), 1);
    }

    // The export reads the rows not yet paged in on a thread: the dialog is
    // back from the click at once and the file holds every record.
    void dialogExportReadsTheRestOffTheWindowThread()
    {
        const QString path = FDir.filePath("export/history.sqlite");
        QVERIFY(QDir().mkpath(FDir.filePath("export")));
        constexpr int Count = 5000;
        {
            THistoryStore store;
            QString error;
            QVERIFY2(store.Open(path, error), qPrintable(error));
            QList<TTransferRecord> records;
            const QDateTime start = QDateTime::currentDateTimeUtc().addDays(-10);
            for (int i = 0; i < Count; ++i) {
                TTransferRecord r = NewTransferRecord(TTransferKind::Upload, "Torna 1", "10.0.0.1", "AA01");
                r.Time = start.addSecs(i);
                r.FileName = QString("/programs/O%1.nc").arg(i);
                r.Success = true;
                records << r;
            }
            QVERIFY2(store.AddAll(records, error), qPrintable(error));
        }
        TFormHistory dialog(FPrompter, path, {});
        QTRY_VERIFY(!dialog.IsLoading());
        QCOMPARE(dialog.View().rowCount(), THistoryTableModel::PageSize);
        const QString csv = FDir.filePath("export/all.csv");
        FPrompter.SaveFiles = { csv };
        FPrompter.Messages.clear();
        dialog.ButtonExportClick();
        QVERIFY(dialog.IsExporting()); // the rest is still being read
        QVERIFY(!Widget<QPushButton>(dialog, "ButtonExport")->isEnabled());
        QVERIFY(Widget<QProgressBar>(dialog, "ProgressExport")->isVisibleTo(&dialog));
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.IsExporting(), 30000);
        QCOMPARE(
            FPrompter.Messages, QStringList(QString::fromUtf8("%1 kayıt %2 dosyasına yazıldı.").arg(Count).arg(csv)));
        QFile file(csv);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().split('\n');
        QCOMPARE(lines.size(), Count + 2); // the header, the rows and the empty rest after the last break
        QVERIFY(lines[1].contains(QString("O%1.nc").arg(Count - 1).toLatin1())); // newest first
        QVERIFY(lines[Count].contains("/programs/O0.nc"));
        QVERIFY(Widget<QPushButton>(dialog, "ButtonExport")->isEnabled());
    }

    // The dialog's date fields: a Turkish calendar at today's month while the
    // field says "Tümü", a date typed over "Tümü" taken whole; and columns
    // sized again for the rows of every load.
    void dialogDatesAndColumnWidths()
    {
        const QString path = FDir.filePath("widths/history.sqlite");
        QVERIFY(QDir().mkpath(FDir.filePath("widths")));
        THistoryStore store;
        QString error;
        QVERIFY2(store.Open(path, error), qPrintable(error));
        TTransferRecord narrow = NewTransferRecord(TTransferKind::Upload, "A", "10.0.0.1", "AA01");
        narrow.ByteCount = 12;
        narrow.Success = true;
        TTransferRecord wide = NewTransferRecord(TTransferKind::Upload, "Freze Tezgahi 2", "192.168.100.200", "BB02");
        wide.ByteCount = 4147251999;
        wide.Success = true;
        QVERIFY2(store.Add(narrow, error) && store.Add(wide, error), qPrintable(error));

        TFormHistory dialog(FPrompter, path, "AA01");
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const QObject* form = &dialog;
        // Pages are read off the window's thread.
        QTRY_COMPARE(dialog.View().rowCount(), 1);
        QTRY_VERIFY(!dialog.IsLoading());
        Widget<QComboBox>(form, "ComboBoxDevice")->setCurrentIndex(0); // "Tüm cihazlar"
        QTRY_COMPARE(dialog.View().rowCount(), 2);
        QTRY_VERIFY(!dialog.IsLoading());
        QApplication::processEvents();
        // Every cell of these columns shows its whole text.
        for (int column :
            { THistoryTableModel::ColumnDevice, THistoryTableModel::ColumnAddress, THistoryTableModel::ColumnBytes })
            for (int row = 0; row < 2; ++row) {
                const QString text = dialog.View().index(row, column).data().toString();
                const int needed = Widget<QTableView>(form, "TableHistory")->fontMetrics().horizontalAdvance(text);
                QVERIFY2(Widget<QTableView>(form, "TableHistory")->columnWidth(column) > needed, qPrintable(text));
            }

        QDateEdit* since = Widget<QDateEdit>(form, "DateEditSince");
        QCOMPARE(since->text(), QString::fromUtf8("Tümü"));
        QTest::mouseClick(since, Qt::LeftButton, {}, QPoint(since->width() - 6, since->height() / 2));
        QCalendarWidget* calendar = since->calendarWidget();
        QTRY_VERIFY(calendar->isVisible());
        const QDate today = QDate::currentDate();
        QCOMPARE(
            QList<int>({ calendar->yearShown(), calendar->monthShown() }), QList<int>({ today.year(), today.month() }));
        auto* month = calendar->findChild<QToolButton*>("qt_calendar_monthbutton");
        QVERIFY(month);
        QCOMPARE(month->text(), QLocale(QLocale::Turkish).standaloneMonthName(today.month()));
        calendar->window()->hide();

        since->setFocus();
        QTest::keyClicks(since, "01022025");
        QCOMPARE(since->date(), QDate(2025, 2, 1));
        QCOMPARE(since->text(), QString("01.02.2025"));
    }
};

QTEST_MAIN(TestMainFormHistory)
#include "tst_mainformhistory.moc"
