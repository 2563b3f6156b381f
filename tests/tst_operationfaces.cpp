// The window and quillex-cli ask the same operations: for the same device
// behaviour (quillex-devsim's fault switches) both end with the same outcome,
// show the operator the same text and write the same history record. Each
// face talks to a simulator of its own, whose devices are configured alike.
#include "CliProcess.h"
#include "Loopback.h"
#include "ScriptedPrompter.h"
#include "StatusDatagram.h"
#include "tests/support/FormWidget.h"

#include "app/unitmainform.h"
#include "config/Settings.h"
#include "discovery/DeviceListModel.h"
#include "history/HistoryStore.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

#include "TestUtil.h"

namespace {

const QByteArray Program = "G0 X1\nT1 M6\nG1 X2 Y3\nM30\n";

// One device behaviour of the table: the simulator's switches for it, or
// none at all for a device that announces itself but takes no connection.
struct TBehaviour {
    const char* Name;
    const char* Spec; // quillex-devsim's device options after the address; nullptr: unreachable
};

const TBehaviour Behaviours[] = {
    { "plain", "" },
    { "full", "refuse=full" },
    { "pin", "refuse=pin" },
    { "altered", "alter=5" },
    { "cut", "cut=3" },
    { "mute", "downloadfault=close" },
    { "stored", "program=%1" },
    { "empty", "" },
    { "gone", nullptr },
};

// The address of a behaviour's device for the window (side 1) or the command line (side 2).
QString DeviceIp(const QString& behaviour, int side)
{
    for (int i = 0; i < int(std::size(Behaviours)); ++i)
        if (behaviour == Behaviours[i].Name) {
            if (!Behaviours[i].Spec)
                return RunIp(QString("53.%1").arg(i + 1).toLatin1()); // the same address for both: nobody there
            return RunIp(QString("5%1.%2").arg(side).arg(i + 1).toLatin1());
        }
    return QString();
}

} // namespace

class TestOperationFaces : public QObject {
    Q_OBJECT
    QTemporaryDir FDir;
    quint16 FWindowPort = 0;
    quint16 FCliPort = 0;
    QProcess FWindowSim;
    QProcess FCliSim;
    TScriptedPrompter FPrompter;
    std::unique_ptr<TFormMain> FWindow;
    std::unique_ptr<TCli> FCli;
    QUdpSocket FGoneSocket;
    QTimer FGoneTimer;

    QString Path(const QString& name) const { return FDir.filePath(name); }

    bool StartSimulator(QProcess& sim, quint16 port, int side)
    {
        QStringList args { "--target", QString("127.0.0.1:%1").arg(port) };
        for (const TBehaviour& b : Behaviours) {
            if (!b.Spec)
                continue;
            QString spec = QString("ip=%1,name=%2,interval=200").arg(DeviceIp(b.Name, side), b.Name);
            const QString options = QString::fromLatin1(b.Spec);
            if (!options.isEmpty())
                spec += "," + (options.contains("%1") ? options.arg(Path("stored.nc")) : options);
            args << "--device" << spec;
        }
        sim.start(QUILLEX_DEVSIM, args);
        return sim.waitForReadyRead(5000);
    }

    // The unreachable device's status, to both faces, as a device repeats it.
    void AnnounceGone()
    {
        const QString ip = DeviceIp("gone", 1);
        const QByteArray json = QJsonDocument(
            QJsonObject { { "macid", "0A0B0C0D0E0F" }, { "name", "gone" }, { "pw", false }, { "controller", "FANUC" },
                { "ip", ip }, { "hw", "HW4" }, { "build", 500 },
                { "maxfilesize",
                    1000000 } }).toJson(QJsonDocument::Compact);
        for (const quint16 port : { FWindowPort, FCliPort })
            FGoneSocket.writeDatagram(StatusDatagram(json), QHostAddress::LocalHost, port);
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

    // The newest record of the device in a history file.
    static std::optional<TTransferRecord> LastRecord(const QString& path, const QString& ip)
    {
        THistoryStore store;
        QString error;
        QList<TTransferRecord> records;
        THistoryFilter filter;
        filter.Device = ip;
        filter.Limit = 1;
        if (!store.Open(path, error) || !store.List(filter, records, error) || records.isEmpty())
            return std::nullopt;
        return records.first();
    }

    // The command line run while this thread's event loop goes on (the
    // unreachable device keeps announcing itself meanwhile).
    TRun RunCli(const QStringList& args)
    {
        QProcess process;
        FCli->Start(process, args);
        TRun run;
        if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 60000)) {
            process.kill();
            process.waitForFinished();
            return run;
        }
        run.ExitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        run.Out = process.readAllStandardOutput();
        run.Err = QString::fromUtf8(process.readAllStandardError());
        return run;
    }

private slots:
    void initTestCase()
    {
        qputenv("QUILLEX_SETTINGS", Path("quillex_settings.ini").toLocal8Bit());
        qputenv("QUILLEX_NO_KEYCHAIN", "1");
        qputenv("XDG_CONFIG_HOME", FDir.path().toLocal8Bit());
        QString error;
        QVERIFY(WriteWholeFile(Path("program.nc"), Program, error));
        QVERIFY(WriteWholeFile(Path("stored.nc"), "%\r\nO1000\r\nG0 X5\r\nM30\r\n%\r\n", error));
        {
            QSettings settings = OpenSettingsFile();
            settings.setValue("MainForm/VerifyAfterUpload", 1);
        }
        FWindowPort = FreeUdpPort();
        do
            FCliPort = FreeUdpPort();
        while (FCliPort == FWindowPort);
        QVERIFY(StartSimulator(FWindowSim, FWindowPort, 1));
        QVERIFY(StartSimulator(FCliSim, FCliPort, 2));
        QVERIFY(FGoneSocket.bind(QHostAddress(DeviceIp("gone", 1)), 0));
        connect(&FGoneTimer, &QTimer::timeout, this, [this] { AnnounceGone(); });
        FGoneTimer.start(200);

        TMainFormOptions options;
        options.StatusPort = FWindowPort;
        options.HistoryPath = Path("window-history.sqlite");
        FWindow = std::make_unique<TFormMain>(FPrompter, options);
        FWindow->show();
        QTRY_VERIFY(FWindow->StatusListener() && FWindow->StatusListener()->IsListening());
        FCli = std::make_unique<TCli>(FCliPort);
    }

    void cleanupTestCase()
    {
        FGoneTimer.stop();
        FWindow.reset();
        for (QProcess* sim : { &FWindowSim, &FCliSim }) {
            sim->terminate();
            sim->waitForFinished(2000);
        }
    }

    void init()
    {
        FPrompter.Messages.clear();
        FPrompter.Warnings.clear();
        FWindow->ResetEditorContent();
    }

    void sameOutcomeOnBothFaces_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("behaviour");
        QTest::addColumn<QString>("code"); // the command line's JSON code
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("box"); // how the window shows it: green, message or warning
        QTest::addColumn<QString>("text"); // how the text the operator sees starts

        QTest::newRow("upload verified") << "upload"
                                         << "plain"
                                         << "ok" << 0 << "green" << QString::fromUtf8("Doğrulandı: ");
        QTest::newRow("upload refused") << "upload"
                                        << "full"
                                        << "device_error" << 1 << "message"
                                        << "Hata: ERR full";
        QTest::newRow("upload PIN refused")
            << "upload"
            << "pin"
            << "pin_refused" << 3 << "message" << QString::fromUtf8("Hata: Cihaz şifreyi kabul etmedi");
        QTest::newRow("upload unreachable") << "upload"
                                            << "gone"
                                            << "connect_failed" << 1 << "message"
                                            << "Hata: ";
        QTest::newRow("read-back altered")
            << "upload"
            << "altered"
            << "mismatch" << 1 << "warning" << QString::fromUtf8("Doğrulama başarısız: ");
        QTest::newRow("read-back cut short")
            << "upload"
            << "cut"
            << "mismatch" << 1 << "warning" << QString::fromUtf8("Doğrulama başarısız: ");
        QTest::newRow("read-back fails") << "upload"
                                         << "mute"
                                         << "verify_failed" << 1 << "warning" << QString::fromUtf8("Doğrulanamadı: ");
        QTest::newRow("download") << "download"
                                  << "stored"
                                  << "ok" << 0 << "green" << QString::fromUtf8("Başarı ile Tamamlandı.");
        QTest::newRow("download of nothing")
            << "download"
            << "empty"
            << "no_program" << 1 << "message" << QString::fromUtf8("Hata: QUILLEX'de kayıtlı dosya yok");
        QTest::newRow("download unreachable") << "download"
                                              << "gone"
                                              << "connect_failed" << 1 << "message"
                                              << "Hata: ";
    }

    void sameOutcomeOnBothFaces()
    {
        QFETCH(QString, operation);
        QFETCH(QString, behaviour);
        QFETCH(QString, code);
        QFETCH(int, exitCode);
        QFETCH(QString, box);
        QFETCH(QString, text);
        const bool upload = operation == "upload";
        const QString windowIp = DeviceIp(behaviour, 1);
        const QString cliIp = DeviceIp(behaviour, 2);

        // The window: its transfer commands, as the operator clicks them.
        QVERIFY(Select(windowIp));
        if (upload) {
            FWindow->SetEditorText(QString::fromLatin1(Program));
            FWindow->SpeedButtonUploadToMachineClick();
        } else {
            FWindow->SpeedButtonDownloadFromMachineClick();
        }
        QVERIFY(QTest::qWaitFor([&] { return !FWindow->TransferRunning(); }, 30000));
        QString windowShown;
        if (box == "green") {
            QVERIFY(FPrompter.Messages.isEmpty() && FPrompter.Warnings.isEmpty());
            QCOMPARE(
                Widget<QLabel>(*FWindow, "LabelTransferStatus")->text(), QString::fromUtf8("Başarı ile Tamamlandı."));
            windowShown = upload ? Widget<QLabel>(*FWindow, "LabelTransferVerify")->text()
                                 : Widget<QLabel>(*FWindow, "LabelTransferStatus")->text();
        } else {
            const QStringList& shown = box == "warning" ? FPrompter.Warnings : FPrompter.Messages;
            QCOMPARE(shown.size(), 1);
            QCOMPARE(box == "warning" ? FPrompter.Messages.size() : FPrompter.Warnings.size(), 0);
            windowShown = shown.first();
        }
        QVERIFY2(windowShown.startsWith(text), qPrintable(windowShown));

        // The command line, on a device that behaves alike.
        QStringList args { "--json", operation, cliIp };
        if (upload)
            args << Path("program.nc") << "--verify"
                 << "--progress"
                 << "none";
        else
            args << "-o" << Path(behaviour + "-download.nc");
        const TRun run = RunCli(args);
        QCOMPARE(run.ExitCode, exitCode);
        const QJsonObject json = QJsonDocument::fromJson(run.Out).object();
        QCOMPARE(json["code"].toString(), code);
        if (code == "ok") {
            if (upload) // the read-back's line under the window's green success
                QCOMPARE(json["verification"].toObject()["message"].toString(), windowShown);
        } else {
            // The command line prints on standard error what the window shows in its box.
            QCOMPARE(run.Err.trimmed(), windowShown);
        }

        // Both faces wrote the operation's record alike.
        FWindow->History()->Flush();
        const std::optional<TTransferRecord> windowRecord = LastRecord(Path("window-history.sqlite"), windowIp);
        const std::optional<TTransferRecord> cliRecord = LastRecord(FCli->HistoryFile(), cliIp);
        QVERIFY(windowRecord && cliRecord);
        QCOMPARE(windowRecord->Kind, upload ? TTransferKind::Upload : TTransferKind::Download);
        QCOMPARE(cliRecord->Kind, windowRecord->Kind);
        QCOMPARE(cliRecord->Success, windowRecord->Success);
        QCOMPARE(windowRecord->Success, code == "ok" || code == "mismatch" || code == "verify_failed");
        QCOMPARE(cliRecord->Verification, windowRecord->Verification);
        QCOMPARE(cliRecord->ByteCount, windowRecord->ByteCount);
        QCOMPARE(cliRecord->Sha256, windowRecord->Sha256);
        if (!windowRecord->Success)
            QCOMPARE(cliRecord->Message, windowRecord->Message);
    }
};

QTEST_MAIN(TestOperationFaces)
#include "tst_operationfaces.moc"
