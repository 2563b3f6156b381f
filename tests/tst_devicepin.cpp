// Transfer PINs: format, block, protected store, and the prompt loop against
// scripted peers on the run's own loopback addresses.
#include "Loopback.h"
#include "ScriptedPeer.h"

#include "device/DevicePin.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <atomic>

#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr quint16 Port = 5000;

// Answers one PIN check: OK for the right PIN, "ERR pin" otherwise.
TScriptedPeer::TScript PinCheck(QByteArray rightPin)
{
    return [rightPin](TPeerConnection& c) {
        c.ReadLine();
        const QByteArray pinLine = c.ReadLine();
        c.Send(pinLine == "PIN&" + rightPin ? "OK\nOK\n" : "OK\nERR pin\n");
    };
}

class TScriptedPrompter : public TPinPrompter {
public:
    QStringList Answers; // "<cancel>" cancels
    QStringList Messages;
    QStringList Labels;
    bool AskPin(const QString& caption, const QString& label, QString& pin) override
    {
        Labels << caption + "|" + label;
        if (Answers.isEmpty() || Answers.first() == "<cancel>")
            return false;
        pin = Answers.takeFirst();
        return true;
    }
    void ShowMessage(const QString& text) override { Messages << text; }
};

QByteArray KeyA()
{
    return QByteArray(32, 'A');
}
QByteArray KeyB()
{
    return QByteArray(32, 'B');
}

} // namespace

class TestDevicePin : public QObject {
    Q_OBJECT
    QTemporaryDir FDir;

private slots:
    void init()
    {
        SetPinMasterKeyProvider(KeyA);
        SetPinStoreFileName(FDir.filePath("quillex_settings.ini"));
        QFile::remove(PinStoreFileName());
    }

    void validPin_data()
    {
        QTest::addColumn<QString>("pin");
        QTest::addColumn<bool>("valid");
        QTest::newRow("4 digits") << "1234" << true;
        QTest::newRow("8 digits") << "12345678" << true;
        QTest::newRow("3 digits") << "123" << false;
        QTest::newRow("9 digits") << "123456789" << false;
        QTest::newRow("blank inside") << "12 34" << false;
        QTest::newRow("letter") << "12a4" << false;
        QTest::newRow("Arabic-Indic digits") << QString("\u0661\u0662\u0663\u0664") << false;
        QTest::newRow("empty") << "" << false;
    }
    void validPin()
    {
        QFETCH(QString, pin);
        QFETCH(bool, valid);
        QCOMPARE(IsValidPin(pin), valid);
    }

    void pinBlock()
    {
        QCOMPARE(MakePinBlock("1234"), QByteArray("1234\0\0\0\0", 8));
        QCOMPARE(MakePinBlock("12345678"), QByteArray("12345678"));
        QCOMPARE(MakePinBlock("1234567890"), QByteArray("12345678"));
    }

    void cache()
    {
        SetCachedPin("10.0.0.1", "1234");
        QCOMPARE(GetCachedPin("10.0.0.1"), QString("1234"));
        QCOMPARE(GetCachedPin("10.0.0.2"), QString());
        SetCachedPin("10.0.0.1", {});
        QCOMPARE(GetCachedPin("10.0.0.1"), QString());
    }

    void storeKeepsPinsProtected()
    {
        const QString mac = "AA:BB:CC:DD:EE:FF";
        SavePinToStore(mac, "24680135");
        QFile file(PinStoreFileName());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray ini = file.readAll();
        QVERIFY(ini.contains("[DevicePins]"));
        QVERIFY(!ini.contains("24680135"));
        QCOMPARE(LoadPinFromStore(mac), QString("24680135"));
        // The value alone, as written, decodes to the PIN: Base64 round-trips.
        const QString value = QSettings(PinStoreFileName(), QSettings::IniFormat).value("DevicePins/" + mac).toString();
        QCOMPARE(UnprotectPin(value), QString("24680135"));
        QCOMPARE(QByteArray::fromBase64(value.toLatin1()).size(), 12 + 8 + 16);

        // Another user's store (another master key) yields no PIN.
        SetPinMasterKeyProvider(KeyB);
        QCOMPARE(LoadPinFromStore(mac), QString());
        SetPinMasterKeyProvider(KeyA);

        SavePinToStore(mac, {});
        QCOMPARE(LoadPinFromStore(mac), QString());
    }

    void handWrittenPlainPin()
    {
        QFile file(PinStoreFileName());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[MainForm]\nLeft=10\n\n[DevicePins]\nAA:BB:CC:DD:EE:FF=1234\n192.168.1.20=abc\n");
        file.close();
        QCOMPARE(LoadPinFromStore("AA:BB:CC:DD:EE:FF"), QString("1234"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray rewritten = file.readAll();
        file.close();
        QVERIFY(!rewritten.contains("1234"));
        QVERIFY(rewritten.contains("Left=10"));
        QCOMPARE(LoadPinFromStore("AA:BB:CC:DD:EE:FF"), QString("1234")); // now from the protected value
        QCOMPARE(LoadPinFromStore("192.168.1.20"), QString()); // not a PIN and not protected
    }

    void inactiveStore()
    {
        SetPinStoreFileName({});
        SavePinToStore("key", "1234");
        QCOMPARE(LoadPinFromStore("key"), QString());
        QVERIFY(!QFile::exists(FDir.filePath("quillex_settings.ini")));
    }

    void protectionFailureCountsAsAbsent()
    {
        SetPinMasterKeyProvider([] { return QByteArray(); });
        QCOMPARE(ProtectPin("1234"), QString());
        SavePinToStore("k", "1234");
        QCOMPARE(QSettings(PinStoreFileName(), QSettings::IniFormat).value("DevicePins/k").toString(), QString());
        QCOMPARE(UnprotectPin("AAAA"), QString());
    }

    void noPinRequired()
    {
        SetCachedPin(RunIp("11.1"), "1234");
        TScriptedPrompter prompter;
        QVERIFY(EnsureDevicePin(RunIp("11.1"), Port, "k1", "Torna", false, prompter));
        QCOMPARE(GetCachedPin(RunIp("11.1")), QString());
        QVERIFY(prompter.Labels.isEmpty());
    }

    void promptLoop()
    {
        // Too short, too long, a blank inside, a wrong PIN, then the right one.
        TScriptedPeer peer(RunIp("11.2"), Port, { PinCheck("4321"), PinCheck("4321") });
        TScriptedPrompter prompter;
        prompter.Answers = QStringList { "123", "123456789", "12 34", "1111", "4321" };
        QVERIFY(EnsureDevicePin(RunIp("11.2"), Port, "MAC-2", "Torna 2", true, prompter));
        QCOMPARE(prompter.Messages,
            QStringList(
                { QString::fromUtf8("Şifre 4-8 rakamdan oluşmalı."), QString::fromUtf8("Şifre 4-8 rakamdan oluşmalı."),
                    QString::fromUtf8("Şifre 4-8 rakamdan oluşmalı."), QString::fromUtf8("Şifre yanlış.") }));
        QCOMPARE(prompter.Labels.first(), QString::fromUtf8("Cihaz Şifresi|Torna 2 şifre istiyor (4-8 rakam):"));
        QCOMPARE(GetCachedPin(RunIp("11.2")), QString("4321"));
        QCOMPARE(LoadPinFromStore("MAC-2"), QString("4321"));
        SetCachedPin(RunIp("11.2"), {});
    }

    void cancelStopsQuietly()
    {
        TScriptedPeer peer(RunIp("11.3"), Port, {});
        TScriptedPrompter prompter;
        prompter.Answers = QStringList { "<cancel>" };
        QVERIFY(!EnsureDevicePin(RunIp("11.3"), Port, "MAC-3", "Torna 3", true, prompter));
        QVERIFY(prompter.Messages.isEmpty());
        QCOMPARE(peer.Connections(), 0);
    }

    void rememberedPinRejectedOpensPrompt()
    {
        SavePinToStore("MAC-4", "1111");
        TScriptedPeer peer(RunIp("11.4"), Port, { PinCheck("2222"), PinCheck("2222") });
        TScriptedPrompter prompter;
        prompter.Answers = QStringList { "2222" };
        QVERIFY(EnsureDevicePin(RunIp("11.4"), Port, "MAC-4", "Torna 4", true, prompter));
        QCOMPARE(prompter.Labels.size(), 1);
        QVERIFY(prompter.Messages.isEmpty());
        QCOMPARE(LoadPinFromStore("MAC-4"), QString("2222"));
        SetCachedPin(RunIp("11.4"), {});
    }

    void rememberedPinUnreachableShowsError()
    {
        SetCachedPin(RunIp("11.5"), "1234");
        TScriptedPrompter prompter;
        QVERIFY(!EnsureDevicePin(RunIp("11.5"), 5999, "MAC-5", "Torna 5", true, prompter));
        QCOMPARE(prompter.Messages,
            QStringList { QString("Hata: %1:5999 adresine bağlanılamadı (hata kodu: 111)").arg(RunIp("11.5")) });
        QVERIFY(prompter.Labels.isEmpty());
        SetCachedPin(RunIp("11.5"), {});
    }

    void storeKeyIsMacIdElseAddress_data()
    {
        QTest::addColumn<QString>("macId");
        QTest::addColumn<QString>("key");
        QTest::newRow("MacId") << "AA:00:00:00:00:06"
                               << "AA:00:00:00:00:06";
        QTest::newRow("no MacId") << ""
                                  << "127.0.11.6";
    }
    void storeKeyIsMacIdElseAddress()
    {
        QFETCH(QString, macId);
        QFETCH(QString, key);
        QCOMPARE(PinStoreKey(macId, "127.0.11.6"), key);
    }

    void newAddressSameMacId()
    {
        // Stored under the MacId at another address; found, verified, cached for the new one.
        SavePinToStore("AA:00:00:00:00:06", "5555");
        TScriptedPeer peer(RunIp("11.6"), Port, { PinCheck("5555") });
        TScriptedPrompter prompter;
        QVERIFY(EnsureDevicePin(RunIp("11.6"), Port, "AA:00:00:00:00:06", "Torna 6", true, prompter));
        QVERIFY(prompter.Labels.isEmpty());
        QCOMPARE(GetCachedPin(RunIp("11.6")), QString("5555"));
        SetCachedPin(RunIp("11.6"), {});
    }

    void deviceFailureDuringPromptEndsIt()
    {
        TScriptedPeer peer(RunIp("11.7"), Port, { [](TPeerConnection& c) {
            c.ReadLine();
            c.ReadLine();
            c.Send("OK\nERR busy\n");
        } });
        TScriptedPrompter prompter;
        prompter.Answers = QStringList { "1234", "1234" };
        QVERIFY(!EnsureDevicePin(RunIp("11.7"), Port, "MAC-7", "Torna 7", true, prompter));
        QCOMPARE(prompter.Messages, QStringList { "Hata: busy" });
        QCOMPARE(prompter.Labels.size(), 1);
    }

    void storedPinStaysWithItsAddress()
    {
        // Another sender announcing the device's MacId gets no PIN on its own.
        const QString real = RunIp("11.8"), forged = RunIp("11.9");
        SavePinToStore("MAC-8", "4321", real);
        {
            TScriptedPeer impostor(forged, Port, {});
            TScriptedPrompter prompter;
            QVERIFY(!EnsureDevicePin(forged, Port, "MAC-8", "Torna 8", true, prompter));
            QCOMPARE(prompter.Labels.size(), 1);
            QCOMPARE(impostor.Connections(), 0);
        }
        // The operator's correct answer there moves the address.
        {
            TScriptedPeer moved(forged, Port, { PinCheck("4321") });
            TScriptedPrompter prompter;
            prompter.Answers = QStringList { "4321" };
            QVERIFY(EnsureDevicePin(forged, Port, "MAC-8", "Torna 8", true, prompter));
            QCOMPARE(LoadPinAddress("MAC-8"), forged);
            SetCachedPin(forged, {});
        }
        TScriptedPeer old(real, Port, {});
        TScriptedPrompter prompter;
        QVERIFY(!EnsureDevicePin(real, Port, "MAC-8", "Torna 8", true, prompter));
        QCOMPARE(old.Connections(), 0);
        QCOMPARE(prompter.Labels.size(), 1);
    }

    void storedPinWithoutAddressRecordsIt()
    {
        // Written before addresses were kept, or by hand: used as before, and
        // the address that accepts it is kept from then on.
        QSettings(PinStoreFileName(), QSettings::IniFormat).setValue("DevicePins/MAC-9", "2468");
        const QString first = RunIp("11.10"), other = RunIp("11.11");
        {
            TScriptedPeer device(first, Port, { PinCheck("2468") });
            TScriptedPrompter prompter;
            QVERIFY(EnsureDevicePin(first, Port, "MAC-9", "Torna 9", true, prompter));
            QVERIFY(prompter.Labels.isEmpty());
            QCOMPARE(LoadPinAddress("MAC-9"), first);
            SetCachedPin(first, {});
        }
        TScriptedPeer impostor(other, Port, {});
        TScriptedPrompter prompter;
        QVERIFY(!EnsureDevicePin(other, Port, "MAC-9", "Torna 9", true, prompter));
        QCOMPARE(impostor.Connections(), 0);
    }

    void sharedIdentityGetsNoRememberedPin()
    {
        // Two senders announce one MacId at once: neither gets a PIN on its own,
        // not even the recorded address.
        const QString real = RunIp("11.12");
        SavePinToStore("MAC-10", "1357", real);
        SetCachedPin(real, "1357");
        TScriptedPeer device(real, Port, {});
        TScriptedPrompter prompter;
        QVERIFY(!EnsureDevicePin(real, Port, "MAC-10", "Torna 10", true, prompter, true));
        QCOMPARE(device.Connections(), 0);
        QCOMPARE(prompter.Labels.size(), 1);
        SetCachedPin(real, {});
    }

    void settingsFileBecomesPrivate()
    {
        QSettings(PinStoreFileName(), QSettings::IniFormat).setValue("MainForm/Width", 800);
        QVERIFY(QFile::setPermissions(
            PinStoreFileName(), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther));
        SavePinToStore("MAC-11", "8642", RunIp("11.13"));
        QCOMPARE(QFile::permissions(PinStoreFileName())
                & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther),
            QFile::Permissions());
        // Later writes of other settings keep it so.
        QSettings(PinStoreFileName(), QSettings::IniFormat).setValue("MainForm/Width", 900);
        QCOMPARE(QFile::permissions(PinStoreFileName()) & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
    }

    void refusedKeyFiles_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("readable by the group")
            << "group" << QString::fromUtf8("grup veya diğer kullanıcılar erişebiliyor");
        QTest::newRow("symbolic link") << "link" << QString::fromUtf8("sembolik bağlantı");
        QTest::newRow("wrong length") << "short" << QString::fromUtf8("bozuk, 31 bayt (32 bayt olmalı)");
        QTest::newRow("FIFO") << "fifo" << QString::fromUtf8("normal bir dosya değil");
        if (::geteuid() == 0) // only root can give a file away
            QTest::newRow("another owner") << "owner" << QString::fromUtf8("başka bir kullanıcıya ait");
    }
    void refusedKeyFiles()
    {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        QTemporaryDir config;
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
        qputenv("QUILLEX_NO_KEYCHAIN", "1");
        QVERIFY(QDir().mkpath(config.filePath("quillex")));
        const QString path = config.filePath("quillex/pin-master.key");
        const QByteArray native = QFile::encodeName(path);
        const auto writeKey = [](const QString& file, int size, QFile::Permissions permissions) {
            QFile f(file);
            return f.open(QIODevice::WriteOnly) && f.write(QByteArray(size, 'k')) == size
                && f.setPermissions(permissions);
        };
        const QFile::Permissions own = QFile::ReadOwner | QFile::WriteOwner;
        if (kind == "group")
            QVERIFY(writeKey(path, 32, own | QFile::ReadGroup));
        else if (kind == "link") {
            QVERIFY(writeKey(config.filePath("elsewhere.key"), 32, own));
            QVERIFY(QFile::link(config.filePath("elsewhere.key"), path));
        } else if (kind == "short")
            QVERIFY(writeKey(path, 31, own));
        else if (kind == "fifo")
            QCOMPARE(::mkfifo(native.constData(), 0600), 0);
        else if (kind == "owner") {
            QVERIFY(writeKey(path, 32, own));
            QCOMPARE(::chown(native.constData(), 12345, 12345), 0);
        }
        SetPinMasterKeyProvider({});
        QElapsedTimer clock;
        clock.start();
        QVERIFY(DefaultPinMasterKey().isEmpty());
        QVERIFY(clock.elapsed() < 1000); // a FIFO does not block
        QCOMPARE(PinStoreError(), QString::fromUtf8("Şifre anahtar dosyası kullanılmadı (%1): %2").arg(path, reason));
        // Nothing is sealed or opened through it.
        SavePinToStore("MAC-12", "9753", RunIp("11.14"));
        QVERIFY(QSettings(PinStoreFileName(), QSettings::IniFormat).value("DevicePins/MAC-12").isNull());
        SetPinMasterKeyProvider(KeyA);
        SavePinToStore("MAC-12", "9753", RunIp("11.14"));
        SetPinMasterKeyProvider({});
        QVERIFY(LoadPinFromStore("MAC-12").isEmpty());
        // The refusal reaches the operator when a PIN is to be kept.
        TScriptedPeer device(RunIp("11.14"), Port, { PinCheck("9753") });
        TScriptedPrompter prompter;
        prompter.Answers = QStringList { "9753" };
        QVERIFY(EnsureDevicePin(RunIp("11.14"), Port, "MAC-12", "Torna 12", true, prompter));
        QCOMPARE(prompter.Messages, QStringList { PinStoreError() });
        SetCachedPin(RunIp("11.14"), {});
    }

    // The Secret Service's wait runs an event loop; a PIN check that a timer
    // starts meanwhile on the window's thread finds the store free, and the
    // slow fetch itself runs off that thread.
    void slowKeyFetchLetsAnotherCheckThrough()
    {
        std::atomic<int> fetches { 0 };
        std::atomic<bool> fetchedOnMainThread { false };
        SetPinMasterKeyProvider([&] {
            fetchedOnMainThread = fetchedOnMainThread || QThread::currentThread() == qApp->thread();
            if (fetches++ == 0) { // the first answer takes its time, its loop running
                QEventLoop wait;
                QTimer::singleShot(300, &wait, &QEventLoop::quit);
                wait.exec();
            }
            return KeyA();
        });
        QString nested;
        QTimer::singleShot(50, qApp, [&] { nested = UnprotectPin(ProtectPin("5678")); });
        const QString sealed = ProtectPin("1234");
        QTRY_COMPARE(nested, QString("5678"));
        QCOMPARE(UnprotectPin(sealed), QString("1234"));
        QVERIFY(fetches >= 3);
        QVERIFY(!fetchedOnMainThread);
        SetPinMasterKeyProvider(KeyA); // the provider above refers to this function's variables
    }

    void fileMasterKeyIsPrivate()
    {
        QTemporaryDir config;
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
        qputenv("QUILLEX_NO_KEYCHAIN", "1");
        const QByteArray first = DefaultPinMasterKey();
        QCOMPARE(first.size(), 32);
        QCOMPARE(DefaultPinMasterKey(), first);
        const QFile::Permissions permissions = QFile(config.filePath("quillex/pin-master.key")).permissions();
        QCOMPARE(permissions & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther),
            QFile::Permissions());
    }
};

QTEST_GUILESS_MAIN(TestDevicePin)
#include "tst_devicepin.moc"
