// The self-update engine against an HTTPS server on 127.0.0.1 with a
// certificate authority made for the test: version numbers and markers, the
// CRC, the check and the download with each fault of the server, progress,
// verification of the server, the publisher's signature, the downloaded
// file's own version, folders and links of other users, the updater script
// and the clean-up.
#include "UpdateTestServer.h"

#include "update/UnitAutoUpdate.h"
#include "update/UpdateSignature.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QPointer>
#include <QSettings>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>
#include <sys/stat.h>

namespace {

using TServe = TUpdateTestServer::TServe;

const TVersionComponents OwnVersion { 1, 2, 3, 4 }; // 16909054
const TVersionComponents NewVersion { 1, 2, 3, 5 }; // 16909055

bool WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Runs a command; its standard error on failure.
QString Run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return program + " " + arguments.join(' ') + ": " + process.errorString() + " "
            + QString::fromLocal8Bit(process.readAllStandardError());
    return QString();
}

} // namespace

class TestAutoUpdate : public QObject {
    Q_OBJECT
    QTemporaryDir FPkiDir;
    std::unique_ptr<TTestPki> FPki;
    std::unique_ptr<TUpdateTestServer> FServer; // trusted, for 127.0.0.1
    std::unique_ptr<TUpdateTestServer> FWrongName; // trusted, for 127.0.0.2
    std::unique_ptr<TUpdateTestServer> FRogue; // for 127.0.0.1, by an unknown authority
    std::unique_ptr<QTemporaryDir> FProgramDir;
    QByteArray FNewProgram;
    QByteArray FPublicKey; // the publisher's, whose private key is FPki's "publisher.key"

    // The release script's signature of the bytes with the key.
    QByteArray Signature(const QByteArray& program, const QString& key)
    {
        const QString release = FPki->Path("release");
        const QString error
            = WriteFile(release, program) ? Run("/bin/sh", { SignScript, FPki->Path(key), release }) : "not written";
        return error.isEmpty() ? ReadFile(FPki->Path("quillex.sig")) : error.toUtf8();
    }
    static constexpr const char* SignScript = QUILLEX_SOURCE_DIR "/scripts/sign-release.sh";

    TUpdateSettings Settings(const QString& baseUrl = QString()) const
    {
        TUpdateSettings settings;
        settings.BaseUrl = baseUrl.isEmpty() ? FServer->BaseUrl() : baseUrl;
        settings.CaFile = FPki->Path("ca.pem");
        settings.ProgramFile = FProgramDir->filePath("quillex");
        settings.TimeoutMs = 1500;
        return settings;
    }
    QString UpdatePath() const { return FProgramDir->filePath(UpdateFileName); }

    // The server offers the new program, correctly described.
    void ServeNewProgram(TServe programMode = TServe::Normal)
    {
        FServer->Serve(UpdateVersionPath, QByteArray::number(VersionNumber(NewVersion)));
        FServer->Serve(UpdateCrcPath, TestCrcText(FNewProgram));
        FServer->Serve(UpdateProgramPath, FNewProgram, programMode);
    }

private slots:
    void initTestCase()
    {
        FPki = std::make_unique<TTestPki>(FPkiDir.path());
        QVERIFY2(FPki->MakeAuthority("ca"), qPrintable(FPki->Error()));
        QVERIFY2(FPki->MakeServer("server", "ca", "IP:127.0.0.1"), qPrintable(FPki->Error()));
        QVERIFY2(FPki->MakeServer("wrongname", "ca", "IP:127.0.0.2,DNS:other.invalid"), qPrintable(FPki->Error()));
        QVERIFY2(FPki->MakeAuthority("rogue"), qPrintable(FPki->Error()));
        QVERIFY2(FPki->MakeServer("rogueserver", "rogue", "IP:127.0.0.1"), qPrintable(FPki->Error()));
        FServer = std::make_unique<TUpdateTestServer>(FPki->Path("server.pem"), FPki->Path("server.key"));
        FWrongName = std::make_unique<TUpdateTestServer>(FPki->Path("wrongname.pem"), FPki->Path("wrongname.key"));
        FRogue = std::make_unique<TUpdateTestServer>(FPki->Path("rogueserver.pem"), FPki->Path("rogueserver.key"));
        QVERIFY(FServer->Listening() && FWrongName->Listening() && FRogue->Listening());
        for (const QString name : { "publisher", "other" }) {
            const QString made
                = Run("openssl", { "genpkey", "-algorithm", "ed25519", "-out", FPki->Path(name + ".key") });
            QVERIFY2(made.isEmpty(), qPrintable(made));
        }
        const QString exported = Run(
            "openssl", { "pkey", "-in", FPki->Path("publisher.key"), "-pubout", "-out", FPki->Path("publisher.pub") });
        QVERIFY2(exported.isEmpty(), qPrintable(exported));
        FPublicKey = UpdatePublicKeyFromPem(ReadFile(FPki->Path("publisher.pub")));
        QVERIFY(!FPublicKey.isEmpty());
    }

    void init()
    {
        FNewProgram = TestProgramBytes(NewVersion, "new");
        FProgramDir = std::make_unique<QTemporaryDir>();
        QVERIFY(WriteFile(FProgramDir->filePath("quillex"), TestProgramBytes(OwnVersion, "old")));
        QFile::setPermissions(FProgramDir->filePath("quillex"),
            QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup
                | QFile::ExeOther);
        ServeNewProgram();
    }

    // The update server: QUILLEX_UPDATE_URL, else the settings file, else the built-in one.
    void serverAddress()
    {
        const QByteArray environment = qgetenv("QUILLEX_UPDATE_URL");
        const QString settingsFile = FProgramDir->filePath("quillex_settings.ini");
        qputenv("QUILLEX_SETTINGS", settingsFile.toLocal8Bit());
        qunsetenv("QUILLEX_UPDATE_URL");
        const QString builtIn = DefaultUpdateSettings().BaseUrl;
        QVERIFY(builtIn.startsWith("https://"));
        {
            QSettings settings(settingsFile, QSettings::IniFormat);
            settings.setValue("Update/BaseUrl", "https://guncelleme.example:8443/q");
        }
        QCOMPARE(UpdateBaseUrlFromSettingsFile(), QString("https://guncelleme.example:8443/q"));
        QCOMPARE(DefaultUpdateSettings().BaseUrl, QString("https://guncelleme.example:8443/q"));
        qputenv("QUILLEX_UPDATE_URL", "https://127.0.0.9");
        QCOMPARE(DefaultUpdateSettings().BaseUrl, QString("https://127.0.0.9"));
        QCOMPARE(DefaultUpdateSettings().ProgramFile, QCoreApplication::applicationFilePath());
        QCOMPARE(DefaultUpdateSettings().ProcessId, QCoreApplication::applicationPid());
        qputenv("QUILLEX_UPDATE_URL", environment);
        qunsetenv("QUILLEX_SETTINGS");
    }

    void versionNumbers_data()
    {
        QTest::addColumn<TVersionComponents>("version");
        QTest::addColumn<qint32>("number");
        QTest::newRow("1.2.3.4") << TVersionComponents { 1, 2, 3, 4 } << 16909054;
        QTest::newRow("1.0.0.0") << TVersionComponents { 1, 0, 0, 0 } << 16777215;
        QTest::newRow("1.0.0.255") << TVersionComponents { 1, 0, 0, 255 } << 16777470;
        QTest::newRow("1.0.1.0") << TVersionComponents { 1, 0, 1, 0 } << 16777470;
        QTest::newRow("wraps") << TVersionComponents { 65535, 65535, 65535, 65535 } << -196862;
    }
    void versionNumbers()
    {
        QFETCH(TVersionComponents, version);
        QFETCH(qint32, number);
        QCOMPARE(VersionNumber(version), number);
        // Read back from the marker inside a file of other bytes.
        const QString path = FProgramDir->filePath("stamped");
        QVERIFY(WriteFile(path, QByteArray(70000, '\x7f') + VersionMarkerBytes(version) + QByteArray(9, '\0')));
        QCOMPARE(GetFileVersionNumber(path), number);
        QCOMPARE(GetFileVersionText(path),
            QString("%1.%2.%3.%4").arg(version.Major).arg(version.Minor).arg(version.Release).arg(version.Build));
    }

    void filesWithoutMarker()
    {
        const QString path = FProgramDir->filePath("plain");
        for (const QByteArray& bytes :
            { QByteArray(), QByteArray("#!/bin/sh\nexit 0\n"), VersionMarkerBytes(NewVersion).chopped(1) }) {
            QVERIFY(WriteFile(path, bytes));
            QCOMPARE(GetFileVersionNumber(path), 0);
            QCOMPARE(GetFileVersionText(path), QString());
        }
        QCOMPARE(GetFileVersionNumber(FProgramDir->filePath("missing")), 0);
    }

    // The test program carries the build's marker, read from its file.
    void ownVersion()
    {
        QCOMPARE(GetFileVersionText(QCoreApplication::applicationFilePath()), VersionText(BuiltVersion()));
        QCOMPARE(GetOwnVersionNumber(), VersionNumber(BuiltVersion()));
        QVERIFY(GetOwnVersionNumber() > 0);
    }

    void crc32OfFiles()
    {
        const QString path = FProgramDir->filePath("crc");
        QVERIFY(WriteFile(path, "123456789"));
        bool ok = false;
        QCOMPARE(FileCrc32(path, &ok), 0xCBF43926u); // the CRC-32 check value
        QVERIFY(ok);
        QByteArray big(3 * 65521 + 17, Qt::Uninitialized);
        for (qsizetype i = 0; i < big.size(); ++i)
            big[i] = char(i * 7 + i / 251);
        QVERIFY(WriteFile(path, big));
        QCOMPARE(QByteArray::number(FileCrc32(path), 16).rightJustified(8, '0').toUpper(), TestCrcText(big));
        QCOMPARE(FileCrc32(FProgramDir->filePath("missing"), &ok), 0u);
        QVERIFY(!ok);
    }

    void download_data()
    {
        QTest::addColumn<QByteArray>("versionBody");
        QTest::addColumn<QByteArray>("crcBody");
        QTest::addColumn<int>("programMode");
        QTest::addColumn<bool>("available");
        QTest::addColumn<QString>("message"); // empty: the download succeeds

        const QByteArray crc = TestCrcText(TestProgramBytes(NewVersion, "new"));
        const QByteArray newer = QByteArray::number(VersionNumber(NewVersion));
        const int normal = int(TServe::Normal);
        const QString unreachable = UpdateUnreachableText();
        QTest::newRow("newer") << newer << crc << normal << true << QString();
        QTest::newRow("newer between blanks") << " \t" + newer + " \r\n" << crc << normal << true << QString();
        QTest::newRow("same") << QByteArray("16909054") << crc << normal << false << UpdateCurrentText();
        QTest::newRow("older") << QByteArray("16777215\n") << crc << normal << false << UpdateCurrentText();
        QTest::newRow("not an integer") << QByteArray("abc") << crc << normal << false << unreachable;
        QTest::newRow("negative") << QByteArray("-5") << crc << normal << false << unreachable;
        QTest::newRow("empty version file") << QByteArray() << crc << normal << false << unreachable;
        QTest::newRow("wrong crc") << newer << QByteArray("DEADBEEF") << normal << true << UpdateCrcFailedText();
        QTest::newRow("lower-case crc") << newer << crc.toLower() << normal << true << QString();
        QTest::newRow("crc between blanks") << newer << "  " + crc + "\r\n" << normal << true << QString();
        QTest::newRow("empty crc") << newer << QByteArray(" \r\n") << normal << true << UpdateCrcFailedText();
        QTest::newRow("program without length") << newer << crc << int(TServe::NoLength) << true << QString();
        QTest::newRow("program stalls") << newer << crc << int(TServe::Stall) << true << unreachable;
        QTest::newRow("connection drops") << newer << crc << int(TServe::Drop) << true << unreachable;
    }
    void download()
    {
        QFETCH(QByteArray, versionBody);
        QFETCH(QByteArray, crcBody);
        QFETCH(int, programMode);
        QFETCH(bool, available);
        QFETCH(QString, message);
        FServer->Serve(UpdateVersionPath, versionBody);
        FServer->Serve(UpdateCrcPath, crcBody);
        FServer->Serve(UpdateProgramPath, FNewProgram, TServe(programMode));

        QCOMPARE(CheckForNewVersion(Settings()), available);
        const auto [ok, text] = DownloadUpdate(Settings(), {});
        QCOMPARE(text, message.isEmpty() ? VersionText(NewVersion) : message);
        QCOMPARE(ok, message.isEmpty());
        // Only a verified download stays, and the program itself is untouched.
        QCOMPARE(QFile::exists(UpdatePath()), ok);
        if (ok)
            QCOMPARE(ReadFile(UpdatePath()), FNewProgram);
        QCOMPARE(GetFileVersionNumber(FProgramDir->filePath("quillex")), VersionNumber(OwnVersion));
    }

    // A CRC whose first digit is 0, written without it, is no match.
    void crcWithoutLeadingZero()
    {
        QByteArray program = FNewProgram;
        while (!TestCrcText(program).startsWith('0'))
            program += ' ';
        FServer->Serve(UpdateProgramPath, program);
        FServer->Serve(UpdateCrcPath, TestCrcText(program).mid(1));
        QCOMPARE(DownloadUpdate(Settings(), {}), std::make_pair(false, UpdateCrcFailedText()));
        QVERIFY(!QFile::exists(UpdatePath()));
        FServer->Serve(UpdateCrcPath, TestCrcText(program));
        QCOMPARE(DownloadUpdate(Settings(), {}), std::make_pair(true, VersionText(NewVersion)));
    }

    // 600 MiB announced: refused when the length arrives, long before the
    // time-out and after a small part of the data.
    void oversizedProgramRefused()
    {
        ServeNewProgram(TServe::HugeLength);
        const qint64 sentBefore = FServer->BytesSent();
        TUpdateSettings settings = Settings();
        settings.TimeoutMs = 60000;
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(DownloadUpdate(settings, {}), std::make_pair(false, UpdateUnreachableText()));
        QVERIFY2(timer.elapsed() < 10000, qPrintable(QString::number(timer.elapsed())));
        QVERIFY(!QFile::exists(UpdatePath()));
        QTest::qWait(200);
        QVERIFY2(
            FServer->BytesSent() - sentBefore < 64 * 1024 * 1024, qPrintable(QString::number(FServer->BytesSent())));
    }

    // A stalled transfer ends after the time-out, not before and not much after.
    void stallEndsAfterTimeout()
    {
        ServeNewProgram(TServe::Stall);
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(DownloadUpdate(Settings(), {}), std::make_pair(false, UpdateUnreachableText()));
        QVERIFY2(timer.elapsed() >= 1400 && timer.elapsed() < 8000, qPrintable(QString::number(timer.elapsed())));
    }

    void progressSequence()
    {
        FNewProgram = FNewProgram.leftJustified(400, '#'); // four quarters of 100 bytes
        ServeNewProgram(TServe::Paced);
        QList<qint32> percents;
        QCOMPARE(DownloadUpdate(Settings(), [&](qint32 percent) { percents << percent; }),
            std::make_pair(true, VersionText(NewVersion)));
        // The CRC file reaches 100 first; the program file then counts again in quarters.
        QCOMPARE(percents, (QList<qint32> { 100, 25, 50, 75, 100 }));
    }

    void serverNotTrusted_data()
    {
        QTest::addColumn<QString>("which");
        QTest::newRow("unknown authority") << "rogue";
        QTest::newRow("another host's certificate") << "wrongname";
        QTest::newRow("authority file unreadable") << "nofile";
    }
    void serverNotTrusted()
    {
        QFETCH(QString, which);
        TUpdateSettings settings = Settings(which == "rogue" ? FRogue->BaseUrl() : FServer->BaseUrl());
        if (which == "wrongname")
            settings.BaseUrl = FWrongName->BaseUrl();
        if (which == "nofile")
            settings.CaFile = FProgramDir->filePath("missing.pem");
        for (TUpdateTestServer* server : { FRogue.get(), FWrongName.get() }) {
            server->Serve(UpdateVersionPath, QByteArray::number(VersionNumber(NewVersion)));
            server->Serve(UpdateCrcPath, TestCrcText(FNewProgram));
            server->Serve(UpdateProgramPath, FNewProgram);
        }
        const auto client = CreateUpdateHttpClient(settings);
        QCOMPARE(GetRemoteVersionNumber(*client), -1);
        QVERIFY(!CheckForNewVersion(settings));
        QCOMPARE(DownloadUpdate(settings, {}), std::make_pair(false, UpdateUnreachableText()));
        QVERIFY(!QFile::exists(UpdatePath()));
        QCOMPARE(FRogue->Requests(UpdateCrcPath) + FWrongName->Requests(UpdateCrcPath), 0);
        // Without the test's authority even the right server is refused.
        TUpdateSettings systemOnly = Settings();
        systemOnly.CaFile.clear();
        QCOMPARE(GetRemoteVersionNumber(*CreateUpdateHttpClient(systemOnly)), -1);
    }

    void plainHttpRefused()
    {
        QTcpServer plain;
        QVERIFY(plain.listen(QHostAddress::LocalHost, 0));
        const TUpdateSettings settings = Settings(QString("http://127.0.0.1:%1").arg(plain.serverPort()));
        QCOMPARE(GetRemoteVersionNumber(*CreateUpdateHttpClient(settings)), -1);
        QCOMPARE(DownloadUpdate(settings, {}), std::make_pair(false, UpdateUnreachableText()));
        QVERIFY(!plain.waitForNewConnection(300));
    }

    void packageInstallations()
    {
        const int before = FServer->Requests(UpdateVersionPath);
        TUpdateSettings settings = Settings();
        settings.SelfUpdate = false;
        QCOMPARE(DownloadUpdate(settings, {}), std::make_pair(false, UpdateByPackageManagerText()));
        // A folder nobody can create files in, whoever runs the test.
        settings = Settings();
        settings.ProgramFile = "/sys/kernel/quillex";
        QCOMPARE(DownloadUpdate(settings, {}), std::make_pair(false, UpdateByPackageManagerText()));
        QCOMPARE(FServer->Requests(UpdateVersionPath), before);
        // The check still finds the newer version.
        QVERIFY(!CheckForNewVersion(settings)); // no badge for an update that cannot be installed
        QCOMPARE(FServer->Requests(UpdateVersionPath), before);
    }

    // "Update", "Check" = false: no request at all, at start or on the button.
    void checkTurnedOff_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("check");
        QTest::newRow("false") << "false" << false;
        QTest::newRow("0") << "0" << false;
        QTest::newRow("true") << "true" << true;
        QTest::newRow("not set") << "" << true;
    }
    void checkTurnedOff()
    {
        QFETCH(QString, value);
        QFETCH(bool, check);
        const QString settingsFile = FProgramDir->filePath("quillex_settings.ini");
        qputenv("QUILLEX_SETTINGS", settingsFile.toLocal8Bit());
        if (!value.isEmpty())
            QSettings(settingsFile, QSettings::IniFormat).setValue("Update/Check", value);
        const bool fromFile = DefaultUpdateSettings().Check;
        qunsetenv("QUILLEX_SETTINGS");
        QCOMPARE(fromFile, check);

        TUpdateSettings settings = Settings();
        settings.Check = check;
        const int before = FServer->Requests(UpdateVersionPath);
        QCOMPARE(CheckForNewVersion(settings), check);
        if (!check) {
            QCOMPARE(DownloadUpdate(settings, {}), std::make_pair(false, UpdateCheckDisabledText()));
            QCOMPARE(FServer->Requests(UpdateVersionPath), before);
        }
    }

    // The downloaded file's own marker must be the announced version and newer
    // than the running program: no downgrade, nothing unmarked.
    void downloadedVersion_data()
    {
        QTest::addColumn<bool>("marked");
        QTest::addColumn<TVersionComponents>("marker");
        QTest::addColumn<bool>("installed");
        QTest::newRow("the announced version") << true << NewVersion << true;
        QTest::newRow("older: a downgrade") << true << TVersionComponents { 0, 9, 0, 0 } << false;
        QTest::newRow("the running version") << true << OwnVersion << false;
        QTest::newRow("newer than announced") << true << TVersionComponents { 1, 2, 3, 6 } << false;
        QTest::newRow("no marker") << false << TVersionComponents {} << false;
    }
    void downloadedVersion()
    {
        QFETCH(bool, marked);
        QFETCH(TVersionComponents, marker);
        QFETCH(bool, installed);
        const QByteArray program = marked ? TestProgramBytes(marker, "new") : QByteArray("#!/bin/sh\nexit 0\n");
        FServer->Serve(UpdateCrcPath, TestCrcText(program));
        FServer->Serve(UpdateProgramPath, program);
        QCOMPARE(DownloadUpdate(Settings(), {}),
            installed ? std::make_pair(true, VersionText(NewVersion))
                      : std::make_pair(false, UpdateVersionMismatchText()));
        QCOMPARE(QFile::exists(UpdatePath()), installed);
        QCOMPARE(QDir(FProgramDir->path()).entryList(QDir::Files).size(), installed ? 2 : 1);
    }

    // A build with the publisher's key installs only a program signed with it
    // (by scripts/sign-release.sh); the CRC alone proves nothing.
    void signature_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::newRow("signed by the publisher") << "";
        QTest::newRow("no signature on the server") << "missing";
        QTest::newRow("signed with another key") << "other";
        QTest::newRow("program changed, CRC recomputed") << "tampered";
        QTest::newRow("signature cut short") << "short";
    }
    void signature()
    {
        QFETCH(QString, fault);
        QByteArray signature = Signature(FNewProgram, fault == "other" ? "other.key" : "publisher.key");
        QCOMPARE(signature.size(), 64);
        QByteArray program = FNewProgram;
        if (fault == "tampered")
            program.replace("printf", "echo  ");
        if (fault == "short")
            signature.chop(1);
        FServer->Serve(UpdateCrcPath, TestCrcText(program));
        FServer->Serve(UpdateProgramPath, program);
        FServer->Serve(UpdateSignaturePath, signature);
        if (fault == "missing")
            FServer->Forget(UpdateSignaturePath);
        TUpdateSettings settings = Settings();
        settings.PublicKey = FPublicKey;
        QCOMPARE(DownloadUpdate(settings, {}),
            fault.isEmpty() ? std::make_pair(true, VersionText(NewVersion))
                            : std::make_pair(false, UpdateSignatureFailedText()));
        QCOMPARE(QFile::exists(UpdatePath()), fault.isEmpty());
        FServer->Forget(UpdateSignaturePath);
    }

    // Only an Ed25519 public key is taken as the publisher's key.
    void publicKeyFromPem()
    {
        QVERIFY(UpdatePublicKeyFromPem(ReadFile(FPki->Path("publisher.key"))).isEmpty()); // a private key
        const QString ec = FPki->Path("ec.pub");
        QVERIFY(Run("openssl", { "pkey", "-in", FPki->Path("server.key"), "-pubout", "-out", ec }).isEmpty());
        QVERIFY(UpdatePublicKeyFromPem(ReadFile(ec)).isEmpty());
        QVERIFY(UpdatePublicKeyFromPem("not a key").isEmpty());
        const QByteArray pem = ReadFile(FPki->Path("publisher.pub"));
        QCOMPARE(UpdatePublicKeyFromPem(pem.split('\n').value(1)), FPublicKey); // the base64 line alone
    }

    // A folder other users can write in is no place for a self-update: they
    // could plant links or swap the script. Nothing is requested there.
    void folderWritableByOthers_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("world-writable, sticky") << 01777;
        QTest::newRow("world-writable") << 0777;
    }
    void folderWritableByOthers()
    {
        QFETCH(int, mode);
        const QByteArray folder = QFile::encodeName(FProgramDir->path());
        QCOMPARE(::chmod(folder.constData(), mode_t(mode)), 0);
        const int before = FServer->Requests(UpdateVersionPath);
        QVERIFY(!CanUpdateItself(Settings()));
        QVERIFY(!CheckForNewVersion(Settings()));
        QCOMPARE(DownloadUpdate(Settings(), {}), std::make_pair(false, UpdateByPackageManagerText()));
        QString error;
        QVERIFY(!LaunchUpdaterScript(Settings(), nullptr, &error));
        QCOMPARE(error, UpdateByPackageManagerText());
        QCOMPARE(FServer->Requests(UpdateVersionPath), before);
        QCOMPARE(QDir(FProgramDir->path()).entryList(QDir::Files), QStringList { "quillex" });
        QCOMPARE(::chmod(folder.constData(), 0700), 0);
        QVERIFY(CanUpdateItself(Settings()));
    }

    // Links planted where the update and the script go are removed, never
    // written through or given the program's mode.
    void linksNeverFollowed()
    {
        QTemporaryDir elsewhere;
        const QString profile = elsewhere.filePath("profile");
        const QString other = elsewhere.filePath("other");
        QVERIFY(WriteFile(profile, "keep") && WriteFile(other, "keep"));
        QVERIFY(QFile::setPermissions(profile, QFile::ReadOwner | QFile::WriteOwner));
        const QFile::Permissions before = QFile::permissions(profile);
        QVERIFY(QFile::link(profile, UpdatePath()));
        QVERIFY(QFile::link(other, FProgramDir->filePath(UpdaterScriptName)));

        QCOMPARE(DownloadUpdate(Settings(), {}), std::make_pair(true, VersionText(NewVersion)));
        QVERIFY(!QFileInfo(UpdatePath()).isSymLink());
        QCOMPARE(ReadFile(UpdatePath()), FNewProgram);
        QCOMPARE(ReadFile(profile), QByteArray("keep"));

        // Planted between the download and the launch.
        QVERIFY(QFile::remove(UpdatePath()));
        QVERIFY(QFile::link(profile, UpdatePath()));
        QString error;
        QVERIFY(!LaunchUpdaterScript(Settings(), nullptr, &error));
        QVERIFY2(error.startsWith(UpdatePath()), qPrintable(error));
        QCOMPARE(QFile::permissions(profile), before);
        QCOMPARE(ReadFile(other), QByteArray("keep"));

        QCOMPARE(CleanUpUpdateFiles(Settings().ProgramFile), QString());
        QCOMPARE(QDir(FProgramDir->path()).entryList(QDir::Files | QDir::System), QStringList { "quillex" });
        QCOMPARE(ReadFile(profile) + ReadFile(other), QByteArray("keepkeep"));
    }

    // A stale update that cannot be removed is said, at the start and before a download.
    void staleFileNotRemovable()
    {
        QVERIFY(QDir().mkpath(UpdatePath() + "/inside"));
        const QString stale = CleanUpUpdateFiles(Settings().ProgramFile);
        QVERIFY2(stale.contains(UpdatePath()), qPrintable(stale));
        const auto [ok, text] = DownloadUpdate(Settings(), {});
        QVERIFY(!ok);
        QVERIFY2(text.startsWith(UpdateLaunchFailedText(UpdatePath())), qPrintable(text));
    }

    // The body goes to the file through a bounded buffer and stops the moment
    // the bound is passed, length announced or not.
    // `make soak` runs it at the real bound of 512 MiB (QUILLEX_SOAK set) and
    // prints the time and the peak memory, which must stay below 64 MiB.
    void endlessBodyStopsAtTheBound()
    {
        const bool soak = qEnvironmentVariableIsSet("QUILLEX_SOAK");
        ServeNewProgram(TServe::Endless);
        TUpdateSettings settings = Settings();
        settings.MaxProgramBytes = soak ? MaxUpdateProgramBytes : 4 * 1024 * 1024;
        settings.TimeoutMs = soak ? 15000 : settings.TimeoutMs;
        const qint64 sentBefore = FServer->BytesSent();
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(DownloadUpdate(settings, {}), std::make_pair(false, UpdateUnreachableText()));
        QVERIFY(!QFile::exists(UpdatePath()));
        QTest::qWait(200);
        const qint64 sent = FServer->BytesSent() - sentBefore;
        // Beyond the bound only what was in flight: the sockets' buffers and the read-ahead.
        QVERIFY2(sent < settings.MaxProgramBytes + 32 * 1024 * 1024, qPrintable(QString::number(sent)));
        rusage usage {};
        ::getrusage(RUSAGE_SELF, &usage);
        const qint64 peakMiB = usage.ru_maxrss / 1024;
        qInfo("endless body: %lld MiB sent, ended after %lld ms, peak %lld MiB", sent / (1024 * 1024), timer.elapsed(),
            peakMiB);
        if (soak)
            QVERIFY2(peakMiB < 64, qPrintable(QString::number(peakMiB)));
    }

    // A body that trickles keeps the transfer time-out from firing; the
    // deadline (floor plus length at the least rate) ends it.
    void tricklingBodyEndsAtTheDeadline()
    {
        FNewProgram = FNewProgram.leftJustified(4096, '#'); // 800 s at one byte per 200 ms
        ServeNewProgram(TServe::Trickle);
        const TUpdateSettings settings = Settings();
        const qint64 deadline = UpdateDeadlineFloorTimeouts * settings.TimeoutMs
            + qint64(FNewProgram.size()) * 1000 / UpdateMinimumBytesPerSecond;
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(DownloadUpdate(settings, {}), std::make_pair(false, UpdateUnreachableText()));
        QVERIFY2(timer.elapsed() >= deadline && timer.elapsed() < deadline + 5000,
            qPrintable(QString::number(timer.elapsed())));
        QVERIFY(!QFile::exists(UpdatePath()));
    }

    void backgroundDelivery()
    {
        FNewProgram = FNewProgram.leftJustified(400, '#');
        ServeNewProgram(TServe::Paced);
        QObject receiver;
        QList<qint32> percents;
        QStringList events;
        bool available = false, checked = false;
        CheckForNewVersionInBackground(
            &receiver,
            [&](bool result) {
                QCOMPARE(QThread::currentThread(), receiver.thread());
                available = result;
                checked = true;
            },
            Settings());
        QTRY_VERIFY(checked);
        QVERIFY(available);
        DownloadUpdateInBackground(
            &receiver,
            [&](qint32 percent) {
                QCOMPARE(QThread::currentThread(), receiver.thread());
                percents << percent;
            },
            [&](bool ok, const QString& text) {
                events << QString("%1 %2 after %3").arg(ok).arg(text).arg(percents.size());
            },
            Settings());
        QTRY_COMPARE_WITH_TIMEOUT(events.size(), 1, 10000);
        QCOMPARE(percents, (QList<qint32> { 100, 25, 50, 75, 100 }));
        QCOMPARE(events.first(), QString("1 %1 after 5").arg(VersionText(NewVersion)));
        QTRY_COMPARE(RunningUpdateWorkers(), 0);
    }

    // A receiver gone before the result gets nothing; the worker still ends and cleans up.
    void receiverGoneGetsNothing()
    {
        ServeNewProgram(TServe::Stall);
        int delivered = 0;
        auto receiver = std::make_unique<QObject>();
        DownloadUpdateInBackground(
            receiver.get(), [&](qint32) { ++delivered; }, [&](bool, const QString&) { ++delivered; }, Settings());
        CheckForNewVersionInBackground(
            receiver.get(), [&](bool) { ++delivered; }, Settings());
        QTRY_VERIFY(FServer->Requests(UpdateProgramPath) > 0);
        receiver.reset();
        QTRY_COMPARE_WITH_TIMEOUT(RunningUpdateWorkers(), 0, 10000);
        QTest::qWait(100);
        QCOMPARE(delivered, 0);
        QVERIFY(!QFile::exists(UpdatePath()));
    }

    void shellQuoting_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("blank") << "a b";
        QTest::newRow("quotes") << "it's \"here\"";
        QTest::newRow("dollar and backquote") << "$(touch x) `touch y` $HOME";
        QTest::newRow("leading dash") << "-rf";
        QTest::newRow("line break and backslash") << "a\nb\\c";
        QTest::newRow("empty") << "";
    }
    void shellQuoting()
    {
        QFETCH(QString, text);
        QProcess sh;
        sh.setWorkingDirectory(FProgramDir->path());
        sh.start("/bin/sh", { "-c", "printf %s " + ShellQuote(text) });
        QVERIFY(sh.waitForFinished(5000));
        QCOMPARE(QString::fromUtf8(sh.readAllStandardOutput()), text);
        QVERIFY(!QFile::exists(FProgramDir->filePath("x")) && !QFile::exists(FProgramDir->filePath("y")));
    }

    // The script waits for the process, puts the update in place with the
    // program's mode and starts it; in a folder whose name tries every trick.
    void updaterScriptReplacesProgram_data()
    {
        QTest::addColumn<bool>("withUpdate");
        QTest::newRow("update downloaded") << true;
        QTest::newRow("no update: only a restart") << false;
    }
    void updaterScriptReplacesProgram()
    {
        QFETCH(bool, withUpdate);
        const QString folder = FProgramDir->filePath("-Yeni 'klasör' \"$HOME\" `id` $(id)");
        QVERIFY(QDir().mkpath(folder));
        TUpdateSettings settings = Settings();
        settings.ProgramFile = folder + "/-quillex 'a' $b";
        QVERIFY(WriteFile(settings.ProgramFile, TestProgramBytes(OwnVersion, "old")));
        const QFile::Permissions mode = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
            | QFile::ExeGroup | QFile::ExeOther;
        QVERIFY(QFile::setPermissions(settings.ProgramFile, mode));
        if (withUpdate)
            QCOMPARE(DownloadUpdate(settings, {}), std::make_pair(true, VersionText(NewVersion)));

        QProcess running; // stands for the running program
        running.start("sleep", { "30" });
        QVERIFY(running.waitForStarted());
        settings.ProcessId = running.processId();
        qint64 scriptPid = 0;
        QVERIFY(LaunchUpdaterScript(settings, &scriptPid));
        QVERIFY(QFile::exists(folder + "/" + UpdaterScriptName));

        // Nothing moves while the program runs.
        QTest::qWait(1500);
        QVERIFY(TestProcessRunning(scriptPid));
        QCOMPARE(GetFileVersionNumber(settings.ProgramFile), VersionNumber(OwnVersion));
        QVERIFY(!QFile::exists(folder + "/started"));

        running.kill();
        QVERIFY(running.waitForFinished(5000));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(folder + "/started"), 10000);
        QCOMPARE(ReadFile(folder + "/started"), withUpdate ? QByteArray("new") : QByteArray("old"));
        QCOMPARE(GetFileVersionNumber(settings.ProgramFile), VersionNumber(withUpdate ? NewVersion : OwnVersion));
        QCOMPARE(
            QFile::permissions(settings.ProgramFile) & ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser), mode);
        QVERIFY(!QFile::exists(folder + "/" + UpdateFileName));
        QTRY_VERIFY(!TestProcessRunning(scriptPid));
        // No name in the script ran as a command.
        const QStringList left = QDir(folder).entryList(QDir::Files);
        QCOMPARE(left, (QStringList { "-quillex 'a' $b", UpdaterScriptName, "started" }));
        QCOMPARE(QDir(FProgramDir->path()).entryList(QDir::Files), QStringList { "quillex" });

        CleanUpUpdateFiles(settings.ProgramFile);
        QCOMPARE(QDir(folder).entryList(QDir::Files), (QStringList { "-quillex 'a' $b", "started" }));
    }

    void cleanUp()
    {
        const QString program = FProgramDir->filePath("quillex");
        QVERIFY(WriteFile(UpdatePath(), "stale"));
        QVERIFY(WriteFile(FProgramDir->filePath(UpdaterScriptName), "stale"));
        CleanUpUpdateFiles(program);
        QCOMPARE(QDir(FProgramDir->path()).entryList(QDir::Files), QStringList { "quillex" });
        CleanUpUpdateFiles(program); // nothing left: no error
        QCOMPARE(QDir(FProgramDir->path()).entryList(QDir::Files), QStringList { "quillex" });
    }
};

QTEST_GUILESS_MAIN(TestAutoUpdate)
#include "tst_autoupdate.moc"
