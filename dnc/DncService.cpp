#include "DncService.h"

#include "CloseWriteWatcher.h"
#include "DncFolders.h"
#include "discovery/UnitStatusListener.h"
#include "history/HistoryRecorder.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QSet>
#include <QThread>
#include <QTimer>
#include <QUuid>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int RefreshMs = 1000;

QString DeviceKey(const TQuillexDevice& device)
{
    return device.MacId.isEmpty() ? device.IPAddress : device.MacId;
}

QString DeviceText(const TQuillexDevice& device)
{
    return device.MacId.isEmpty() ? QString("%1 (%2)").arg(device.DisplayName, device.IPAddress)
                                  : QString("%1 (%2, %3)").arg(device.DisplayName, device.IPAddress, device.MacId);
}

// The files of a folder, oldest first: the order they arrived in.
QFileInfoList FilesByAge(const QString& folder)
{
    QFileInfoList files = QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::NoSymLinks, QDir::Time);
    std::reverse(files.begin(), files.end());
    return files;
}

} // namespace

void DncLog(const QString& text)
{
    const QString line = QDateTime::currentDateTime().toString("yyyy-MM-dd HH:mm:ss ") + text + u'\n';
    std::fputs(line.toUtf8().constData(), stdout);
    std::fflush(stdout);
}

TDncService::TDncService(const TDncSettings& settings, quint16 statusPort, THistoryRecorder* recorder, bool once,
    int listenMs, QObject* parent)
    : QObject(parent)
    , FSettings(settings)
    , FStatusPort(statusPort)
    , FRecorder(recorder)
    , FOnce(once)
    , FListenMs(listenMs)
{
}

TDncService::~TDncService()
{
    for (TQueue& queue : FQueues)
        if (queue.Worker) {
            queue.Worker->wait();
            delete queue.Worker;
        }
}

bool TDncService::Start(QString& errorMsg)
{
    if (FSettings.Root.isEmpty()) {
        errorMsg = QString::fromUtf8("Ayar dosyasında [Dnc] Root (kök klasör) yok");
        return false;
    }
    FSettings.Root = QDir(FSettings.Root).absolutePath();
    if (!QDir().mkpath(FSettings.Root)) {
        errorMsg = QString::fromUtf8("Kök klasör oluşturulamadı: %1").arg(FSettings.Root);
        return false;
    }
    FWatcher = new TCloseWriteWatcher(this);
    if (!FWatcher->Error().isEmpty()) {
        errorMsg = QString::fromUtf8("Klasörler izlenemiyor (inotify): %1").arg(FWatcher->Error());
        return false;
    }
    connect(FWatcher, &TCloseWriteWatcher::FileReady, this, [this](const QString& folder, const QString& name) {
        const QString key = QFileInfo(folder).fileName();
        if (FQueues.contains(key))
            Settle(FQueues[key], name);
    });
    connect(FWatcher, &TCloseWriteWatcher::Overflowed, this, [this] {
        for (TQueue& queue : FQueues)
            Scan(queue, false);
    });
    FListener = std::make_unique<TStatusListenerThread>(nullptr, FStatusPort);
    QElapsedTimer wait;
    wait.start();
    while (!FListener->IsListening() && FListener->ListenError().isEmpty() && wait.elapsed() < 2000)
        QThread::msleep(5);
    if (!FListener->IsListening()) {
        errorMsg = FListener->ListenError();
        return false;
    }
    FClock.start();
    FTimer = new QTimer(this);
    FTimer->setInterval(std::clamp(FSettings.StableMs / 4, 20, 250));
    connect(FTimer, &QTimer::timeout, this, &TDncService::Tick);
    FTimer->start();
    DncLog(QString::fromUtf8("quillex-dnc başladı: kök klasör %1, durum portu %2, kararlılık süresi %3 ms%4")
               .arg(FSettings.Root)
               .arg(FStatusPort)
               .arg(FSettings.StableMs)
               .arg(FOnce ? QString::fromUtf8(", bekleyenler işlenip çıkılacak") : QString()));
    return true;
}

void TDncService::Stop()
{
    if (FStopping)
        return;
    FStopping = true;
    DncLog(QString::fromUtf8("Durduruluyor: süren gönderimler bitince çıkılacak"));
    QTimer::singleShot(0, this, &TDncService::CheckFinished);
}

void TDncService::Tick()
{
    const qint64 now = FClock.elapsed();
    if (FOnce && now < FListenMs)
        return; // the devices are heard first
    if (FLastRefreshMs < 0 || now - FLastRefreshMs >= RefreshMs) {
        FLastRefreshMs = now;
        RefreshDevices();
    }
    if (!FLooked) {
        FLooked = true;
        // The folders of earlier runs and of devices named in the settings,
        // whether heard now or not: their files wait for them.
        for (const QString& name : QDir(FSettings.Root).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            EnsureQueue(name);
        for (const QString& name : FSettings.Devices)
            if (!name.contains(u':')) // a MacId names no folder
                EnsureQueue(DeviceFolderName(name, {}));
    }
    for (TQueue& queue : FQueues) {
        PromoteStable(queue);
        StartSend(queue);
    }
    CheckFinished();
}

void TDncService::RefreshDevices()
{
    const QList<TQuillexDevice> heard = FListener->BuildDeviceList();
    QSet<QString> heardKeys;
    for (const TQuillexDevice& device : heard) {
        if (!DncServesDevice(FSettings, device.DisplayName, device.MacId))
            continue;
        const QString key = DeviceKey(device);
        heardKeys.insert(key);
        QString folder = FFolderOfKey.value(key);
        if (folder.isEmpty()) {
            folder = DeviceFolderName(device.DisplayName, key);
            const auto taken = FQueues.constFind(folder);
            if (taken != FQueues.cend() && !taken->Key.isEmpty() && taken->Key != key)
                folder = DeviceFolderName(QString("%1 (%2)").arg(device.DisplayName, QString(key).replace(u':', u'-')),
                    key); // two devices of one name: the second by its MacId as well
            FFolderOfKey.insert(key, folder);
            TQueue& queue = EnsureQueue(folder);
            queue.Key = key;
            DncLog(QString::fromUtf8("%1 klasörü: %2").arg(DeviceText(device), queue.Folder));
        }
        TQueue& queue = FQueues[folder];
        if (!queue.Heard && queue.BackoffMs > 0)
            queue.NextAttemptMs = 0; // heard again: no need to wait out the back-off
        queue.Device = device;
        queue.Heard = true;
        queue.SilenceNoted = false;
    }
    for (TQueue& queue : FQueues)
        if (queue.Heard && !heardKeys.contains(queue.Key))
            queue.Heard = false;
}

TDncService::TQueue& TDncService::EnsureQueue(const QString& folderName)
{
    auto found = FQueues.find(folderName);
    if (found != FQueues.end())
        return *found;
    TQueue& queue = FQueues[folderName];
    queue.Folder = QDir(FSettings.Root).filePath(folderName);
    QDir folder(queue.Folder);
    for (const char* sub : { SentFolderName, FailedFolderName, SendingFolderName })
        if (!folder.mkpath(QString::fromUtf8(sub)))
            DncLog(QString::fromUtf8("Klasör oluşturulamadı: %1").arg(folder.filePath(QString::fromUtf8(sub))));
    QString error;
    if (!FWatcher->Watch(queue.Folder, error))
        DncLog(QString::fromUtf8("%1 izlenemiyor: %2").arg(queue.Folder, error));
    Scan(queue, true);
    return queue;
}

void TDncService::Scan(TQueue& queue, bool withSending)
{
    if (withSending) {
        // Files a stopped run left half-way go first, as they came.
        const QString sending = QDir(queue.Folder).filePath(QString::fromUtf8(SendingFolderName));
        for (const QFileInfo& info : FilesByAge(sending)) {
            TDroppedFile file;
            if (!ParseSendingFileName(info.fileName(), file.Uid, file.FileName))
                continue;
            file.Path = info.absoluteFilePath();
            file.Resumed = true;
            queue.Waiting.append(file);
            DncLog(
                QString::fromUtf8("%1: önceki çalışmadan kalan %2 cihaza sorulacak").arg(queue.Folder, file.FileName));
        }
    }
    for (const QFileInfo& info : FilesByAge(queue.Folder))
        Settle(queue, info.fileName());
}

void TDncService::Settle(TQueue& queue, const QString& name)
{
    if (!IsProgramFileName(name))
        return;
    const QFileInfo info(QDir(queue.Folder).filePath(name));
    if (!info.isFile() || info.isSymLink())
        return;
    // Written again while it waited: it waits anew, as a new arrival.
    queue.Waiting.removeIf([&](const TDroppedFile& f) { return f.Uid.isEmpty() && f.FileName == name; });
    queue.Settling.removeIf([&](const TSettling& s) { return s.Name == name; });
    queue.Settling.append({ name, info.size(), info.lastModified(), FClock.elapsed() });
}

void TDncService::PromoteStable(TQueue& queue)
{
    const qint64 now = FClock.elapsed();
    for (qsizetype i = 0; i < queue.Settling.size();) {
        TSettling& s = queue.Settling[i];
        if (now - s.SinceMs < FSettings.StableMs) {
            ++i;
            continue;
        }
        const QFileInfo info(QDir(queue.Folder).filePath(s.Name));
        if (!info.isFile()) {
            queue.Settling.removeAt(i); // taken away again
            continue;
        }
        // Still written (created, or there at start, and not yet closed).
        if (info.size() != s.Size || info.lastModified() != s.Modified || FileOpenForWriting(info.absoluteFilePath())) {
            s = { s.Name, info.size(), info.lastModified(), now }; // still growing
            ++i;
            continue;
        }
        TDroppedFile file;
        file.FileName = s.Name;
        file.Path = info.absoluteFilePath();
        queue.Waiting.append(file);
        queue.Settling.removeAt(i);
    }
}

void TDncService::StartSend(TQueue& queue)
{
    if (FStopping || queue.Worker || queue.Waiting.isEmpty() || FClock.elapsed() < queue.NextAttemptMs)
        return;
    if (!queue.Heard) {
        if (!queue.SilenceNoted) {
            queue.SilenceNoted = true;
            DncLog(QString::fromUtf8("%1: cihaz duyulmuyor; %2 dosya bekliyor")
                       .arg(queue.Folder)
                       .arg(queue.Waiting.size()));
        }
        return;
    }
    TDroppedFile& file = queue.Waiting.first();
    if (file.Uid.isEmpty()) {
        // Into işleniyor/ under the record's id before anything is sent.
        const QString uid = QUuid::createUuid().toString(QUuid::WithoutBraces);
        QString error;
        const QString moved = MoveFileInto(file.Path, QDir(queue.Folder).filePath(QString::fromUtf8(SendingFolderName)),
            SendingFileName(uid, file.FileName), error);
        if (moved.isEmpty()) {
            DncLog(QString::fromUtf8("%1 alınamadı: %2").arg(file.Path, error));
            queue.Waiting.removeFirst();
            return;
        }
        file.Uid = uid;
        file.Path = moved;
    }
    TDroppedDevice target;
    target.Device = queue.Device;
    target.Status = FListener->GetStatusFor(queue.Device.IPAddress);
    target.IdentityShared = IdentityShared(queue.Device, FListener->BuildDeviceList());
    DncLog(QString::fromUtf8("%1 → %2 gönderiliyor").arg(file.FileName, DeviceText(queue.Device)));
    const TDroppedFile sent = file;
    const bool verify = FSettings.Verify;
    const QString folder = QFileInfo(queue.Folder).fileName();
    const QPointer<TDncService> self(this);
    // The service waits for its workers before it goes: self outlives them.
    queue.Worker = QThread::create([self, folder, sent, target, verify] {
        const TDropResult result = SendDroppedFile(sent, target, verify);
        QMetaObject::invokeMethod(
            self.data(),
            [self, folder, result] {
                if (self)
                    self->SendEnded(folder, result);
            },
            Qt::QueuedConnection);
    });
    queue.Worker->start();
}

void TDncService::SendEnded(const QString& folder, const TDropResult& result)
{
    TQueue& queue = FQueues[folder];
    queue.Worker->wait();
    delete queue.Worker;
    queue.Worker = nullptr;
    const TDroppedFile file = queue.Waiting.first();
    switch (result.Outcome) {
    case EDropOutcome::Sent: {
        QString error;
        const QString moved = MoveFileInto(file.Path, QDir(queue.Folder).filePath(QString::fromUtf8(SentFolderName)),
            StampedFileName(file.FileName, QDateTime::currentDateTime()), error);
        DncLog(
            QString::fromUtf8("%1 → %2 gönderildi: %3").arg(file.FileName, DeviceText(queue.Device), result.Message));
        if (moved.isEmpty())
            DncLog(QString::fromUtf8("%1 taşınamadı: %2").arg(file.Path, error));
        queue.Waiting.removeFirst();
        queue.BackoffMs = 0;
        queue.NextAttemptMs = 0;
        break;
    }
    case EDropOutcome::Failed:
        SetAside(queue, file, result);
        queue.Waiting.removeFirst();
        queue.BackoffMs = 0;
        queue.NextAttemptMs = 0;
        ++FFailed;
        break;
    case EDropOutcome::Retry:
        queue.BackoffMs = queue.BackoffMs == 0 ? FirstRetryMs : std::min(queue.BackoffMs * 2, FSettings.RetryMaxMs);
        queue.NextAttemptMs = FClock.elapsed() + queue.BackoffMs;
        if (FOnce) {
            // Kept in işleniyor/: the next run asks the device first.
            DncLog(QString::fromUtf8("%1 → %2 gönderilemedi, bir sonraki çalışmada yeniden denenecek: %3")
                       .arg(file.FileName, DeviceText(queue.Device), result.Message));
            queue.Waiting.removeFirst();
            ++FLeft;
        } else {
            DncLog(QString::fromUtf8("%1 → %2 gönderilemedi, %3 sn sonra yeniden denenecek: %4")
                       .arg(file.FileName, DeviceText(queue.Device))
                       .arg(queue.BackoffMs / 1000.0)
                       .arg(result.Message));
            queue.Waiting.first().Resumed = true; // it may have reached the device all the same
        }
        break;
    }
    if (result.Record && FRecorder)
        FRecorder->Record(*result.Record);
    CheckFinished();
}

void TDncService::SetAside(TQueue& queue, const TDroppedFile& file, const TDropResult& result)
{
    const QDateTime now = QDateTime::currentDateTime();
    QString error;
    const QString moved = MoveFileInto(file.Path, QDir(queue.Folder).filePath(QString::fromUtf8(FailedFolderName)),
        StampedFileName(file.FileName, now), error);
    DncLog(QString::fromUtf8("%1 → %2 gönderilmedi: %3").arg(file.FileName, DeviceText(queue.Device), result.Message));
    if (moved.isEmpty()) {
        DncLog(QString::fromUtf8("%1 hata klasörüne taşınamadı: %2").arg(file.Path, error));
        return;
    }
    const QString text
        = QString::fromUtf8("Dosya: %1\nCihaz: %2\nZaman: %3\nNeden: %4\n")
              .arg(file.FileName, DeviceText(queue.Device), now.toString("yyyy-MM-dd HH:mm:ss"), result.Message);
    if (!WriteTextFile(moved + ".txt", text, error))
        DncLog(QString::fromUtf8("%1.txt yazılamadı: %2").arg(moved, error));
}

bool TDncService::Idle() const
{
    for (const TQueue& queue : FQueues) {
        if (queue.Worker)
            return false;
        if (FOnce && !FStopping && (!queue.Settling.isEmpty() || (queue.Heard && !queue.Waiting.isEmpty())))
            return false;
    }
    return true;
}

void TDncService::CheckFinished()
{
    if (FFinished || !(FStopping || (FOnce && FLooked)) || !Idle())
        return;
    if (FOnce) {
        for (const TQueue& queue : FQueues)
            if (!queue.Waiting.isEmpty()) {
                FLeft += queue.Waiting.size();
                DncLog(QString::fromUtf8("%1: cihaz duyulmadı; %2 dosya bekliyor")
                           .arg(queue.Folder)
                           .arg(queue.Waiting.size()));
            }
    }
    FFinished = true;
    if (FTimer)
        FTimer->stop();
    emit Finished();
}
