// UnitAutoUpdate: version numbers, the check and the verified download on
// worker threads, the updater script and the clean-up.
#include "UnitAutoUpdate.h"

#include "config/Settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QProcess>
#include <QSaveFile>
#include <QSet>
#include <QSettings>
#include <QTemporaryFile>
#include <QThread>

#include <mutex>
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
    return settings;
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
    qint32 remote = -1;
    {
        const std::unique_ptr<TUpdateHttpClient> client = CreateUpdateHttpClient(settings);
        remote = GetRemoteVersionNumber(*client);
    }
    return remote > GetFileVersionNumber(settings.ProgramFile);
}

std::pair<bool, QString> DownloadUpdate(const TUpdateSettings& settings, const TUpdateProgressProc& onProgress)
{
    // A package manager owns the program's folder: nothing to fetch.
    if (!settings.SelfUpdate || !FolderWritable(ProgramFolder(settings)))
        return { false, UpdateByPackageManagerText() };

    const QString target = UpdateFilePath(settings);
    const std::unique_ptr<TUpdateHttpClient> client = CreateUpdateHttpClient(settings);
    const qint32 remote = GetRemoteVersionNumber(*client);
    if (remote < 0)
        return { false, UpdateUnreachableText() };
    if (remote <= GetFileVersionNumber(settings.ProgramFile))
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
    QByteArray program;
    bool written = false;
    if (client->Get(UpdateCrcPath, MaxUpdateTextBytes, expected)
        && client->Get(UpdateProgramPath, MaxUpdateProgramBytes, program)) {
        QSaveFile file(target);
        written = file.open(QIODevice::WriteOnly) && file.write(program) == program.size() && file.commit();
    }
    program.clear();
    if (!written) {
        QFile::remove(target);
        return { false, UpdateUnreachableText() };
    }
    expected = expected.trimmed().toUpper();
    bool read = false;
    const quint32 crc = FileCrc32(target, &read);
    const QByteArray actual = QByteArray::number(crc, 16).rightJustified(8, '0').toUpper();
    if (read && !expected.isEmpty() && expected == actual)
        return { true, GetFileVersionText(target) };
    QFile::remove(target);
    return { false, UpdateCrcFailedText() };
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

bool LaunchUpdaterScript(const TUpdateSettings& settings, qint64* scriptPid)
{
    const QString script = ScriptPath(settings);
    const QString update = UpdateFilePath(settings);
    // The update takes the program's mode, and can always be run.
    if (QFile::exists(update)) {
        const QFile::Permissions mode = QFile::permissions(settings.ProgramFile);
        QFile::setPermissions(update, mode | QFile::ExeOwner | QFile::ExeUser | QFile::ReadOwner | QFile::ReadUser);
    }
    QSaveFile file(script);
    if (!file.open(QIODevice::WriteOnly) || file.write(QFile::encodeName(UpdaterScriptText(settings))) < 0
        || !file.commit())
        return false;
    return QProcess::startDetached("/bin/sh", { script }, ProgramFolder(settings), scriptPid);
}

void CleanUpUpdateFiles(const QString& programFile)
{
    TUpdateSettings settings;
    settings.ProgramFile = programFile.isEmpty() ? QCoreApplication::applicationFilePath() : programFile;
    QFile::remove(UpdateFilePath(settings));
    QFile::remove(ScriptPath(settings));
}

#include "UnitAutoUpdate.moc"
