// The main window on the offscreen platform: start-up and layout, the device
// list and status panel, the logo, and the device settings dialog.
#include "Loopback.h"
#include "ScriptedPeer.h"
#include "ScriptedPrompter.h"
#include "StatusDatagram.h"

#include "app/unitmainform.h"
#include "dialogs/UnitDeviceSettingsForm.h"
#include "ui_UnitDeviceSettingsForm.h"
#include "ui_unitmainform.h"

#include "device/SettingsFile.h"

#include <QApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <sys/stat.h>

namespace {

// Sends status documents to the window's port from chosen loopback addresses.
void SendStatus(quint16 port, const QString& from, const QByteArray& json)
{
    QUdpSocket socket;
    socket.bind(QHostAddress(from), 0);
    socket.writeDatagram(StatusDatagram(json), QHostAddress::LocalHost, port);
    socket.waitForBytesWritten(1000);
}

QStringList Captions(QListWidget* list)
{
    QStringList captions;
    for (int i = 0; i < list->count(); ++i)
        captions << list->item(i)->text();
    return captions;
}

} // namespace

class TestMainForm : public QObject {
    Q_OBJECT
    QTemporaryDir FDir;
    quint32 FNow = 100000;

    QString Settings() const { return FDir.filePath("quillex_settings.ini"); }

    std::unique_ptr<TFormMain> Window(TScriptedPrompter& prompter, quint16 port)
    {
        TMainFormOptions options;
        options.StatusPort = port;
        options.TickSource = [this] { return FNow; };
        return std::make_unique<TFormMain>(prompter, options);
    }

    // The window after its first start-up tick, with a listening status listener.
    std::unique_ptr<TFormMain> StartedWindow(TScriptedPrompter& prompter, quint16 port)
    {
        auto window = Window(prompter, port);
        window->show();
        if (!QTest::qWaitFor([&] { return window->StatusListener() && window->StatusListener()->IsListening(); }, 5000))
            qWarning("the status listener did not start");
        return window;
    }

private slots:
    void init()
    {
        qputenv("QUILLEX_SETTINGS", Settings().toLocal8Bit());
        qputenv("QUILLEX_NO_KEYCHAIN", "1");
        qputenv("XDG_CONFIG_HOME", FDir.path().toLocal8Bit());
        QFile::remove(Settings());
    }

    void firstRunWithoutSettings()
    {
        TScriptedPrompter prompter;
        auto window = Window(prompter, FreeUdpPort());
        QCOMPARE(window->windowTitle(), QString("Quillex - CNC Program Aktarim Istemcisi"));
        // Before the first start-up tick there is no listener and nothing is capable.
        QVERIFY(!window->StatusListener());
        QVERIFY(!window->SelectedDeviceSupportsStartFrom());
        QVERIFY(!window->IsSelectedDeviceSiemens());
        QVERIFY(!window->Form()->SpeedButtonScanToolChanges->isEnabled());
        QVERIFY(!window->Form()->SpeedButtonStartFromMiddle->isEnabled());
        QCOMPARE(window->DeviceInfoMessage(), QString::fromUtf8("Bir cihaz seçin."));
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QCOMPARE(window->geometry().size(), QSize(1055, 674));
        QCOMPARE(window->Form()->PanelDevices->width(), 449);
        QCOMPARE(window->Form()->PanelDeviceInfo->height(), 281);
        QVERIFY(window->Form()->PanelTransfer->isHidden());
        QVERIFY(window->Form()->PanelToolChanges->isHidden());
        QCOMPARE(window->Form()->SpeedButtonUpdate->toolTip(), QString::fromUtf8("YENİ SÜRÜM KONTROL ET VE GÜNCELLE"));
        window->close();
        QSettings settings(Settings(), QSettings::IniFormat);
        settings.beginGroup("MainForm");
        QCOMPARE(settings.childKeys().size(), 8);
        QCOMPARE(settings.value("Maximized").toString(), QString("0"));
        QCOMPARE(settings.value("DevicesPanelWidth").toInt(), 449);
        QCOMPARE(settings.value("DeviceInfoMemoHeight").toInt(), 281);
        QCOMPARE(settings.value("ToolChangesPanelWidth").toInt(), 245);
        QCOMPARE(settings.value("Width").toInt(), 1055);
    }

    void storedLayoutIsRestored()
    {
        {
            QSettings settings(Settings(), QSettings::IniFormat);
            settings.setValue("MainForm/Left", 20);
            settings.setValue("MainForm/Top", 30);
            settings.setValue("MainForm/Width", 960);
            settings.setValue("MainForm/Height", 500);
            settings.setValue("MainForm/DevicesPanelWidth", 300);
            settings.setValue("MainForm/DeviceInfoMemoHeight", 200);
        }
        TScriptedPrompter prompter;
        auto window = Window(prompter, FreeUdpPort());
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QCOMPARE(window->geometry(), QRect(20, 30, 960, 500));
        QCOMPARE(window->Form()->PanelDevices->width(), 300);
        QCOMPARE(window->Form()->PanelDeviceInfo->height(), 200);
    }

    void positionOffEveryScreen()
    {
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        {
            QSettings settings(Settings(), QSettings::IniFormat);
            settings.setValue("MainForm/Left", area.right() + 5000);
            settings.setValue("MainForm/Top", 40);
            settings.setValue("MainForm/Width", area.width() + 300);
            settings.setValue("MainForm/Height", 400);
        }
        TScriptedPrompter prompter;
        auto window = Window(prompter, FreeUdpPort());
        const QRect r = window->geometry();
        QCOMPARE(r.width(), area.width());
        QCOMPARE(r.left(), area.left());
        QCOMPARE(r.top(), area.top() + (area.height() - 400) / 2);
    }

    void overlapOfExactly100x50Stays()
    {
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        TScriptedPrompter prompter;
        auto window = Window(prompter, FreeUdpPort());
        window->setGeometry(area.right() + 1 - 100, area.bottom() + 1 - 50, 400, 300);
        window->EnsureWindowOnScreen();
        QCOMPARE(window->geometry().topLeft(), QPoint(area.right() + 1 - 100, area.bottom() + 1 - 50));
        window->setGeometry(area.right() + 1 - 99, area.bottom() + 1 - 50, 400, 300);
        window->EnsureWindowOnScreen();
        QVERIFY(area.contains(window->geometry()));
    }

    void maximisedAndMinimisedCloses()
    {
        {
            QSettings settings(Settings(), QSettings::IniFormat);
            settings.setValue("MainForm/Left", 11);
            settings.setValue("MainForm/Top", 12);
            settings.setValue("MainForm/Width", 613);
            settings.setValue("MainForm/Height", 414);
        }
        TScriptedPrompter prompter;
        {
            auto window = Window(prompter, FreeUdpPort());
            window->showMaximized();
            window->close();
        }
        {
            QSettings settings(Settings(), QSettings::IniFormat);
            QCOMPARE(settings.value("MainForm/Maximized").toString(), QString("1"));
            QCOMPARE(settings.value("MainForm/Left").toInt(), 11);
            QCOMPARE(settings.value("MainForm/Width").toInt(), 613);
        }
        {
            // The next start restores the normal placement, then maximises.
            auto window = Window(prompter, FreeUdpPort());
            QVERIFY(window->windowState() & Qt::WindowMaximized);
            window->showMinimized();
            window->setWindowState(Qt::WindowMinimized);
            window->close();
        }
        QSettings settings(Settings(), QSettings::IniFormat);
        QCOMPARE(settings.value("MainForm/Maximized").toString(), QString("0"));
        QCOMPARE(settings.value("MainForm/Left").toInt(), 11);
    }

    void maximisedWithoutPosition()
    {
        QSettings(Settings(), QSettings::IniFormat).setValue("MainForm/Maximized", 1);
        TScriptedPrompter prompter;
        auto window = Window(prompter, FreeUdpPort());
        QVERIFY(window->windowState() & Qt::WindowMaximized);
    }

    void logoClicks()
    {
        TScriptedPrompter prompter;
        auto window = Window(prompter, FreeUdpPort());
        window->show();
        QVERIFY(!window->LogVisible());
        for (int i = 0; i < 5; ++i) {
            FNow += 1000;
            window->ImageLogoClick();
        }
        QVERIFY(window->LogVisible());
        // Four quick clicks, a pause of 2.5 s, one more: the count restarts.
        for (int i = 0; i < 4; ++i) {
            FNow += 100;
            window->ImageLogoClick();
        }
        FNow += 2500;
        window->ImageLogoClick();
        QVERIFY(window->LogVisible());
        // A gap of exactly 2000 ms still counts.
        for (int i = 0; i < 4; ++i) {
            FNow += 2000;
            window->ImageLogoClick();
        }
        QVERIFY(!window->LogVisible());
        // A real click on the picture counts too.
        for (int i = 0; i < 5; ++i)
            QTest::mouseClick(window->Form()->ImageLogo, Qt::LeftButton);
        QVERIFY(window->LogVisible());
    }

    void settingsFileThatIsAFifo()
    {
        // Opening a FIFO would wait for a writer: the window starts without it.
        const QString fifo = FDir.filePath("fifo.ini");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        qputenv("QUILLEX_SETTINGS", fifo.toLocal8Bit());
        QCOMPARE(SettingsFilePath(), QString());
        TScriptedPrompter prompter;
        auto window = Window(prompter, FreeUdpPort());
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window.reset();
        QVERIFY(QFileInfo(fifo).isFile() == false);
        QFile::remove(fifo);
    }

    void statusLogKeepsTheLatestLines()
    {
        TScriptedPrompter prompter;
        const quint16 port = FreeUdpPort();
        auto window = StartedWindow(prompter, port);
        QUdpSocket socket;
        QVERIFY(socket.bind(QHostAddress(RunIp("40.20")), 0));
        const int total = StatusLogMaxLines + 50;
        for (int i = 1; i <= total; ++i) {
            socket.writeDatagram(
                StatusDatagram(QString("{\"macid\":\"m\",\"n\":%1}").arg(i).toLatin1()), QHostAddress::LocalHost, port);
            // A few at a time, so the socket buffer drops none.
            if (i % 100 == 0)
                QTRY_COMPARE(window->StatusListener()->AcceptedDatagrams(), i);
        }
        QTRY_COMPARE(window->StatusListener()->AcceptedDatagrams(), total);
        QPlainTextEdit* log = window->Form()->Memo1;
        QCOMPARE(log->blockCount(), StatusLogMaxLines);
        const QStringList lines = log->toPlainText().split('\n');
        QCOMPARE(lines.first(), QString("[%1] {\"macid\":\"m\",\"n\":51}").arg(RunIp("40.20")));
        QCOMPARE(lines.last(), QString("[%1] {\"macid\":\"m\",\"n\":%2}").arg(RunIp("40.20")).arg(total));
    }

    void deviceListAndStatusPanel()
    {
        TScriptedPrompter prompter;
        const quint16 port = FreeUdpPort();
        auto window = StartedWindow(prompter, port);
        SendStatus(port, RunIp("40.1"),
            "{\"macid\":\"m1\",\"name\":\"Torna 1\",\"controller\":\"FANUC\",\"hw\":\"HW4\",\"xfer_status\":\"idle\"}");
        SendStatus(port, RunIp("40.2"),
            "{\"macid\":\"m2\",\"name\":\"Freze\",\"pw\":true,\"controller\":\"SIEMENS\",\"erasing\":1}");
        SendStatus(port, RunIp("40.3"),
            "{\"macid\":\"m3\",\"name\":\"Pres\",\"xfer_status\":\"idle\",\"ota_status\":\"idle\"}");
        SendStatus(port, RunIp("40.4"), "not json at all");
        QTRY_COMPARE(window->StatusListener()->AcceptedDatagrams(), 4);
        window->TimerDeviceInfoTimer();
        QListWidget* list = window->Form()->ListBoxDevices;
        QCOMPARE(list->count(), 3);
        QCOMPARE(window->Form()->Memo1->toPlainText().count('\n'), 3);

        const QList<TQuillexDevice> devices = window->StatusListener()->GetLastDeviceList();
        int torna = -1, freze = -1;
        for (int i = 0; i < devices.size(); ++i) {
            const TDeviceRowLook look = window->DeviceRowLook(i);
            QCOMPARE(look.Line2, devices[i].IPAddress);
            if (devices[i].MacId == "m1") {
                torna = i;
                QCOMPARE(look.Line1, QString("Torna 1 / FANUC"));
                QVERIFY(!look.Locked);
                QCOMPARE(look.DotColor, QColor(76, 175, 80));
            } else if (devices[i].MacId == "m2") {
                freze = i;
                QVERIFY(look.Locked);
                QCOMPARE(look.DotColor, QColor(245, 166, 35));
            } else {
                QCOMPARE(look.Line1, QString("Pres"));
            }
        }
        QCOMPARE(window->DeviceActivityColor(RunIp("40.4")), QColor(158, 158, 158));
        QCOMPARE(window->DeviceActivityColor(""), QColor(158, 158, 158));

        // Selecting a device shows its rows and enables the start-from commands for HW4.
        list->setCurrentRow(torna);
        QCOMPARE(window->DeviceInfoMessage(), QString());
        QCOMPARE(window->DeviceInfoRows().first(), QString::fromUtf8("Cihaz Adı=Torna 1"));
        QVERIFY(window->Form()->SpeedButtonScanToolChanges->isEnabled());
        QVERIFY(window->Form()->SpeedButtonStartFromMiddle->isEnabled());
        QVERIFY(!window->IsSelectedDeviceSiemens());
        list->setCurrentRow(freze);
        QVERIFY(window->IsSelectedDeviceSiemens());
        QVERIFY(!window->Form()->SpeedButtonScanToolChanges->isEnabled());

        // The selection follows the device across refreshes.
        list->setCurrentRow(torna);
        SendStatus(port, RunIp("40.5"), "{\"macid\":\"m5\",\"name\":\"Yeni\"}");
        QTRY_COMPARE(window->StatusListener()->AcceptedDatagrams(), 5);
        window->TimerDeviceInfoTimer();
        QCOMPARE(list->count(), 4);
        QCOMPARE(list->selectedItems().value(0)->text(), QString("Torna 1"));

        // While a transfer runs the list keeps its rows and the selection stays.
        window->SetTransferControlsEnabled(false);
        QVERIFY(!window->Form()->SpeedButtonStartFromMiddle->isEnabled());
        QVERIFY(window->Form()->SpeedButtonScanToolChanges->isEnabled());
        QVERIFY(!window->Form()->SpeedButtonUploadToMachine->isEnabled());
        const QStringList before = Captions(list);
        SendStatus(port, RunIp("40.6"), "{\"macid\":\"m6\",\"name\":\"Sonra\"}");
        QTRY_COMPARE(window->StatusListener()->AcceptedDatagrams(), 6);
        window->TimerDeviceInfoTimer();
        QCOMPARE(Captions(list), before);
        QCOMPARE(list->selectedItems().value(0)->text(), QString("Torna 1"));
        window->SetTransferControlsEnabled(true);
        QVERIFY(window->Form()->SpeedButtonStartFromMiddle->isEnabled());
        window->TimerDeviceInfoTimer();
        QCOMPARE(list->count(), 5);

        // Silent devices drop out; the panel falls back to its message.
        FNow += 20001;
        window->TimerDeviceInfoTimer();
        QCOMPARE(list->count(), 0);
        QCOMPARE(window->DeviceInfoMessage(), QString::fromUtf8("Bir cihaz seçin."));
    }

    void badStatusDocumentsDoNotStallThePanel()
    {
        TScriptedPrompter prompter;
        const quint16 port = FreeUdpPort();
        auto window = StartedWindow(prompter, port);
        // A 2000-character name just fits a datagram of 2048 bytes.
        const QByteArray huge = "{\"macid\":\"h\",\"name\":\"" + QByteArray(2000, 'N') + "\"}";
        SendStatus(port, RunIp("40.7"), huge);
        QTRY_COMPARE(window->StatusListener()->AcceptedDatagrams(), 1);
        window->TimerDeviceInfoTimer();
        window->Form()->ListBoxDevices->setCurrentRow(0);
        QCOMPARE(window->DeviceInfoRows().first(), QString::fromUtf8("Cihaz Adı=") + QString(2000, 'N'));
        QVERIFY(!window->grab().isNull());
        // Longer datagrams are dropped; the last good status stays.
        SendStatus(port, RunIp("40.7"), huge + QByteArray(64, ' '));
        QTest::qWait(200);
        QCOMPARE(window->StatusListener()->AcceptedDatagrams(), 1);
        // Wrong types.
        SendStatus(
            port, RunIp("40.7"), "{\"macid\":\"h\",\"name\":[1],\"baud\":{\"x\":1},\"filesize\":\"big\",\"time\":5}");
        QTRY_COMPARE(window->StatusListener()->AcceptedDatagrams(), 2);
        window->UpdateDeviceInfo();
        QVERIFY(window->DeviceInfoRows().contains("Baud Rate="));
        QVERIFY(window->DeviceInfoRows().contains("Dosya Boyutu=0 bayt"));
        QVERIFY(window->DeviceInfoRows().contains(QString::fromUtf8("Son Güncelleme=5")));
        QVERIFY(!window->grab().isNull()); // painting copes with all of it
        // Now the device sends text that is not JSON: shown raw, dot grey.
        SendStatus(port, RunIp("40.7"), "{broken");
        QTRY_COMPARE(window->StatusListener()->AcceptedDatagrams(), 3);
        window->UpdateDeviceInfo();
        QCOMPARE(window->DeviceInfoRows(), QStringList { "{broken" });
        QCOMPARE(window->DeviceActivityColor(RunIp("40.7")), QColor(158, 158, 158));
        QVERIFY(!window->grab().isNull());
    }

    void cancelledPinOpensNoSettingsDialog()
    {
        TScriptedPrompter prompter;
        prompter.PinAnswers = { "<cancel>" };
        const quint16 port = FreeUdpPort();
        auto window = StartedWindow(prompter, port);
        SendStatus(port, RunIp("40.12"), "{\"macid\":\"p\",\"name\":\"Kilitli\",\"pw\":true}");
        QTRY_COMPARE(window->StatusListener()->AcceptedDatagrams(), 1);
        window->TimerDeviceInfoTimer();
        window->Form()->ListBoxDevices->setCurrentRow(0);
        window->ListBoxDevicesDblClick(); // a dialog would block here
        QCOMPARE(prompter.Questions, QStringList { QString::fromUtf8("Kilitli şifre istiyor (4-8 rakam):") });
        QVERIFY(QApplication::topLevelWidgets().size() >= 1);
        for (QWidget* w : QApplication::topLevelWidgets())
            QVERIFY(!qobject_cast<TFormDeviceSettings*>(w) || !w->isVisible());
    }

    void storedPinOnlyForItsAddress()
    {
        // A forged status datagram announcing a real device's macid gets no PIN.
        TScriptedPrompter prompter;
        const quint16 port = FreeUdpPort();
        auto window = StartedWindow(prompter, port);
        const QString real = RunIp("40.30"), forged = RunIp("40.31");
        SavePinToStore("m-real", "4321", real);
        const QByteArray status = "{\"macid\":\"m-real\",\"name\":\"Torna\",\"pw\":true}";
        const auto deviceAt = [&](const QString& ip) {
            window->TimerDeviceInfoTimer();
            for (const TQuillexDevice& d : window->StatusListener()->GetLastDeviceList())
                if (d.IPAddress == ip)
                    return d;
            return TQuillexDevice();
        };
        TScriptedPeer impostor(forged, 5000, {});
        TScriptedPeer device(real, 5000, { [](TPeerConnection& c) {
            c.ReadLine();
            c.Send(c.ReadLine() == "PIN&4321" ? "OK\nOK\n" : "OK\nERR pin\n");
        } });

        SendStatus(port, forged, status);
        QTRY_COMPARE(window->StatusListener()->AcceptedDatagrams(), 1);
        QVERIFY(!window->CheckDevicePin(deviceAt(forged))); // asked, cancelled
        QCOMPARE(prompter.Questions, QStringList { QString::fromUtf8("Torna şifre istiyor (4-8 rakam):") });

        // Both announce at once: both are listed, and neither gets the PIN.
        SendStatus(port, real, status);
        QTRY_COMPARE(window->StatusListener()->AcceptedDatagrams(), 2);
        const TQuillexDevice listed = deviceAt(real);
        QCOMPARE(window->Form()->ListBoxDevices->count(), 2);
        QVERIFY(!window->CheckDevicePin(listed));
        QCOMPARE(prompter.Questions.size(), 2);
        QCOMPARE(impostor.Connections(), 0);
        QCOMPARE(device.Connections(), 0);

        // The forger falls silent: the device at its own address gets its PIN without a question.
        FNow += DeviceAgeLimitMs + 1;
        SendStatus(port, real, status);
        QTRY_COMPARE(window->StatusListener()->AcceptedDatagrams(), 3);
        QVERIFY(window->CheckDevicePin(deviceAt(real)));
        QCOMPARE(prompter.Questions.size(), 2);
        QCOMPARE(device.Connections(), 1);
        QCOMPARE(impostor.Connections(), 0);
        SetCachedPin(real, {});
    }

    void checkDevicePinUsesTheAddressWithoutMacId()
    {
        TScriptedPeer peer(RunIp("40.8"), 5000, { [](TPeerConnection& c) {
            c.ReadLine();
            c.ReadLine();
            c.Send("OK\nOK\n");
        } });
        TScriptedPrompter prompter;
        prompter.PinAnswers = { "4321" };
        auto window = Window(prompter, FreeUdpPort());
        TQuillexDevice device;
        device.IPAddress = RunIp("40.8");
        device.DisplayName = "Pres";
        device.PinRequired = true;
        QVERIFY(window->CheckDevicePin(device));
        QCOMPARE(LoadPinFromStore(RunIp("40.8")), QString("4321"));
        QCOMPARE(prompter.Questions, QStringList { QString::fromUtf8("Pres şifre istiyor (4-8 rakam):") });
        SetCachedPin(RunIp("40.8"), {});
    }

    void settingsDialogSendsOnlyChanges()
    {
        QList<QByteArray> received;
        TScriptedPeer peer(RunIp("40.9"), 5000,
            { [](TPeerConnection& c) {
                 c.ReadLine();
                 c.ReadLine();
                 c.ReadLine();
                 c.Send("OK\nOK\nOK\n");
             },
                [](TPeerConnection& c) {
                    c.ReadLine();
                    c.ReadLine();
                    c.Send("OK\nERR busy\n");
                } });
        TScriptedPrompter prompter;
        TFormDeviceSettings dialog(prompter);
        dialog.Initialize("Torna 1", "fanuc", 9600, 30, -1, 8, u'N', 1, RunIp("40.9"), 5000, false, "");
        auto* f = dialog.Form();
        QCOMPARE(f->ComboBoxController->count(), 7); // found without regard to case, nothing appended
        QCOMPARE(f->ComboBoxController->currentText(), QString("FANUC"));
        QVERIFY(f->CheckBoxXonXoff->isChecked() && !f->CheckBoxXonXoff->isEnabled());
        QCOMPARE(f->ComboBoxParity->currentText(), QString("Yok (N)"));
        QCOMPARE(f->LabelPin->text(), QString::fromUtf8("Transfer şifresi: Kapalı"));
        QVERIFY(!f->ButtonClearPin->isEnabled());
        // Typed Turkish letters never reach the name field.
        f->EditName->clear();
        for (QChar c : QString::fromUtf8("Pres Ş-1")) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
            QApplication::sendEvent(f->EditName, &press);
        }
        QCOMPARE(f->EditName->text(), QString("Pres -1"));
        f->EditName->setText("Torna 1");
        f->ComboBoxParity->setCurrentIndex(1);
        dialog.ButtonSaveClick(); // CONTROLLER&FANUC too: the opening value was "fanuc"
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        dialog.setResult(0);
        dialog.ButtonSaveClick();
        QCOMPARE(prompter.Messages.value(0), QString::fromUtf8("Ayarlar kaydedilemedi: busy"));
        QCOMPARE(dialog.result(), 0);
        QVERIFY(peer.WaitDone());
        QCOMPARE(peer.Received().value(0), QByteArray("LOGIN&70216953\nCONTROLLER&FANUC\nPARITYE\n"));
    }

    void settingsDialogNothingChangedSendsNothing()
    {
        TScriptedPeer peer(RunIp("40.10"), 5000, {});
        TScriptedPrompter prompter;
        TFormDeviceSettings dialog(prompter);
        dialog.Initialize("Torna 1", "HEIDENHAIN", 9600, -1, 1, 8, u'E', 2, RunIp("40.10"), 5000, false, "mac");
        QCOMPARE(dialog.Form()->ComboBoxController->currentText(), QString("HEIDENHAIN"));
        QCOMPARE(dialog.Form()->EditXoff->text(), QString());
        dialog.ButtonSaveClick();
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QTest::qWait(50);
        QCOMPARE(peer.Connections(), 0);
    }

    void settingsDialogPin()
    {
        const auto accept = [](QByteArray expected) {
            return [expected](TPeerConnection& c) {
                c.ReadLine();
                const QByteArray line = c.ReadLine();
                c.Send(line == expected ? "OK\nOK\n" : "OK\nERR wrong\n");
            };
        };
        TScriptedPeer peer(RunIp("40.11"), 5000, { accept("SETPIN&24680"), [](TPeerConnection& c) {
                                                      for (int i = 0; i < 3; ++i)
                                                          c.ReadLine();
                                                      c.Send("OK\nOK\nERR wrong\n");
                                                  } });
        TScriptedPrompter prompter;
        prompter.NewPinAnswers = { { "123", "123" }, { "24680", "24681" }, { "24680", "24680" } };
        TFormDeviceSettings dialog(prompter);
        dialog.Initialize("Torna", "", 0, -1, -1, 0, QChar(), 0, RunIp("40.11"), 5000, false, "MAC-11");
        QVERIFY(!dialog.Form()->ComboBoxController->isEnabled());
        dialog.ButtonSetPinClick();
        dialog.ButtonSetPinClick();
        QCOMPARE(peer.Connections(), 0);
        dialog.ButtonSetPinClick();
        QCOMPARE(prompter.Messages,
            QStringList({ QString::fromUtf8("Şifre 4-8 rakamdan oluşmalı."), QString::fromUtf8("Şifreler aynı değil."),
                QString::fromUtf8(
                    "Şifre kaydedildi. Unutulursa yalnızca cihazın USB bağlantısından kaldırılabilir.") }));
        QCOMPARE(GetCachedPin(RunIp("40.11")), QString("24680"));
        QCOMPARE(LoadPinFromStore("MAC-11"), QString("24680"));
        QCOMPARE(dialog.Form()->LabelPin->text(), QString::fromUtf8("Transfer şifresi: Açık"));
        QCOMPARE(dialog.Form()->ButtonSetPin->text(), QString::fromUtf8("Şifreyi Değiştir"));
        QVERIFY(dialog.Form()->ButtonClearPin->isEnabled());

        // Clearing: "No" sends nothing; the device refusing keeps everything.
        prompter.Messages.clear();
        prompter.Confirmations = { false, true };
        dialog.ButtonClearPinClick();
        dialog.ButtonClearPinClick(); // the device refuses CLEARPIN
        QCOMPARE(prompter.Messages, QStringList { QString::fromUtf8("Şifre ayarlanamadı: wrong") });
        QCOMPARE(GetCachedPin(RunIp("40.11")), QString("24680"));
        QVERIFY(dialog.PinRequired());
        SetCachedPin(RunIp("40.11"), {});
    }
};

QTEST_MAIN(TestMainForm)
#include "tst_mainform.moc"
