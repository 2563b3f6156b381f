// The window's document, upload and download commands end to end against
// quillex-devsim, on the offscreen platform, with scripted dialogs.
#include "DrawnPixels.h"
#include "Loopback.h"
#include "ScriptedPrompter.h"
#include "tests/support/FormWidget.h"

#include "app/TransferPanel.h"
#include "app/unitmainform.h"
#include "config/Settings.h"
#include "content/ProgramText.h"
#include "content/UnitMazatrolCmt.h"
#include "device/ProgramTransfer.h"
#include "device/UnitDeviceCommand.h"
#include "discovery/DeviceListModel.h"
#include "tests/support/ReferencePaths.h"
#include "transfer/UploadVerification.h"

#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QWidget>

#include "TestUtil.h"

#include <Qsci/qsciscintilla.h>

namespace {

// The status port of this run's devices, found free when the test starts.
quint16 StatusPortForTests()
{
    static const quint16 port = FreeUdpPort();
    return port;
}

// What a device stores, read back over the download port.
QByteArray Stored(const QString& ip)
{
    QByteArray content;
    bool raw = false;
    QString msg;
    ReceiveProgramFromDevice(ip, DownloadPort, content, raw, msg, {});
    return content;
}

} // namespace

class TestMainFormTransfer : public QObject {
    Q_OBJECT
    QTemporaryDir FDir;
    QProcess FSim;
    TScriptedPrompter FPrompter;
    std::unique_ptr<TFormMain> FWindow;

    QString Path(const QString& name) const { return FDir.filePath(name); }

    void Write(const QString& name, const QByteArray& bytes)
    {
        QString error;
        QVERIFY(WriteWholeFile(Path(name), bytes, error));
    }

    bool Select(const QString& ip)
    {
        for (int attempt = 0; attempt < 50; ++attempt) {
            FWindow->TimerDeviceInfoTimer();
            const QList<TQuillexDevice> devices = FWindow->StatusListener()->GetLastDeviceList();
            for (int i = 0; i < devices.size(); ++i) {
                if (devices[i].IPAddress == ip) {
                    FWindow->DeviceList()->SelectRow(i);
                    return true;
                }
            }
            QTest::qWait(100);
        }
        return false;
    }

    bool WaitForTransfer()
    {
        return QTest::qWaitFor([&] { return !FWindow->TransferRunning(); }, 30000);
    }

    void SetText(const QString& text) { FWindow->SetEditorText(text); }

private slots:
    void initTestCase()
    {
        qputenv("QUILLEX_SETTINGS", Path("quillex_settings.ini").toLocal8Bit());
        qputenv("QUILLEX_NO_KEYCHAIN", "1");
        qputenv("XDG_CONFIG_HOME", FDir.path().toLocal8Bit());
        Write("siemens.nc", "N1G0X0\r\n%_N_PART_MPF\r\n");
        Write("capture.bin",
            QByteArray("\x01\x02"
                       "ABC\xFF",
                6));
        Write("plain.cmt",
            BuildCmtFrame("3117ABCDEFGH") + BuildCmtFrame("3200t") + BuildCmtFrame("1100xxxxxxxxxx00000007yyyy06PART-A")
                + BuildCmtFrame("1500d") + BuildCmtFrame("1200") + BuildCmtFrame("2000"));
        FSim.start(QUILLEX_DEVSIM,
            { "--target", QString("127.0.0.1:%1").arg(StatusPortForTests()), "--device",
                QString("ip=%1,name=HW4,hw=HW4,interval=300").arg(RunIp("41.1")), "--device",
                QString("ip=%1,name=HW2,hw=HW2,interval=300").arg(RunIp("41.2")), "--device",
                QString("ip=%1,name=Legacy,build=400,maxfilesize=60,interval=300").arg(RunIp("41.3")), "--device",
                QString("ip=%1,name=Locked,pin=1234,interval=300").arg(RunIp("41.4")), "--device",
                QString("ip=%1,name=Full,refuse=full,interval=300").arg(RunIp("41.5")), "--device",
                QString("ip=%1,name=Slow,hw=HW4,erase=4000000,interval=200").arg(RunIp("41.6")), "--device",
                QString("ip=%1,name=Sie,controller=SIEMENS,program=%2,interval=300")
                    .arg(RunIp("41.7"), Path("siemens.nc")),
                "--device", QString("ip=%1,name=Fan,program=%2,interval=300").arg(RunIp("41.8"), Path("siemens.nc")),
                "--device", QString("ip=%1,name=Cap,capture=%2,interval=300").arg(RunIp("41.9"), Path("capture.bin")),
                "--device", QString("ip=%1,name=Cmt,program=%2,interval=300").arg(RunIp("41.10"), Path("plain.cmt")),
                "--device", QString("ip=%1,name=Empty,interval=300").arg(RunIp("41.11")), "--device",
                QString("ip=%1,name=Altered,alter=5,interval=300").arg(RunIp("41.13")), "--device",
                QString("ip=%1,name=Cut,cut=3,interval=300").arg(RunIp("41.14")), "--device",
                QString("ip=%1,name=Mute,downloadfault=silent,interval=300").arg(RunIp("41.15")), "--device",
                QString("ip=%1,name=NoIndex,refuseindex=busy,interval=300").arg(RunIp("41.16")), "--device",
                QString("ip=%1,name=NoIndexAltered,refuseindex=busy,alter=1,interval=300").arg(RunIp("41.17")) });
        QVERIFY(FSim.waitForReadyRead(5000));
        TMainFormOptions options;
        options.StatusPort = StatusPortForTests();
        FWindow = std::make_unique<TFormMain>(FPrompter, options);
        FWindow->show();
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
        FPrompter.Warnings.clear();
        FPrompter.Questions.clear();
        FWindow->ResetEditorContent();
    }

    void uploadNormalisesAndIndexes()
    {
        QVERIFY(Select(RunIp("41.1")));
        SetText("g1 x5\n\nm30\nt1 m6\nG0 X1\nT2 M06\n");
        QVERIFY(FWindow->SelectedDeviceSupportsStartFrom());
        FWindow->SpeedButtonUploadToMachineClick();
        QCOMPARE(FWindow->ToolChangeCandidates(), QList<TStartFromCandidate>({ { 4, 10 }, { 6, 22 } }));
        QVERIFY(WaitForTransfer());
        QCOMPARE(FPrompter.Messages, QStringList());
        QCOMPARE(FWindow->EditorLines(), QStringList({ "%", "G1 X5", "M30", "T1 M6", "G0 X1", "T2 M06", "%" }));
        QCOMPARE(Widget<QLabel>(*FWindow, "LabelTransferStatus")->text(), QString::fromUtf8("Başarı ile Tamamlandı."));
        QCOMPARE(Widget<QLabel>(*FWindow, "LabelTransferTitle")->text(), QString::fromUtf8("Cihaza gönderildi"));
        QVERIFY(Widget<QFrame>(*FWindow, "PanelTransfer")->isVisible());
        // Drawn in green, as the operator sees it.
        QVERIFY(CountDrawnPixels(Widget<QLabel>(*FWindow, "LabelTransferStatus"), IsSuccessGreen) > 20);
        QCOMPARE(Stored(RunIp("41.1")), QByteArray("%\r\nG1 X5\r\nM30\r\nT1 M6\r\nG0 X1\r\nT2 M06\r\n%\r\n"));
        QList<TStartFromIndexEntry> entries;
        QString msg;
        QVERIFY(ReadStartFromIndex(RunIp("41.1"), 5000, entries, msg));
        QCOMPARE(entries, QList<TStartFromIndexEntry>({ { 0, 4, 10 }, { 1, 6, 22 } }));
    }

    void noIndexForOtherHardware()
    {
        QVERIFY(Select(RunIp("41.2")));
        SetText("T1 M6\nG0\n");
        FWindow->SpeedButtonUploadToMachineClick();
        QVERIFY(WaitForTransfer());
        QCOMPARE(Stored(RunIp("41.2")), QByteArray("%\r\nT1 M6\r\nG0\r\n%\r\n"));
        QList<TStartFromIndexEntry> entries;
        QString msg;
        QVERIFY(ReadStartFromIndex(RunIp("41.2"), 5000, entries, msg));
        QVERIFY(entries.isEmpty());
    }

    void legacyDeviceLimits()
    {
        QVERIFY(Select(RunIp("41.3")));
        SetText("G0 X1\n"); // 15 bytes: sent as they are
        FWindow->SpeedButtonUploadToMachineClick();
        QVERIFY(WaitForTransfer());
        QCOMPARE(Stored(RunIp("41.3")), QByteArray("%\r\nG0 X1\r\n%\r\n"));
        QString text;
        for (int i = 0; i < 20; ++i)
            text += "G1 X1 Y1\n"; // repetitive: above 60 bytes, below once compressed
        SetText(text);
        FWindow->SpeedButtonUploadToMachineClick();
        QVERIFY(WaitForTransfer());
        QCOMPARE(FPrompter.Messages, QStringList());
        QCOMPARE(Stored(RunIp("41.3")), ProgramUploadBytes(FWindow->EditorLines()));
        QByteArray random(400, Qt::Uninitialized);
        for (char& c : random)
            c = char('A' + QRandomGenerator::global()->bounded(26));
        SetText(QString::fromLatin1(random));
        FWindow->SpeedButtonUploadToMachineClick();
        QVERIFY(WaitForTransfer());
        QCOMPARE(FPrompter.Messages,
            QStringList { "Hata: Dosya sikistirilmis haliyle bile cihazin 60 bayt sinirina sigmiyor" });
    }

    void pinDeviceAndRefusal()
    {
        QVERIFY(Select(RunIp("41.4")));
        FPrompter.PinAnswers = { "1111", "1234" };
        SetText("G0\n");
        FWindow->SpeedButtonUploadToMachineClick();
        QVERIFY(WaitForTransfer());
        QCOMPARE(FPrompter.Messages, QStringList { QString::fromUtf8("Şifre yanlış.") });
        SetCachedPin(RunIp("41.4"), "1234");
        QCOMPARE(Stored(RunIp("41.4")), QByteArray("%\r\nG0\r\n%\r\n"));
        SetCachedPin(RunIp("41.4"), {});

        FPrompter.Messages.clear();
        QVERIFY(Select(RunIp("41.5")));
        FWindow->SpeedButtonUploadToMachineClick();
        QVERIFY(WaitForTransfer());
        QCOMPARE(FPrompter.Messages, QStringList { "Hata: ERR full" });
        QVERIFY(Widget<QToolButton>(*FWindow, "SpeedButtonUploadToMachine")->isEnabled());
    }

    // After the upload the stored program is read back: the same bytes give the
    // green line under the success text, whatever the device and content; other
    // bytes, or no answer, a warning box and no success display.
    void readBackAfterUpload_data()
    {
        QTest::addColumn<QString>("ip");
        QTest::addColumn<bool>("cmt");
        QTest::addColumn<int>("fromEnd"); // first difference counted from the end; 0: from the start; -1: equal
        QTest::addColumn<int>("position"); // from the start, when fromEnd is 0
        QTest::newRow("text, current device") << RunIp("41.1") << false << -1 << 0;
        QTest::newRow("text, legacy device") << RunIp("41.3") << false << -1 << 0;
        QTest::newRow("CMT file") << RunIp("41.1") << true << -1 << 0;
        QTest::newRow("sixth byte altered") << RunIp("41.13") << false << 0 << 6;
        QTest::newRow("CMT file, sixth byte altered") << RunIp("41.13") << true << 0 << 6;
        QTest::newRow("three bytes short") << RunIp("41.14") << false << 3 << 0;
    }
    void readBackAfterUpload()
    {
        QFETCH(QString, ip);
        QFETCH(bool, cmt);
        QFETCH(int, fromEnd);
        QFETCH(int, position);
        QVERIFY(Select(ip));
        QByteArray sent;
        if (cmt) {
            sent = FileBytes(Path("plain.cmt"));
            FWindow->ShowCmtFile(sent);
        } else {
            SetText("g0 x1\nm30\n");
        }
        FWindow->SpeedButtonUploadToMachineClick();
        QVERIFY(WaitForTransfer());
        if (!cmt)
            sent = ProgramUploadBytes(FWindow->EditorLines());
        QLabel* verify = Widget<QLabel>(*FWindow, "LabelTransferVerify");
        if (fromEnd < 0) {
            QCOMPARE(FPrompter.Messages, QStringList());
            QCOMPARE(FPrompter.Warnings, QStringList());
            QCOMPARE(
                Widget<QLabel>(*FWindow, "LabelTransferStatus")->text(), QString::fromUtf8("Başarı ile Tamamlandı."));
            QVERIFY(verify->isVisible());
            QCOMPARE(verify->text(),
                QString::fromUtf8("Doğrulandı: cihazdaki program gönderilenle aynı (CRC32 %1)")
                    .arg(QString::number(Crc32Of(sent), 16).rightJustified(8, '0').toUpper()));
            QVERIFY(CountDrawnPixels(verify, IsSuccessGreen) > 20);
            return;
        }
        const int first = fromEnd > 0 ? int(sent.size()) - fromEnd + 1 : position;
        QCOMPARE(FPrompter.Warnings,
            QStringList {
                QString::fromUtf8("Doğrulama başarısız: cihazdaki program gönderilenden farklı (ilk fark %1. baytta).")
                    .arg(first) });
        QCOMPARE(FPrompter.Messages, QStringList());
        QVERIFY(Widget<QFrame>(*FWindow, "PanelTransfer")->isHidden());
        QVERIFY(verify->isHidden());
    }

    // The program stored, its start-from index refused: the index warning's box
    // carries the read-back's verdict too, a warning box when the bytes differ.
    void readBackWithIndexWarning()
    {
        const QString warning = QString::fromUtf8("(UYARI: Start From index kaydedilemedi: ERR busy)");
        QVERIFY(Select(RunIp("41.16")));
        SetText("T1 M6\nG0 X1\n");
        FWindow->SpeedButtonUploadToMachineClick();
        QVERIFY(WaitForTransfer());
        const QByteArray sent = ProgramUploadBytes(FWindow->EditorLines());
        QCOMPARE(FPrompter.Messages,
            QStringList { QString::fromUtf8("Başarı ile Tamamlandı.\r\n") + warning
                + QString::fromUtf8("\r\nDoğrulandı: cihazdaki program gönderilenle aynı (CRC32 %1)")
                      .arg(QString::number(Crc32Of(sent), 16).rightJustified(8, '0').toUpper()) });
        QCOMPARE(FPrompter.Warnings, QStringList());

        FPrompter.Messages.clear();
        QVERIFY(Select(RunIp("41.17")));
        FWindow->SpeedButtonUploadToMachineClick();
        QVERIFY(WaitForTransfer());
        QCOMPARE(FPrompter.Messages, QStringList());
        QCOMPARE(FPrompter.Warnings,
            QStringList { QString::fromUtf8(
                              "Doğrulama başarısız: cihazdaki program gönderilenden farklı (ilk fark 2. baytta).\r\n")
                + warning });
        QVERIFY(Widget<QFrame>(*FWindow, "PanelTransfer")->isHidden());
    }

    // A device that never answers the read-back: the stage shows while it waits,
    // and its time-out ends as a warning, never as success.
    void readBackTimesOut()
    {
        const TTransferTimeouts saved = TransferTimeouts();
        TransferTimeouts().BaseMs = 1500;
        QVERIFY(Select(RunIp("41.15")));
        SetText("G0 X1\n");
        FWindow->SpeedButtonUploadToMachineClick();
        bool sawStage = false;
        const bool ended = QTest::qWaitFor(
            [&] {
                sawStage |= Widget<QLabel>(*FWindow, "LabelTransferStatus")->text() == QString::fromUtf8("Doğrulanıyor")
                    && Widget<QFrame>(*FWindow, "PanelTransfer")->isVisible();
                return !FWindow->TransferRunning();
            },
            10000);
        TransferTimeouts() = saved;
        QVERIFY(ended);
        QVERIFY(sawStage);
        QCOMPARE(FPrompter.Warnings.size(), 1);
        QVERIFY2(
            FPrompter.Warnings[0].startsWith(QString::fromUtf8("Doğrulanamadı: Dosya bilgisi alınamadı (hata kodu: ")),
            qPrintable(FPrompter.Warnings[0]));
        QCOMPARE(FPrompter.Messages, QStringList());
        QVERIFY(Widget<QFrame>(*FWindow, "PanelTransfer")->isHidden());
    }

    // "VerifyAfterUpload=0" in the settings file: no read-back, so the altering
    // device's upload ends as a plain success.
    void settingOffSkipsTheReadBack()
    {
        {
            QSettings settings = OpenSettingsFile();
            settings.setValue("MainForm/VerifyAfterUpload", 0);
        }
        QVERIFY(Select(RunIp("41.13")));
        SetText("G0 X2\n");
        FWindow->SpeedButtonUploadToMachineClick();
        QVERIFY(WaitForTransfer());
        {
            QSettings settings = OpenSettingsFile();
            settings.remove("MainForm/VerifyAfterUpload");
        }
        QCOMPARE(FPrompter.Warnings, QStringList());
        QCOMPARE(FPrompter.Messages, QStringList());
        QCOMPARE(Widget<QLabel>(*FWindow, "LabelTransferStatus")->text(), QString::fromUtf8("Başarı ile Tamamlandı."));
        QVERIFY(Widget<QLabel>(*FWindow, "LabelTransferVerify")->isHidden());
        QCOMPARE(Stored(RunIp("41.13")).size(), ProgramUploadBytes(FWindow->EditorLines()).size());
    }

    void largeUploadSwitchesToDeviceProgress()
    {
        QVERIFY(Select(RunIp("41.6")));
        QString text;
        QRandomGenerator generator(9);
        for (int i = 0; i < 120000; ++i)
            text += QString("X%1 Y%2\n").arg(generator.bounded(100000000)).arg(generator.bounded(100000000));
        SetText(text);
        FWindow->SpeedButtonUploadToMachineClick();
        QVERIFY(FWindow->TransferRunning());
        QVERIFY(!Widget<QToolButton>(*FWindow, "SpeedButtonFileNew")->isEnabled());
        bool sawMarquee = false, sawErase = false;
        QColor statusText;
        QVERIFY(QTest::qWaitFor(
            [&] {
                sawMarquee |= FWindow->TransferPanel()->Progress()
                    && FWindow->TransferPanel()->Progress()->UsesDeviceProgress();
                if (!sawErase
                    && Widget<QLabel>(*FWindow, "LabelTransferStatus")->text().startsWith("Flash siliniyor")) {
                    sawErase = true;
                    statusText = DarkestDrawnPixel(Widget<QLabel>(*FWindow, "LabelTransferStatus"));
                }
                return !FWindow->TransferRunning();
            },
            60000));
        QVERIFY(sawMarquee);
        QVERIFY(sawErase);
        // The status line is drawn in grey during the transfer: neither black nor pale.
        const bool grey = statusText.saturation() < 30 && statusText.lightness() >= 80 && statusText.lightness() <= 160;
        QVERIFY2(grey, qPrintable("status text drawn in " + statusText.name()));
        QCOMPARE(FPrompter.Messages, QStringList());
        QCOMPARE(Widget<QLabel>(*FWindow, "LabelTransferStatus")->text(), QString::fromUtf8("Başarı ile Tamamlandı."));
    }

    void downloadsByController()
    {
        QVERIFY(Select(RunIp("41.8")));
        FWindow->SpeedButtonDownloadFromMachineClick();
        QVERIFY(WaitForTransfer());
        QCOMPARE(FWindow->EditorLines(), QStringList({ "N1 G0 X0", "%", "_N_PART_MPF" }));
        QCOMPARE(Widget<QLabel>(*FWindow, "LabelTransferTitle")->text(), QString::fromUtf8("Cihazdan alındı"));
        QVERIFY(Select(RunIp("41.7")));
        FWindow->SpeedButtonDownloadFromMachineClick();
        QVERIFY(WaitForTransfer());
        QCOMPARE(FWindow->EditorLines(), QStringList({ "N1G0X0", "%_N_PART_MPF" }));
        QCOMPARE(FWindow->CurrentFileName(), QString());
    }

    void rawCaptureIsShownAndSavedAsBytes()
    {
        QVERIFY(Select(RunIp("41.9")));
        FWindow->SpeedButtonDownloadFromMachineClick();
        QVERIFY(WaitForTransfer());
        QCOMPARE(FPrompter.Messages,
            QStringList { QString::fromUtf8(
                "Ham (RAW) kayıt alındı: 6 bayt. HEX olarak gösteriliyor, Kaydet .bin (binary) olarak yazar.") });
        QVERIFY(Widget<QsciScintilla>(*FWindow, "SynEditProgram")->isReadOnly());
        QVERIFY(FWindow->EditorText().startsWith("00000000  01 02 41 42 43 FF"));
        FPrompter.Messages.clear();
        FWindow->SpeedButtonUploadToMachineClick();
        QCOMPARE(FPrompter.Messages,
            QStringList { QString::fromUtf8(
                "Editörde ham (RAW) kaydın HEX dökümü var - G-kod olmadığı için cihaza gönderilemez.") });
        FPrompter.SaveFiles = { Path("saved.bin") };
        FWindow->SpeedButtonFileSaveClick(); // the file name was cleared: Save asks where
        QCOMPARE(FPrompter.SaveProposals.last(),
            QString::fromUtf8("debug_capture.bin|bin|Binary (*.bin)|*.bin|Tüm dosyalar (*.*)|*.*"));
        QCOMPARE(FileBytes(Path("saved.bin")),
            QByteArray("\x01\x02"
                       "ABC\xFF",
                6));
    }

    void cmtDownloadAndSingleProgram()
    {
        QVERIFY(Select(RunIp("41.10")));
        FWindow->SpeedButtonDownloadFromMachineClick();
        QVERIFY(WaitForTransfer());
        auto* list = Widget<QListView>(*FWindow, "ListBoxToolChanges");
        QVERIFY(Widget<QWidget>(*FWindow, "PanelToolChanges")->isVisible());
        QCOMPARE(Widget<QLabel>(*FWindow, "LabelToolChanges")->text(), QString("Mazatrol CMT Bilgisi"));
        const auto row = [list](int r) { return list->model()->index(r, 0); };
        QCOMPARE(list->model()->rowCount(), 5);
        QCOMPARE(row(0).data().toString(), QString("Kontrol: TFU (3117)"));
        QCOMPARE(row(4).data().toString(), QString("0007  PART-A  (1 blok)"));
        list->setCurrentIndex(row(0));
        FWindow->SaveSelectedCmtProgram(); // an information row does nothing
        list->setCurrentIndex(row(4));
        FPrompter.SaveFiles = { Path("single.cmt") };
        FWindow->SaveSelectedCmtProgram();
        QVERIFY(FPrompter.SaveProposals.last().startsWith("mazatrol_0007.cmt|cmt|"));
        TCmtInfo info;
        QVERIFY(ParseCmt(FileBytes(Path("single.cmt")), info));
        QCOMPARE(info.Programs.size(), 1);
        QCOMPARE(info.Programs[0].Description, QString("PART-A"));
        // A new document leaves the view: the panel is hidden and restored.
        FPrompter.Confirmations = { true };
        FWindow->SpeedButtonFileNewClick();
        QVERIFY(Widget<QWidget>(*FWindow, "PanelToolChanges")->isHidden());
        QCOMPARE(Widget<QLabel>(*FWindow, "LabelToolChanges")->text(), QString::fromUtf8("Takım Listesi ve Konumları"));
        QCOMPARE(list->model()->rowCount(), 0);
    }

    void failedDownloadKeepsTheDocument()
    {
        FPrompter.Confirmations = { true };
        FPrompter.OpenFiles = { QUILLEX_FIXTURES "/text/utf8-crlf.nc" };
        FWindow->SpeedButtonFileOpenClick();
        const QString text = FWindow->EditorText();
        QVERIFY(Select(RunIp("41.11")));
        FWindow->SpeedButtonDownloadFromMachineClick();
        QVERIFY(WaitForTransfer());
        QCOMPARE(FPrompter.Messages, QStringList { QString::fromUtf8("Hata: QUILLEX'de kayıtlı dosya yok") });
        QCOMPARE(FWindow->EditorText(), text);
        QCOMPARE(FWindow->CurrentFileName(), QString(QUILLEX_FIXTURES "/text/utf8-crlf.nc"));
    }

    void openSaveRoundTrips()
    {
        FWindow->DeviceList()->SelectRow(-1);
        const QDir fixtures(QUILLEX_FIXTURES "/text");
        for (const QString& name : fixtures.entryList(QDir::Files)) {
            FPrompter.Confirmations = { true };
            FPrompter.OpenFiles = { fixtures.filePath(name) };
            FWindow->SpeedButtonFileOpenClick();
            FPrompter.SaveFiles = { Path("copy-" + name) };
            FWindow->SpeedButtonFileSaveAsClick();
            const QByteArray original = FileBytes(fixtures.filePath(name));
            if (name == "ansi-lf-no-trailing.nc") // opening inserted word spaces: N10G0X5 became N10 G0 X5
                QCOMPARE(FileBytes(Path("copy-" + name)), QByteArray(original).replace("N10G0X5", "N10 G0 X5"));
            else
                QVERIFY2(FileBytes(Path("copy-" + name)) == original, qPrintable(name));
        }
        // Save writes to the current file without asking.
        const int asked = int(FPrompter.SaveProposals.size());
        FWindow->SpeedButtonFileSaveClick();
        QCOMPARE(FPrompter.SaveProposals.size(), asked);
    }

    void newAsksBeforeLosingContent()
    {
        SetText("G0 X1\n");
        FPrompter.Confirmations = { false };
        FWindow->SpeedButtonFileNewClick();
        QCOMPARE(FWindow->EditorText(), QString("G0 X1"));
        QCOMPARE(FPrompter.Questions,
            QStringList { QString::fromUtf8("Mevcut program içeriği kaybolacak, devam etmek istiyor musunuz?") });
        FPrompter.Confirmations = { true };
        FWindow->SpeedButtonFileNewClick();
        QCOMPARE(FWindow->EditorText(), QString());
        // Save of an empty editor does nothing: no save dialog, no file.
        const qsizetype asked = FPrompter.SaveProposals.size();
        FWindow->SpeedButtonFileSaveClick();
        QCOMPARE(FPrompter.SaveProposals.size(), asked);
        QCOMPARE(FWindow->CurrentFileName(), QString());
    }

    void shortcuts()
    {
        QsciScintilla* editor = Widget<QsciScintilla>(*FWindow, "SynEditProgram");
        SetText("G0 X1\n");
        FWindow->SetTransferControlsEnabled(false); // as during a transfer
        QTest::keyClick(editor, Qt::Key_N, Qt::ControlModifier);
        QCOMPARE(FWindow->EditorText(), QString("G0 X1")); // swallowed, nothing asked
        QVERIFY(FPrompter.Questions.isEmpty());
        const qsizetype proposals = FPrompter.SaveProposals.size();
        QTest::keyClick(editor, Qt::Key_S, Qt::ControlModifier | Qt::AltModifier);
        QCOMPARE(FPrompter.SaveProposals.size(), proposals + 1);
        FWindow->SetTransferControlsEnabled(true);
        FPrompter.Confirmations = { true };
        QTest::keyClick(editor, Qt::Key_N, Qt::ControlModifier);
        QCOMPARE(FWindow->EditorText(), QString());
        // Ctrl+Alt+N is not the window's: it goes on to the editor.
        QVERIFY(!FWindow->FormShortCut(Qt::Key_N, Qt::ControlModifier | Qt::AltModifier));
    }

    void successDisplayEndsAfterFourSeconds()
    {
        FWindow->ShowTransferSuccess("A");
        QTest::qWait(2000);
        FWindow->ShowTransferSuccess("B"); // extends the display
        QTest::qWait(2500);
        QVERIFY(Widget<QFrame>(*FWindow, "PanelTransfer")->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(Widget<QFrame>(*FWindow, "PanelTransfer")->isHidden(), 3000);
        // A new transfer while the display is on: the panel stays for it, colour restored.
        FWindow->ShowTransferSuccess("C");
        FWindow->SetTransferControlsEnabled(false);
        QVERIFY(Widget<QFrame>(*FWindow, "PanelTransfer")->isVisible());
        QVERIFY(CountDrawnPixels(Widget<QLabel>(*FWindow, "LabelTransferStatus"), IsSuccessGreen) == 0);
        FWindow->SetTransferControlsEnabled(true);
    }

    void closingDuringATransferCallsNothing()
    {
        TMainFormOptions options;
        options.StatusPort = FreeUdpPort();
        auto window = std::make_unique<TFormMain>(FPrompter, options);
        QTRY_VERIFY(window->StatusListener());
        // A device that never answers the download: the job outlives the window.
        window->StatusListener()->AcceptDatagram(RunIp("41.12"), QByteArray());
        std::unique_ptr<TFormMain> gone = std::move(window);
        gone.reset();
        QTest::qWait(100);
    }
};

QTEST_MAIN(TestMainFormTransfer)
#include "tst_mainformtransfer.moc"
