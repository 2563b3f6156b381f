// Starting a device's program from the middle, the start-from selection
// dialog and the tool-change panel of a program, end to end against
// quillex-devsim on the offscreen platform, with scripted dialogs; and the
// window that keeps painting while a device does not answer.
#include "DrawnPixels.h"
#include "ScriptedPrompter.h"
#include "StatusDatagram.h"
#include "app/DeviceInfoPaintBox.h"
#include "tests/support/FormWidget.h"

#include "app/DeviceWait.h"
#include "app/ToolChangePanel.h"
#include "app/unitmainform.h"
#include "dialogs/UnitDeviceSettingsForm.h"
#include "dialogs/UnitStartFromSelectForm.h"

#include "TestUtil.h"
#include "content/UnitMazatrolCmt.h"
#include "device/DevicePin.h"
#include "history/StoredProgramCheck.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QUdpSocket>
#include <QWidget>

#include <Qsci/qsciscintilla.h>

namespace {

// Counts the paint events a widget receives.
class TPaintCounter : public QObject {
public:
    int Paints = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++Paints;
        return false;
    }
};

// A 400-line program: tool changes on lines 1, 250 and 400 (the last, without a line break).
// Lines as CAM programs write them (45-57 characters) and far longer ones.
QList<QByteArray> LongLines()
{
    return { "N10 G0 G90 G54 X125.4567 Y-48.2231 Z25. S12000 M3 (ROUGH)",
        "N20 G1 X" + QByteArray("1234567890").repeated(15) + " F800",
        "N30 G1 Z-2.5 F300 (" + QByteArray("FINISH PASS ").repeated(10) + ")" };
}

QByteArray LongLinesProgram()
{
    return LongLines().join("\r\n");
}

QByteArray IndexedProgram()
{
    QByteArray program;
    for (int line = 1; line <= 400; ++line) {
        const QByteArray text = line == 1 ? "T1 M6"
            : line == 250                 ? "T5 M6"
            : line == 400                 ? "T9 M6"
                                          : "G1 X" + QByteArray::number(line);
        program += text + (line < 400 ? "\r\n" : "");
    }
    return program;
}

quint16 FreeUdpPort()
{
    QUdpSocket probe;
    probe.bind(QHostAddress::LocalHost, 0);
    return probe.localPort();
}

// A program whose first start-from point (line 4) is clear and whose second
// (line 9) sets its state only before the resume point.
const char* const SafetyProgram = "%\r\nO1000\r\nG21 G90 G54 G17\r\nT1 M6\r\nS1000 M3\r\nG0 X0 Y0 Z5\r\n"
                                  "G1 Z-1 F100\r\nG1 X10\r\nT2 M6\r\nG0 X20 Y0\r\nG1 Z-1\r\nG1 X30\r\nM30\r\n%\r\n";

int RedPixels(QWidget* widget)
{
    return CountDrawnPixels(widget, IsWarningRed);
}

int GreenPixels(QWidget* widget)
{
    const QImage image = widget->grab().toImage();
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            count += c.green() > 90 && c.red() < 70 && c.blue() < 70;
        }
    return count;
}

} // namespace

class TestMainFormStartFrom : public QObject {
    Q_OBJECT
    QTemporaryDir FDir;
    QProcess FSim;
    QByteArray FSimOutput;
    QString FBase; // 127.x.y. of this run
    quint16 FStatusPort = 0;
    TScriptedPrompter FPrompter;
    std::unique_ptr<TFormMain> FWindow;

    QString Ip(int device) const { return FBase + QString::number(device); }

    // Command lines the simulator received from one device, in order.
    QStringList Commands(const QString& ip)
    {
        FSimOutput += FSim.readAllStandardOutput();
        QStringList lines;
        for (const QByteArray& line : FSimOutput.split('\n'))
            if (line.startsWith((ip + ": ").toLatin1()))
                lines << QString::fromLatin1(line.mid(ip.size() + 2));
        return lines;
    }
    QStringList CommandsAfter(const QString& ip, qsizetype seen) { return Commands(ip).mid(seen); }
    bool WaitForCommand(const QString& ip, qsizetype seen, const QString& command)
    {
        return QTest::qWaitFor([&] { return CommandsAfter(ip, seen).contains(command); }, 3000);
    }

    bool Select(TFormMain& window, const QString& ip)
    {
        for (int attempt = 0; attempt < 50; ++attempt) {
            window.TimerDeviceInfoTimer();
            const QList<TQuillexDevice> devices = window.StatusListener()->GetLastDeviceList();
            for (int i = 0; i < devices.size(); ++i) {
                if (devices[i].IPAddress == ip) {
                    window.DeviceList()->SelectRow(i);
                    return true;
                }
            }
            QTest::qWait(100);
        }
        return false;
    }

    // A device the listener believes in, whatever answers at its address.
    static void Announce(TFormMain& window, const QString& ip, const QByteArray& name)
    {
        window.StatusListener()->AcceptDatagram(
            ip, StatusDatagram("{\"name\":\"" + name + "\",\"hw\":\"HW4\",\"ip\":\"" + ip.toLatin1() + "\"}"));
    }

    QListView* ToolList() const { return Widget<QListView>(*FWindow, "ListBoxToolChanges"); }
    const TToolChangeListModel* ToolRows() const { return FWindow->ToolChangePanel()->Model(); }
    void ClickRow(int row, bool dbl)
    {
        QListView* list = ToolList();
        const QModelIndex index = list->model()->index(row, 0);
        list->scrollTo(index);
        const QPoint at = list->visualRect(index).center();
        DoubleOrSingleClick(list, at, dbl);
    }
    // A double click as the platform delivers it: press and release, then the double click.
    static void DoubleOrSingleClick(QAbstractItemView* list, QPoint at, bool dbl)
    {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        if (dbl)
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    }

private slots:
    void initTestCase()
    {
        qputenv("QUILLEX_SETTINGS", FDir.filePath("quillex_settings.ini").toLocal8Bit());
        qputenv("QUILLEX_NO_KEYCHAIN", "1");
        qputenv("XDG_CONFIG_HOME", FDir.path().toLocal8Bit());
        QString error;
        QVERIFY(WriteWholeFile(FDir.filePath("indexed.nc"), IndexedProgram(), error));
        QVERIFY(WriteWholeFile(FDir.filePath("long.nc"), LongLinesProgram(), error));
        QVERIFY(WriteWholeFile(FDir.filePath("safety.nc"), SafetyProgram, error));
        QRandomGenerator* random = QRandomGenerator::global();
        FBase = QString("127.%1.%2.").arg(random->bounded(60, 250)).arg(random->bounded(1, 250));
        FStatusPort = FreeUdpPort();
        const QString program = FDir.filePath("indexed.nc");
        auto device = [&](int n, const QString& keys) { return QString("ip=%1,interval=300,%2").arg(Ip(n), keys); };
        FSim.start(QUILLEX_DEVSIM,
            { "--command-log", "--target", QString("127.0.0.1:%1").arg(FStatusPort), "--device",
                device(1, "name=Indexed,hw=HW4,index=1;250;400,program=" + program), "--device",
                device(2, "name=Empty,hw=HW4"), "--device", device(3, "name=Silent,hw=HW4,silent=1"), "--device",
                device(4, "name=Unreadable,hw=HW4,peekerror=1,index=1;250;400,program=" + program), "--device",
                device(5, "name=Old,hw=HW2"), "--device", device(6, "name=Fresh,hw=HW3,erase=20000"), "--device",
                device(7, "name=Locked,hw=HW4,pin=1234,silent=1"), "--device",
                device(8, "name=Busy,hw=HW4,refuse=busy"), "--device",
                device(10, "name=Long,hw=HW4,index=1;2;3,program=" + FDir.filePath("long.nc")), "--device",
                device(11, "name=Safety,hw=HW4,index=4;9,program=" + FDir.filePath("safety.nc")) });
        QVERIFY(FSim.waitForReadyRead(5000));
        TMainFormOptions options;
        options.StatusPort = FStatusPort;
        FWindow = std::make_unique<TFormMain>(FPrompter, options);
        FWindow->show();
        QVERIFY(QTest::qWaitForWindowExposed(FWindow.get()));
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
        FPrompter.Confirmations.clear();
        FPrompter.ModalAnswers.clear();
        FPrompter.ModalDialogs = 0;
    }

    void startFromTheMiddle_data()
    {
        QTest::addColumn<int>("device");
        QTest::addColumn<int>("row"); // the row the operator picks; -1 cancels the dialog, -2 clears the selection
        QTest::addColumn<int>("carried"); // >= 0: the dialog hands back this number instead of the row's
        QTest::addColumn<bool>("yes");
        QTest::addColumn<QStringList>("questions");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<int>("dialogs");
        QTest::addColumn<QString>("sent"); // the STARTFROM line on the wire, or none

        const QString started = QString::fromUtf8("Devam ettirme başlatıldı (CNC'den XON bekleniyor): ");
        const auto question = [](int line) {
            return QStringList {
                QString::fromUtf8("Satır %1'den itibaren gönderim başlatılacak. Onaylıyor musunuz?").arg(line)
            };
        };
        QTest::newRow("entry 1 on line 250")
            << 1 << 1 << -1 << true << question(250)
            << QStringList { started + QString::fromUtf8("2 komut cihaz tarafından onaylandı") } << 1 << "STARTFROM1";
        QTest::newRow("a number no entry carries")
            << 1 << 0 << 7 << true << question(0) << QStringList { "Hata: no such start point" } << 1 << "STARTFROM7";
        QTest::newRow("question answered No") << 1 << 2 << -1 << false << question(400) << QStringList() << 1 << "";
        QTest::newRow("dialog cancelled") << 1 << -1 << -1 << true << QStringList() << QStringList() << 1 << "";
        QTest::newRow("OK with no row selected") << 1 << -2 << -1 << true << QStringList() << QStringList() << 1 << "";
        QTest::newRow("empty index") << 2 << 0 << -1 << true << QStringList()
                                     << QStringList { QString::fromUtf8(
                                            "Cihazda kayıtlı bir devam noktası yok (Start From index boş).") }
                                     << 0 << "";
        QTest::newRow("index query refused") << 8 << 0 << -1 << true << QStringList()
                                             << QStringList { "Hata: GETINDEX yaniti eksik/beklenmedik." } << 0 << "";
        QTest::newRow("no device selected") << 0 << 0 << -1 << true << QStringList()
                                            << QStringList { QString::fromUtf8("Önce bir cihaz seçin.") } << 0 << "";
    }

    void startFromTheMiddle()
    {
        QFETCH(int, device);
        QFETCH(int, row);
        QFETCH(int, carried);
        QFETCH(bool, yes);
        QFETCH(QStringList, questions);
        QFETCH(QStringList, messages);
        QFETCH(int, dialogs);
        QFETCH(QString, sent);
        if (device > 0) {
            QVERIFY(Select(*FWindow, Ip(device)));
            QVERIFY(Widget<QToolButton>(*FWindow, "SpeedButtonStartFromMiddle")->isEnabled());
        } else {
            Widget<QListView>(*FWindow, "ListBoxDevices")->clearSelection();
        }
        const QString ip = Ip(qMax(device, 1));
        const qsizetype seen = Commands(ip).size();
        FPrompter.Confirmations = { yes };
        FPrompter.ModalAnswers << [&](QDialog& dialog) {
            auto& select = static_cast<TFormStartFromSelect&>(dialog);
            QListWidget* list = Widget<QListWidget>(select, "ListBoxEntries");
            if (row == -1)
                return int(QDialog::Rejected);
            if (row == -2)
                list->clearSelection();
            else
                list->setCurrentRow(row);
            if (carried >= 0)
                list->item(row)->setData(Qt::UserRole, carried);
            return int(QDialog::Accepted);
        };
        FWindow->SpeedButtonStartFromMiddleClick();
        QCOMPARE(FPrompter.ModalDialogs, dialogs);
        QCOMPARE(FPrompter.Questions, questions);
        QCOMPARE(FPrompter.Messages, messages);
        if (!sent.isEmpty())
            QVERIFY(WaitForCommand(ip, seen, sent));
        QTest::qWait(50);
        for (const QString& line : CommandsAfter(ip, seen))
            QVERIFY2(!line.startsWith("STARTFROM") || line == sent, qPrintable(line));
    }

    void buttonFollowsHardwareAndTransfers()
    {
        QVERIFY(Select(*FWindow, Ip(5)));
        QVERIFY(!Widget<QToolButton>(*FWindow, "SpeedButtonStartFromMiddle")->isEnabled());
        QVERIFY(!Widget<QToolButton>(*FWindow, "SpeedButtonScanToolChanges")->isEnabled());
        QVERIFY(Select(*FWindow, Ip(6)));
        QVERIFY(Widget<QToolButton>(*FWindow, "SpeedButtonStartFromMiddle")->isEnabled());
        FWindow->SetEditorText("G0 X0\nT1 M6\nG1 X1\nT2 M6\nG1 X2\n");
        FWindow->SpeedButtonUploadToMachineClick();
        QVERIFY(FWindow->TransferRunning());
        QVERIFY(!Widget<QToolButton>(*FWindow, "SpeedButtonStartFromMiddle")->isEnabled());
        QVERIFY(Widget<QToolButton>(*FWindow, "SpeedButtonScanToolChanges")->isEnabled());
        QVERIFY(QTest::qWaitFor([&] { return !FWindow->TransferRunning(); }, 30000));
        QCOMPARE(FPrompter.Messages, QStringList());
        QVERIFY(Widget<QToolButton>(*FWindow, "SpeedButtonStartFromMiddle")->isEnabled());

        // The index the upload stored drives the dialog: the second tool change is on line 5 of "%", ...
        QStringList rows;
        FPrompter.ModalAnswers << [&](QDialog& dialog) {
            QListWidget* list = Widget<QListWidget>(static_cast<TFormStartFromSelect&>(dialog), "ListBoxEntries");
            for (int i = 0; i < list->count(); ++i)
                rows << list->item(i)->text();
            list->setCurrentRow(1);
            return int(QDialog::Accepted);
        };
        FPrompter.Confirmations = { true };
        const qsizetype seen = Commands(Ip(6)).size();
        FWindow->SpeedButtonStartFromMiddleClick();
        QCOMPARE(rows, QStringList({ QString::fromUtf8("Satır 3: T1 M6"), QString::fromUtf8("Satır 5: T2 M6") }));
        QCOMPARE(FPrompter.Questions,
            QStringList { QString::fromUtf8("Satır 5'den itibaren gönderim başlatılacak. Onaylıyor musunuz?") });
        QVERIFY(WaitForCommand(Ip(6), seen, "STARTFROM1"));
    }

    void dialogRowsAndPreviews()
    {
        TFormStartFromSelect dialog(WindowCallRunner());
        const QList<TStartFromIndexEntry> entries { { 0, 1, 0 }, { 1, 250, 0 }, { 2, 400, 0 } };
        QListWidget* list = Widget<QListWidget>(dialog, "ListBoxEntries");
        QStringList whileReading;
        QTimer::singleShot(0, this, [&] { // runs while the first line is being read
            for (int i = 0; i < list->count(); ++i)
                whileReading << list->item(i)->text();
        });
        const qsizetype seen = Commands(Ip(1)).size();
        dialog.Initialize(entries, Ip(1), 5000);
        QCOMPARE(whileReading,
            QStringList({ QString::fromUtf8("Satır 1: (okunuyor...)"), QString::fromUtf8("Satır 250: (okunuyor...)"),
                QString::fromUtf8("Satır 400: (okunuyor...)") }));
        QStringList rows;
        for (int i = 0; i < list->count(); ++i)
            rows << list->item(i)->text();
        QCOMPARE(rows,
            QStringList({ QString::fromUtf8("Satır 1: T1 M6"), QString::fromUtf8("Satır 250: T5 M6"),
                QString::fromUtf8("Satır 400: T9 M6") }));
        const QObject* ui = &dialog;
        const auto preview = [&] {
            return QStringList { Widget<QLabel>(ui, "LabelPreviewPrev")->text(),
                Widget<QLabel>(ui, "LabelPreviewCurrent")->text(), Widget<QLabel>(ui, "LabelPreviewNext")->text() };
        };
        // The first row is selected and previewed: the program's first line has none before it.
        QCOMPARE(dialog.SelectedIndexNo(), 0);
        QCOMPARE(preview(), QStringList({ QString::fromUtf8("(önceki satır yok)"), "T1 M6", "G1 X2" }));
        list->setCurrentRow(2);
        QCOMPARE(preview(), QStringList({ "G1 X399", "T9 M6", QString::fromUtf8("(sonraki satır yok)") }));
        list->setCurrentRow(1);
        QCOMPARE(preview(), QStringList({ "G1 X249", "T5 M6", "G1 X251" }));
        list->setCurrentRow(2);
        // Each row is read once while filling, then again at every selection: nothing is cached.
        QTRY_COMPARE(CommandsAfter(Ip(1), seen).filter("PEEKLINE"),
            QStringList({ "PEEKLINE0", "PEEKLINE1", "PEEKLINE2", "PEEKLINE0", "PEEKLINE2", "PEEKLINE1", "PEEKLINE2" }));
        QCOMPARE(dialog.SelectedIndexNo(), 2);
        list->clearSelection();
        QCOMPARE(dialog.SelectedIndexNo(), -1);
        QCOMPARE(preview(), QStringList({ "", "", "" }));
    }

    void dialogUnreadableLine()
    {
        TFormStartFromSelect dialog(WindowCallRunner());
        dialog.Initialize({ { 0, 1, 0 }, { 1, 250, 0 }, { 2, 400, 0 } }, Ip(4), 5000);
        QListWidget* list = Widget<QListWidget>(dialog, "ListBoxEntries");
        QCOMPARE(list->item(1)->text(), QString::fromUtf8("Satır 250: (okunamadı)"));
        QCOMPARE(list->item(2)->text(), QString::fromUtf8("Satır 400: T9 M6"));
        list->setCurrentRow(1);
        QCOMPARE(Widget<QLabel>(dialog, "LabelPreviewCurrent")->text(),
            QString::fromUtf8("(okunamadı: Cihaz hatasi: line unreadable)"));
        QCOMPARE(Widget<QLabel>(dialog, "LabelPreviewPrev")->text(), QString());
        QCOMPARE(Widget<QLabel>(dialog, "LabelPreviewNext")->text(), QString());
        QCOMPARE(dialog.SelectedIndexNo(), 1); // still a choice
    }

    // Long lines keep to their own rows: each preview line is elided in one
    // line, the whole line its tooltip, and nothing is painted over the list,
    // the other lines or the buttons. The dialog keeps its size.
    void dialogLongLinesKeepTheirRows()
    {
        TFormStartFromSelect dialog(WindowCallRunner());
        dialog.Initialize({ { 0, 1, 0 }, { 1, 2, 0 }, { 2, 3, 0 } }, Ip(10), 5000);
        const QObject* ui = &dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        Widget<QListWidget>(ui, "ListBoxEntries")->setCurrentRow(1);
        QCOMPARE(dialog.size(), QSize(384, 440));
        const QList<QLabel*> labels { Widget<QLabel>(ui, "LabelPreviewPrev"), Widget<QLabel>(ui, "LabelPreviewCurrent"),
            Widget<QLabel>(ui, "LabelPreviewNext") };
        QList<QRect> taken { Widget<QListWidget>(ui, "ListBoxEntries")->geometry(),
            Widget<QLabel>(ui, "LabelPreviewCaption")->geometry(), Widget<QPushButton>(ui, "ButtonOk")->geometry(),
            Widget<QPushButton>(ui, "ButtonCancel")->geometry() };
        for (int i = 0; i < labels.size(); ++i) {
            QLabel* label = labels[i];
            const QString line = QString::fromLatin1(LongLines()[i]);
            QCOMPARE(TFormStartFromSelect::PreviewText(label), line);
            QVERIFY2(label->text().endsWith(QChar(0x2026)), qPrintable(label->text()));
            QCOMPARE(label->toolTip(), line);
            QVERIFY(label->fontMetrics().horizontalAdvance(label->text()) <= label->contentsRect().width());
            QVERIFY(label->height() < 2 * label->fontMetrics().height()); // one line
            QVERIFY(dialog.rect().contains(label->geometry()));
            for (const QRect& other : taken)
                QVERIFY2(!label->geometry().intersects(other), qPrintable(label->objectName()));
            taken << label->geometry();
        }
        // A short line is shown whole, without a tooltip.
        Widget<QListWidget>(ui, "ListBoxEntries")->setCurrentRow(0);
        QCOMPARE(Widget<QLabel>(ui, "LabelPreviewPrev")->text(), QString::fromUtf8("(önceki satır yok)"));
        QCOMPARE(Widget<QLabel>(ui, "LabelPreviewPrev")->toolTip(), QString());
    }

    void dialogLookAndKeys()
    {
        TFormStartFromSelect dialog(WindowCallRunner());
        dialog.Initialize({ { 0, 1, 0 }, { 1, 250, 0 } }, Ip(1), 5000);
        const QObject* ui = &dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(dialog.windowTitle(), QString::fromUtf8("Yarıdan Başlat - Konum Seç"));
        QCOMPARE(dialog.size(), QSize(384, 440));
        QCOMPARE(Widget<QListWidget>(ui, "ListBoxEntries")->size(), QSize(352, 130));
        QVERIFY(!(dialog.windowFlags() & (Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint)));
        QCOMPARE(Widget<QLabel>(ui, "LabelInstructions")->text(),
            QString::fromUtf8("Cihazdaki kayıtılı devam noktalarından birini seçin:"));
        QCOMPARE(Widget<QLabel>(ui, "LabelPreviewCaption")->text(), QString::fromUtf8("Yarıdan Başlanacak Satır:"));
        QCOMPARE(Widget<QPushButton>(ui, "ButtonOk")->text(), QString::fromUtf8("Başla"));
        QCOMPARE(Widget<QPushButton>(ui, "ButtonCancel")->text(), QString::fromUtf8("İptal"));
        QVERIFY(Widget<QPushButton>(ui, "ButtonOk")->isDefault());
        QVERIFY(QFontInfo(Widget<QListWidget>(ui, "ListBoxEntries")->font()).fixedPitch());
        QVERIFY(QFontInfo(Widget<QLabel>(ui, "LabelPreviewCurrent")->font()).fixedPitch());
        QVERIFY(Widget<QLabel>(ui, "LabelPreviewCurrent")->font().bold());
        QVERIFY2(GreenPixels(Widget<QLabel>(ui, "LabelPreviewCurrent")) > 20, "the current line is drawn green");
        QCOMPARE(GreenPixels(Widget<QLabel>(ui, "LabelPreviewPrev")), 0);

        // A double click on an empty part of the list, nothing selected: the dialog stays.
        Widget<QListWidget>(ui, "ListBoxEntries")->clearSelection();
        DoubleOrSingleClick(Widget<QListWidget>(ui, "ListBoxEntries"), QPoint(100, 120), true);
        QVERIFY(Widget<QListWidget>(ui, "ListBoxEntries")->selectedItems().isEmpty());
        QVERIFY(dialog.isVisible());
        // A double click on a row ends with OK.
        Widget<QListWidget>(ui, "ListBoxEntries")->setCurrentRow(1);
        DoubleOrSingleClick(Widget<QListWidget>(ui, "ListBoxEntries"),
            Widget<QListWidget>(ui, "ListBoxEntries")
                ->visualItemRect(Widget<QListWidget>(ui, "ListBoxEntries")->item(1))
                .center(),
            true);
        QVERIFY(dialog.isHidden());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.SelectedIndexNo(), 1);

        // Enter in the list ends with OK, Esc with Cancel.
        for (const auto& [key, expected] :
            { std::pair(Qt::Key_Return, QDialog::Accepted), std::pair(Qt::Key_Escape, QDialog::Rejected) }) {
            dialog.setResult(-1);
            dialog.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dialog));
            Widget<QListWidget>(ui, "ListBoxEntries")->setFocus();
            QTest::keyClick(Widget<QListWidget>(ui, "ListBoxEntries"), key);
            QVERIFY(dialog.isHidden());
            QCOMPARE(dialog.result(), int(expected));
        }
    }

    // The safety area under the preview: the editor's program is checked when
    // the history says the device holds it; otherwise the device's own
    // program is read back on request. Red for warnings or no check, green
    // only for a point found clear.
    void dialogSafetyCheck_data()
    {
        QTest::addColumn<bool>("editorHoldsIt");
        QTest::newRow("editor holds the device's program") << true;
        QTest::newRow("no copy here, read back") << false;
    }

    void dialogSafetyCheck()
    {
        QFETCH(bool, editorHoldsIt);
        TFormStartFromSelect dialog(WindowCallRunner());
        const QObject* ui = &dialog;
        TStoredProgramCheckInput input;
        input.EditorHoldsText = true;
        input.EditorText = QByteArray(SafetyProgram).replace("X30", editorHoldsIt ? "X30" : "X35");
        TTransferRecord upload = NewTransferRecord(TTransferKind::Upload, "Safety", Ip(11), {});
        SetRecordBytes(upload, SafetyProgram);
        upload.Success = true;
        input.LastUpload = upload;
        dialog.SetSafetyInput(input);
        QSignalSpy selected(&dialog, &TFormStartFromSelect::EntrySelected);
        dialog.Initialize({ { 0, 4, 0 }, { 1, 9, 0 } }, Ip(11), 5000);
        QCOMPARE(selected.last().first().toInt(), 4); // the first point, for the toolpath view
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QVERIFY(QTest::qWaitFor([&] { return dialog.SafetyCheckDone(); }, 10000));
        QCOMPARE(Widget<QLabel>(ui, "LabelSafetyCaption")->text(), QString::fromUtf8("Güvenlik Kontrolü"));
        if (!editorHoldsIt) {
            const QString noCopy
                = QString::fromUtf8("Cihazdaki programın kopyası bu bilgisayarda yok; güvenlik kontrolü yapılamadı.");
            for (int row : { 0, 1 }) {
                Widget<QListWidget>(ui, "ListBoxEntries")->setCurrentRow(row);
                QCOMPARE(Widget<QLabel>(ui, "LabelSafety")->text(), noCopy);
                QVERIFY2(RedPixels(Widget<QLabel>(ui, "LabelSafety")) > 20, "no check is drawn red");
                QCOMPARE(GreenPixels(Widget<QLabel>(ui, "LabelSafety")), 0);
            }
            QVERIFY(Widget<QPushButton>(ui, "ButtonReadBack")->isVisible());
            QCOMPARE(Widget<QPushButton>(ui, "ButtonReadBack")->text(), QString::fromUtf8("Cihazdan Al ve Kontrol Et"));
            QTest::mouseClick(Widget<QPushButton>(ui, "ButtonReadBack"), Qt::LeftButton);
            QVERIFY(!Widget<QPushButton>(ui, "ButtonOk")->isEnabled()); // no start while the program comes back
            QVERIFY(QTest::qWaitFor([&] { return dialog.SafetyCheckDone(); }, 10000));
            QVERIFY(Widget<QPushButton>(ui, "ButtonOk")->isEnabled());
            QVERIFY(Widget<QListWidget>(ui, "ListBoxEntries")->isEnabled());
        }
        QVERIFY(Widget<QPushButton>(ui, "ButtonReadBack")->isHidden());
        QVERIFY(Widget<QProgressBar>(ui, "ProgressBarReadBack")->isHidden());
        Widget<QListWidget>(ui, "ListBoxEntries")->setCurrentRow(0);
        QCOMPARE(Widget<QLabel>(ui, "LabelSafety")->text(), QString::fromUtf8("Güvenlik kontrolü: sorun bulunmadı."));
        QVERIFY2(GreenPixels(Widget<QLabel>(ui, "LabelSafety")) > 20, "the all-clear line is drawn green");
        QCOMPARE(RedPixels(Widget<QLabel>(ui, "LabelSafety")), 0);
        Widget<QListWidget>(ui, "ListBoxEntries")->setCurrentRow(1);
        QCOMPARE(selected.last().first().toInt(), 9);
        const QStringList warnings = Widget<QLabel>(ui, "LabelSafety")->text().split('\n');
        QVERIFY2(warnings.contains(QString::fromUtf8("İlk kesmeden önce iş mili çalıştırılmıyor (M3/M4 yok).")),
            qPrintable(Widget<QLabel>(ui, "LabelSafety")->text()));
        QVERIFY(!warnings.contains(QString::fromUtf8("Güvenlik kontrolü: sorun bulunmadı.")));
        QVERIFY2(RedPixels(Widget<QLabel>(ui, "LabelSafety")) > 20, "warnings are drawn red");
        QCOMPARE(GreenPixels(Widget<QLabel>(ui, "LabelSafety")), 0);

        // The area sits between the preview and the buttons, inside the dialog, over nothing else.
        const QList<QWidget*> widgets { Widget<QLabel>(ui, "LabelInstructions"),
            Widget<QListWidget>(ui, "ListBoxEntries"), Widget<QLabel>(ui, "LabelPreviewCaption"),
            Widget<QLabel>(ui, "LabelPreviewPrev"), Widget<QLabel>(ui, "LabelPreviewCurrent"),
            Widget<QLabel>(ui, "LabelPreviewNext"), Widget<QLabel>(ui, "LabelSafetyCaption"),
            Widget<QScrollArea>(ui, "ScrollAreaSafety"), Widget<QPushButton>(ui, "ButtonOk"),
            Widget<QPushButton>(ui, "ButtonCancel") };
        for (int i = 0; i < widgets.size(); ++i) {
            QVERIFY2(dialog.rect().contains(widgets[i]->geometry()), qPrintable(widgets[i]->objectName()));
            for (int j = i + 1; j < widgets.size(); ++j)
                QVERIFY2(!widgets[i]->geometry().intersects(widgets[j]->geometry()),
                    qPrintable(widgets[i]->objectName() + " " + widgets[j]->objectName()));
        }
        QVERIFY(Widget<QScrollArea>(ui, "ScrollAreaSafety")->geometry().top()
            > Widget<QLabel>(ui, "LabelPreviewNext")->geometry().bottom());
        QVERIFY(Widget<QScrollArea>(ui, "ScrollAreaSafety")->geometry().bottom()
            < Widget<QPushButton>(ui, "ButtonOk")->geometry().top());
    }

    void toolChangePanelForAProgram()
    {
        QVERIFY(Select(*FWindow, Ip(1)));
        QString text;
        for (int i = 1; i <= 22; ++i)
            text += QString("T%1 M6\nG0 X%1\n").arg(i);
        FWindow->SetEditorText(text);
        QVERIFY(Widget<QWidget>(*FWindow, "PanelToolChanges")->isHidden());
        Widget<QToolButton>(*FWindow, "SpeedButtonScanToolChanges")->click();
        QVERIFY(Widget<QWidget>(*FWindow, "PanelToolChanges")->isVisible());
        QCOMPARE(ToolRows()->rowCount(), 22);
        QCOMPARE(ToolRows()->index(1).data().toString(), QString::fromUtf8("Satır 3, bayt 12: T2 M6"));

        // Single click: the caret goes to the line, column 1, and the editor gets the focus.
        QsciScintilla* editor = Widget<QsciScintilla>(*FWindow, "SynEditProgram");
        editor->setCursorPosition(0, 3);
        FWindow->activateWindow();
        ToolList()->setFocus();
        ClickRow(5, false);
        int line = -1, column = -1;
        editor->getCursorPosition(&line, &column);
        QCOMPARE(line, 10);
        QCOMPARE(column, 0);
        QTRY_VERIFY(editor->hasFocus());

        // Double click: rows past the device's index, no device, then a start on the wire.
        ClickRow(20, true);
        QCOMPARE(FPrompter.Messages,
            QStringList { QString::fromUtf8("Sadece ilk 20 takım değişimi cihazda \"buradan devam et\" için kayıtlı - "
                                            "bu satır listede 21. sırada.") });
        FPrompter.Messages.clear();
        Widget<QListView>(*FWindow, "ListBoxDevices")->clearSelection();
        ClickRow(2, true);
        QCOMPARE(FPrompter.Messages, QStringList { QString::fromUtf8("Önce bir cihaz seçin.") });
        FPrompter.Messages.clear();
        QVERIFY(Select(*FWindow, Ip(1)));
        const qsizetype seen = Commands(Ip(1)).size();
        ClickRow(2, true);
        QCOMPARE(FPrompter.Messages,
            QStringList { QString::fromUtf8(
                "Devam ettirme başlatıldı (CNC'den XON bekleniyor): 2 komut cihaz tarafından onaylandı") });
        QVERIFY(FPrompter.Questions.isEmpty()); // no question, no index read
        QVERIFY(WaitForCommand(Ip(1), seen, "STARTFROM2"));
        QVERIFY(!CommandsAfter(Ip(1), seen).contains("GETINDEX"));
        FPrompter.Messages.clear();

        // Later scans refill the panel; the CMT view takes it over, leaving the view hides it.
        FWindow->SetEditorText("G0\nT7 M6\n");
        FWindow->ScanToolChanges();
        QVERIFY(Widget<QWidget>(*FWindow, "PanelToolChanges")->isVisible());
        QCOMPARE(ToolRows()->rowCount(), 1);
        FWindow->ShowCmtFile(BuildCmtFrame("3117ABCDEFGH") + BuildCmtFrame("3200t")
            + BuildCmtFrame("1100xxxxxxxxxx00000007yyyy06PART-A") + BuildCmtFrame("1500d") + BuildCmtFrame("1200")
            + BuildCmtFrame("2000"));
        QCOMPARE(Widget<QLabel>(*FWindow, "LabelToolChanges")->text(), QString("Mazatrol CMT Bilgisi"));
        // There a double click saves the program (the save dialog is asked), a single click does nothing.
        const qsizetype proposals = FPrompter.SaveProposals.size();
        ClickRow(4, false);
        QCOMPARE(FPrompter.SaveProposals.size(), proposals);
        ClickRow(4, true);
        QCOMPARE(FPrompter.SaveProposals.size(), proposals + 1);
        QVERIFY(FPrompter.SaveProposals.last().startsWith("mazatrol_0007.cmt|"));
        QCOMPARE(FPrompter.Messages, QStringList());
        FWindow->ResetEditorContent();
        QVERIFY(Widget<QWidget>(*FWindow, "PanelToolChanges")->isHidden());
    }

    // A device that stops answering blocks each query for its 5 s time-out: the
    // window keeps painting meanwhile, under a busy cursor.
    void windowKeepsPaintingWhileADeviceIsSilent_data()
    {
        QTest::addColumn<QString>("wait");
        QTest::addColumn<QString>("message");
        QTest::newRow("start-from index") << "index" << QString::fromUtf8("Hata: Dosya bilgisi alınamadı");
        const QString unanswered = QString::fromUtf8("Cihaz 0/2 komutu onayladı, bağlantı beklenenden erken kesildi");
        QTest::newRow("PIN check") << "pin"
                                   << "Hata: " + unanswered;
        QTest::newRow("settings batch") << "settings" << QString::fromUtf8("Ayarlar kaydedilemedi: ") + unanswered;
        QTest::newRow("status before an upload")
            << "status" << QString("Cihazdan henuz durum bilgisi alinamadi (kapasite bilinmiyor).");
    }

    void windowKeepsPaintingWhileADeviceIsSilent()
    {
        QFETCH(QString, wait);
        QFETCH(QString, message);
        QWidget* box = Widget<TDeviceInfoPaintBox>(*FWindow, "PaintBoxDeviceInfo");
        TPaintCounter counter;
        box->installEventFilter(&counter);
        int ticks = 0, busyTicks = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, this, [&] {
            ++ticks;
            const QCursor* cursor = QGuiApplication::overrideCursor();
            busyTicks += cursor && cursor->shape() == Qt::WaitCursor;
            box->update();
        });
        QElapsedTimer clock;
        if (wait == "index") {
            QVERIFY(Select(*FWindow, Ip(3)));
            timer.start(20);
            clock.start();
            FWindow->SpeedButtonStartFromMiddleClick();
        } else if (wait == "pin") {
            QVERIFY(Select(*FWindow, Ip(7)));
            TQuillexDevice device;
            QVERIFY(FWindow->SelectedDevice(device));
            QVERIFY(device.PinRequired);
            SetCachedPin(Ip(7), "1234");
            timer.start(20);
            clock.start();
            QVERIFY(!FWindow->CheckDevicePin(device));
        } else if (wait == "settings") {
            TFormDeviceSettings dialog(FPrompter, FWindow.get(), WindowCallRunner());
            dialog.Initialize("Silent", "", 9600, 30, 1, 8, u'N', 1, Ip(3), 5000, false, "");
            Widget<QLineEdit>(dialog, "EditName")->setText("Renamed");
            timer.start(20);
            clock.start();
            dialog.ButtonSaveClick();
        } else {
            // A listed device whose last datagram held no status: the upload waits for one.
            const QString ip = Ip(9);
            Announce(*FWindow, ip, "Quiet");
            QVERIFY(Select(*FWindow, ip));
            FWindow->StatusListener()->AcceptDatagram(ip, StatusDatagram(QByteArray(1, '\0')));
            FWindow->SetEditorText("G0 X1\n");
            timer.start(20);
            clock.start();
            FWindow->SpeedButtonUploadToMachineClick();
        }
        const qint64 waited = clock.elapsed();
        timer.stop();
        box->removeEventFilter(&counter);
        QVERIFY2(waited >= 4500, qPrintable(QString::number(waited)));
        QCOMPARE(FPrompter.Messages.size(), 1);
        QVERIFY2(FPrompter.Messages[0].startsWith(message), qPrintable(FPrompter.Messages[0]));
        QVERIFY2(ticks >= int(waited / 20) / 2, qPrintable(QString("%1 ticks in %2 ms").arg(ticks).arg(waited)));
        QVERIFY2(counter.Paints >= ticks / 4, qPrintable(QString("%1 paints").arg(counter.Paints)));
        QVERIFY(busyTicks >= ticks - 1);
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
        SetCachedPin(Ip(7), {});
    }

    // The window may close, or even go, while it waits for a silent device; a
    // close asked for meanwhile is carried out once the query is over.
    void closingWhileAQueryRuns_data()
    {
        QTest::addColumn<bool>("destroy");
        QTest::newRow("closed") << false;
        QTest::newRow("destroyed") << true;
    }

    void closingWhileAQueryRuns()
    {
        QFETCH(bool, destroy);
        TMainFormOptions options;
        options.StatusPort = FreeUdpPort();
        auto window = std::make_unique<TFormMain>(FPrompter, options);
        window->show();
        QTRY_VERIFY(window->StatusListener());
        Announce(*window, Ip(3), "Silent");
        window->TimerDeviceInfoTimer();
        window->DeviceList()->SelectRow(0);
        const QPointer<TFormMain> alive(window.get());
        QTimer::singleShot(300, this, [&] {
            if (destroy)
                window.reset();
            else
                window->close();
        });
        TFormMain* raw = window.get();
        raw->SpeedButtonStartFromMiddleClick();
        QCOMPARE(bool(alive), !destroy);
        QCOMPARE(FPrompter.Messages, QStringList()); // nothing more after the window went
        QCOMPARE(FPrompter.ModalDialogs, 0);
        if (!destroy) // the close is carried out, not lost
            QTRY_VERIFY(!raw->isVisible());
    }
};

QTEST_MAIN(TestMainFormStartFrom)
#include "tst_mainformstartfrom.moc"
