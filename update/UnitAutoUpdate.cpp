// UnitAutoUpdate: version numbers, the check and the verified download on
// worker threads, the updater script and the clean-up.
#include "UnitAutoUpdate.h"

#include "UpdateSignature.h"
#include "config/Settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QProcess>
#include <QScopeGuard>
#include <QSet>
#include <QSettings>
#include <QTemporaryFile>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#ifndef QUILLEX_SELF_UPDATE
#define QUILLEX_SELF_UPDATE 1
#endif
#ifndef QUILLEX_UPDATE_BASE_URL
#define QUILLEX_UPDATE_BASE_URL "https://update.quillex.com"
#endif

namespace {

// The version and CRC files hold a few characters; anything longer is no such file.
constexpr qint64 MaxUpdateTextBytes = 64 * 1024;
constexpr qint64 CrcChunkBytes = 65521;

QString ProgramFolder(const TUpdateSettings& settings)
{
    return QFileInfo(settings.ProgramFile).absolutePath();
}

QString UpdateFilePath(const TUpdateSettings& settings)
{
    return ProgramFolder(settings) + "/" + UpdateFileName;
}

QString ScriptPath(const TUpdateSettings& settings)
{
    return ProgramFolder(settings) + "/" + UpdaterScriptName;
}

// Whether a file can be created in the folder. Asked of the file system itself:
// access() says yes to root even on a read-only mount.
bool FolderWritable(const QString& folder)
{
    QTemporaryFile probe(folder + "/.quillex-write-test-XXXXXX");
    return probe.open();
}

// Group write is harmless only for the user's own private group (no members
// besides the user).
bool GroupIsPrivate(gid_t group)
{
    if (group != getegid())
        return false;
    const struct group* entry = getgrgid(group);
    return entry && (!entry->gr_mem || !entry->gr_mem[0]);
}

QString SystemReason(const QString& path)
{
    return path + ": " + QString::fromLocal8Bit(std::strerror(errno));
}

// A file descriptor closed when it goes out of scope.
class TFileHandle {
public:
    explicit TFileHandle(int fd)
        : FFd(fd)
    {
    }
    ~TFileHandle() { Close(); }
    TFileHandle(const TFileHandle&) = delete;
    TFileHandle& operator=(const TFileHandle&) = delete;
    int Fd() const { return FFd; }
    bool Close()
    {
        const bool ok = FFd < 0 || ::close(FFd) == 0;
        FFd = -1;
        return ok;
    }

private:
    int FFd;
};

// Removes what lies at path, a link itself rather than its target; a missing
// file is no error. Empty, or the system's reason.
QString RemoveStaleFile(const QString& path)
{
    if (::unlink(QFile::encodeName(path).constData()) == 0 || errno == ENOENT)
        return QString();
    return SystemReason(path);
}

// A new file that did not exist: an existing file or link there fails.
int CreateNewFile(const QString& path, mode_t mode)
{
    return ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
}

bool WriteAll(int fd, const char* data, qint64 size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

bool SettingIsOff(const QVariant& value)
{
    const QString text = value.toString().trimmed().toLower();
    return text == "false" || text == "0" || text == "no" || text == "off";
}

} // namespace

QString UpdateUnreachableText()
{
    return QString::fromUtf8("Güncelleme sunucusuna ulaşılamadı.");
}
QString UpdateCurrentText()
{
    return QString::fromUtf8("Güncel sürümü kullanıyorsunuz.");
}
QString UpdateCrcFailedText()
{
    return QString::fromUtf8("İndirilen dosya doğrulanamadı (CRC), güncelleme yapılmadı.");
}
QString UpdateByPackageManagerText()
{
    return QString::fromUtf8("Bu kurulum paket yöneticisiyle güncellenir.");
}
QString UpdateVersionMismatchText()
{
    return QString::fromUtf8("İndirilen dosyanın sürümü beklenen sürüm değil, güncelleme yapılmadı.");
}
QString UpdateSignatureFailedText()
{
    return QString::fromUtf8("Güncellemenin imzası doğrulanamadı, güncelleme yapılmadı.");
}
QString UpdateCheckDisabledText()
{
    return QString::fromUtf8("Güncelleme denetimi ayarlarda kapatılmış ([Update] Check=false).");
}
QString UpdateLaunchFailedText(const QString& reason)
{
    return QString::fromUtf8("Güncelleme başlatılamadı: %1").arg(reason);
}

QString UpdateBaseUrlFromSettingsFile()
{
    const QSettings settings = OpenSettingsFile();
    return SettingValue(settings, "Update/BaseUrl").toString().trimmed();
}

TUpdateSettings DefaultUpdateSettings()
{
    TUpdateSettings settings;
    settings.BaseUrl = qEnvironmentVariable("QUILLEX_UPDATE_URL").trimmed();
    if (settings.BaseUrl.isEmpty())
        settings.BaseUrl = UpdateBaseUrlFromSettingsFile();
    if (settings.BaseUrl.isEmpty())
        settings.BaseUrl = QStringLiteral(QUILLEX_UPDATE_BASE_URL);
    settings.CaFile = qEnvironmentVariable("QUILLEX_UPDATE_CA_FILE");
    settings.ProgramFile = QCoreApplication::applicationFilePath();
    settings.ProcessId = QCoreApplication::applicationPid();
    settings.SelfUpdate = QUILLEX_SELF_UPDATE != 0;
    settings.Check = !SettingIsOff(OpenSettingsFile().value("Update/Check"));
    settings.PublicKey = BuiltInUpdatePublicKey();
    return settings;
}

QString UpdateBuildDescription()
{
    // A package's answer stays the plain version: the package manager updates it.
    if (QUILLEX_SELF_UPDATE == 0)
        return QString();
    if (BuiltInUpdatePublicKey().isEmpty())
        return "self-update: downloads checked by CRC-32 only (built without a signing key)";
    return "self-update: only downloads signed with the publisher's Ed25519 key are installed";
}

bool CanUpdateItself(const TUpdateSettings& settings)
{
    if (!settings.SelfUpdate)
        return false;
    const QString folder = ProgramFolder(settings);
    struct stat info { };
    if (::stat(QFile::encodeName(folder).constData(), &info) != 0 || !S_ISDIR(info.st_mode))
        return false;
    if (info.st_uid != geteuid() || (info.st_mode & S_IWOTH)
        || ((info.st_mode & S_IWGRP) && !GroupIsPrivate(info.st_gid)))
        return false;
    return FolderWritable(folder);
}

bool ShouldCheckForUpdates(const TUpdateSettings& settings)
{
    return settings.Check && CanUpdateItself(settings);
}

qint32 VersionNumber(const TVersionComponents& version)
{
    const quint32 number = quint32(version.Major) * 16777215u + quint32(version.Minor) * 65535u
        + quint32(version.Release) * 255u + quint32(version.Build);
    return qint32(number);
}

qint32 GetFileVersionNumber(const QString& fileName)
{
    TVersionComponents version;
    return ReadVersionMarker(fileName, version) ? VersionNumber(version) : 0;
}

qint32 GetOwnVersionNumber()
{
    return GetFileVersionNumber(QCoreApplication::applicationFilePath());
}

QString GetFileVersionText(const QString& fileName)
{
    TVersionComponents version;
    return ReadVersionMarker(fileName, version) ? VersionText(version) : QString();
}

quint32 FileCrc32(const QString& fileName, bool* ok)
{
    if (ok)
        *ok = false;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    uLong crc = crc32(0L, Z_NULL, 0);
    QByteArray chunk(CrcChunkBytes, Qt::Uninitialized);
    for (;;) {
        const qint64 n = file.read(chunk.data(), chunk.size());
        if (n < 0)
            return 0;
        if (n == 0)
            break;
        crc = crc32(crc, reinterpret_cast<const Bytef*>(chunk.constData()), uInt(n));
    }
    if (ok)
        *ok = true;
    return quint32(crc);
}

std::unique_ptr<TUpdateHttpClient> CreateUpdateHttpClient(const TUpdateSettings& settings)
{
    return std::make_unique<TUpdateHttpClient>(
        TUpdateHttpOptions { settings.BaseUrl, settings.CaFile, settings.TimeoutMs });
}

qint32 GetRemoteVersionNumber(TUpdateHttpClient& client)
{
    QByteArray body;
    if (!client.Get(UpdateVersionPath, MaxUpdateTextBytes, body))
        return -1;
    bool ok = false;
    const qint32 number = QString::fromLatin1(body).trimmed().toInt(&ok);
    return ok ? number : -1;
}

bool CheckForNewVersion(const TUpdateSettings& settings)
{
    if (!ShouldCheckForUpdates(settings))
        return false;
    qint32 remote = -1;
    {
        const std::unique_ptr<TUpdateHttpClient> client = CreateUpdateHttpClient(settings);
        remote = GetRemoteVersionNumber(*client);
    }
    return remote > GetFileVersionNumber(settings.ProgramFile);
}

std::pair<bool, QString> DownloadUpdate(const TUpdateSettings& settings, const TUpdateProgressProc& onProgress)
{
    if (!settings.Check)
        return { false, UpdateCheckDisabledText() };
    // A package manager owns the program's folder, or others could write in it: nothing to fetch.
    if (!CanUpdateItself(settings))
        return { false, UpdateByPackageManagerText() };

    const QString target = UpdateFilePath(settings);
    const std::unique_ptr<TUpdateHttpClient> client = CreateUpdateHttpClient(settings);
    const qint32 own = GetFileVersionNumber(settings.ProgramFile);
    const qint32 remote = GetRemoteVersionNumber(*client);
    if (remote < 0)
        return { false, UpdateUnreachableText() };
    if (remote <= own)
        return { false, UpdateCurrentText() };

    // Not reset between the two requests: the CRC file usually reports 100
    // first, and the program file then starts again from 0.
    qint32 lastPercent = -1;
    client->SetProgressSink([&](qint64 contentLength, qint64 bytesRead) {
        if (contentLength <= 0)
            return;
        const qint32 percent = qint32(bytesRead * 100 / contentLength);
        if (percent != lastPercent) {
            lastPercent = percent;
            if (onProgress)
                onProgress(percent);
        }
    });

    QByteArray expected;
    QByteArray signature;
    if (!client->Get(UpdateCrcPath, MaxUpdateTextBytes, expected))
        return { false, UpdateUnreachableText() };
    if (!settings.PublicKey.isEmpty() && !client->Get(UpdateSignaturePath, MaxUpdateTextBytes, signature))
        return { false, UpdateUnreachableText() };

    if (const QString stale = RemoveStaleFile(target); !stale.isEmpty())
        return { false, UpdateLaunchFailedText(stale) };
    bool keep = false;
    const auto removeUnlessKept = qScopeGuard([&] {
        if (!keep)
            ::unlink(QFile::encodeName(target).constData());
    });
    QString writeError;
    {
        TFileHandle file(CreateNewFile(target, 0600));
        if (file.Fd() < 0)
            return { false, UpdateLaunchFailedText(SystemReason(target)) };
        const bool received = client->Get(UpdateProgramPath, settings.MaxProgramBytes, [&](const QByteArray& piece) {
            if (WriteAll(file.Fd(), piece.constData(), piece.size()))
                return true;
            writeError = SystemReason(target);
            return false;
        });
        if (received && (::fdatasync(file.Fd()) != 0 || !file.Close()))
            writeError = SystemReason(target);
        if (!received || !writeError.isEmpty())
            return { false, writeError.isEmpty() ? UpdateUnreachableText() : UpdateLaunchFailedText(writeError) };
    }

    expected = expected.trimmed().toUpper();
    bool read = false;
    const quint32 crc = FileCrc32(target, &read);
    const QByteArray actual = QByteArray::number(crc, 16).rightJustified(8, '0').toUpper();
    if (!read || expected.isEmpty() || expected != actual)
        return { false, UpdateCrcFailedText() };
    if (!settings.PublicKey.isEmpty() && !VerifyUpdateSignature(settings.PublicKey, target, signature))
        return { false, UpdateSignatureFailedText() };
    // The file's own marker decides, not the announcement: an older program or
    // one without a marker is never installed.
    TVersionComponents version;
    if (!ReadVersionMarker(target, version) || VersionNumber(version) != remote || VersionNumber(version) <= own)
        return { false, UpdateVersionMismatchText() };
    keep = true;
    return { true, VersionText(version) };
}

// One check or download on its own thread. The thread object lives on the
// thread that started it and is deleted there once the work has ended.
class TUpdateWorker final : public QThread {
    Q_OBJECT
public:
    explicit TUpdateWorker(std::function<void(TUpdateWorker&)> work)
        : FWork(std::move(work))
    {
    }
    void Deliver(bool ok, const QString& text) { emit Done(ok, text); }
    void DeliverProgress(qint32 percent) { emit Progress(percent); }

    static void Start(TUpdateWorker* worker);
    static int Running();

signals:
    void Progress(qint32 percent);
    void Done(bool ok, const QString& text);

protected:
    void run() override;

private:
    static void StopAll();
    std::function<void(TUpdateWorker&)> FWork;
};

namespace {
QMutex WorkersLock;
QSet<TUpdateWorker*> Workers; // under WorkersLock
} // namespace

// At the program's exit the workers still running are interrupted and waited
// for, so none is cut off inside the network code.
void TUpdateWorker::StopAll()
{
    QList<TUpdateWorker*> running;
    {
        QMutexLocker locker(&WorkersLock);
        running = Workers.values();
    }
    for (TUpdateWorker* worker : running)
        worker->requestInterruption();
    for (TUpdateWorker* worker : running)
        worker->wait(5000);
}

void TUpdateWorker::Start(TUpdateWorker* worker)
{
    static std::once_flag registered;
    std::call_once(registered, [] { qAddPostRoutine(&TUpdateWorker::StopAll); });
    connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    {
        QMutexLocker locker(&WorkersLock);
        Workers.insert(worker);
    }
    worker->start();
}

int TUpdateWorker::Running()
{
    QMutexLocker locker(&WorkersLock);
    return int(Workers.size());
}

void TUpdateWorker::run()
{
    FWork(*this);
    QMutexLocker locker(&WorkersLock);
    Workers.remove(this);
}

int RunningUpdateWorkers()
{
    return TUpdateWorker::Running();
}

void CheckForNewVersionInBackground(QObject* receiver, TUpdateResultProc onResult, TUpdateSettings settings)
{
    auto* worker
        = new TUpdateWorker([settings](TUpdateWorker& self) { self.Deliver(CheckForNewVersion(settings), QString()); });
    QObject::connect(
        worker, &TUpdateWorker::Done, receiver,
        [onResult = std::move(onResult)](bool available, const QString&) { onResult(available); },
        Qt::QueuedConnection);
    TUpdateWorker::Start(worker);
}

void DownloadUpdateInBackground(
    QObject* receiver, TUpdateProgressProc onProgress, TUpdateDoneProc onDone, TUpdateSettings settings)
{
    auto* worker = new TUpdateWorker([settings](TUpdateWorker& self) {
        const auto [ok, text] = DownloadUpdate(settings, [&self](qint32 percent) { self.DeliverProgress(percent); });
        self.Deliver(ok, text);
    });
    QObject::connect(worker, &TUpdateWorker::Progress, receiver, std::move(onProgress), Qt::QueuedConnection);
    QObject::connect(worker, &TUpdateWorker::Done, receiver, std::move(onDone), Qt::QueuedConnection);
    TUpdateWorker::Start(worker);
}

QString ShellQuote(const QString& text)
{
    QString quoted = text;
    quoted.replace('\'', QLatin1String("'\\''"));
    return '\'' + quoted + '\'';
}

QString UpdaterScriptText(const TUpdateSettings& settings)
{
    const QString program = QFileInfo(settings.ProgramFile).absoluteFilePath();
    QStringList lines {
        "#!/bin/sh",
        "# Written by Quillex: waits until the program has exited, puts the downloaded",
        "# update in its place and starts it again. Deleted at the next start.",
        "pid=" + QString::number(settings.ProcessId),
        "folder=" + ShellQuote(ProgramFolder(settings)),
        "program=" + ShellQuote(program),
        "update=" + ShellQuote(UpdateFilePath(settings)),
        "while kill -0 \"$pid\" 2>/dev/null; do",
        "    sleep 1",
        "done",
        "if [ -f \"$update\" ]; then",
        "    mv -f -- \"$update\" \"$program\"",
        "fi",
        "cd -- \"$folder\"",
        "exec \"$program\"",
    };
    return lines.join('\n') + '\n';
}

bool LaunchUpdaterScript(const TUpdateSettings& settings, qint64* scriptPid, QString* error)
{
    auto fail = [error](const QString& reason) {
        if (error)
            *error = reason;
        return false;
    };
    if (!CanUpdateItself(settings))
        return fail(UpdateByPackageManagerText());
    const QString script = ScriptPath(settings);
    const QString update = UpdateFilePath(settings);
    // The update takes the program's mode, and can always be run; only a
    // regular file of the user's own is touched, never a link's target.
    {
        TFileHandle file(::open(QFile::encodeName(update).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        struct stat program { };
        struct stat info { };
        if (file.Fd() < 0 && errno != ENOENT)
            return fail(SystemReason(update));
        if (file.Fd() >= 0) {
            if (::fstat(file.Fd(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != geteuid())
                return fail(update + ": " + QString::fromUtf8("kullanıcının kendi dosyası değil"));
            const mode_t mode = ::stat(QFile::encodeName(settings.ProgramFile).constData(), &program) == 0
                ? (program.st_mode & 0777)
                : 0755;
            if (::fchmod(file.Fd(), mode | S_IRUSR | S_IXUSR) != 0)
                return fail(SystemReason(update));
        }
    }
    if (const QString stale = RemoveStaleFile(script); !stale.isEmpty())
        return fail(stale);
    {
        TFileHandle file(CreateNewFile(script, 0700));
        const QByteArray text = QFile::encodeName(UpdaterScriptText(settings));
        if (file.Fd() < 0 || !WriteAll(file.Fd(), text.constData(), text.size()) || !file.Close())
            return fail(SystemReason(script));
    }
    QProcess process;
    process.setProgram("/bin/sh");
    process.setArguments({ script });
    process.setWorkingDirectory(ProgramFolder(settings));
    if (!process.startDetached(scriptPid))
        return fail(script + ": " + process.errorString());
    return true;
}

QString CleanUpUpdateFiles(const QString& programFile)
{
    TUpdateSettings settings;
    settings.ProgramFile = programFile.isEmpty() ? QCoreApplication::applicationFilePath() : programFile;
    QStringList failures;
    for (const QString& path : { UpdateFilePath(settings), ScriptPath(settings) })
        if (const QString failure = RemoveStaleFile(path); !failure.isEmpty())
            failures << failure;
    if (failures.isEmpty())
        return QString();
    return QString::fromUtf8("Eski güncelleme dosyası silinemedi: %1").arg(failures.join("; "));
}

#include "UnitAutoUpdate.moc"
