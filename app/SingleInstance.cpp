// Single instance per user: a lock file decides the owner, a local socket
// carries a later start's files to it.
#include "SingleInstance.h"

#include <QDataStream>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char Confirmation = 'A';
// A request is a list of file names; more than this is no request of ours.
const qint64 MaxRequestBytes = 1 << 20;

QByteArray EncodeRequest(const QStringList& files)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_0);
    out << files;
    return bytes;
}

} // namespace

bool IsPrivateFolder(const QString& folder)
{
    struct stat info { };
    return ::lstat(QFile::encodeName(folder).constData(), &info) == 0 && S_ISDIR(info.st_mode)
        && info.st_uid == ::getuid() && (info.st_mode & 0077) == 0;
}

QString PrivateFolderIn(const QString& parent, const QString& name)
{
    const QString folder = parent + "/" + name;
    // Made 0700 when missing; an existing one is used only when it already is the user's own.
    if (::mkdir(QFile::encodeName(folder).constData(), 0700) != 0 && errno != EEXIST)
        return QString();
    return IsPrivateFolder(folder) ? folder : QString();
}

QString InstanceRuntimeFolderFor(const QString& runtime, const QString& temporary, const QString& home)
{
    if (!runtime.isEmpty())
        return runtime;
    const QString name = QString("quillex-%1").arg(::getuid());
    // In a shared temporary folder another user may have made the name first.
    if (const QString folder = PrivateFolderIn(temporary, name); !folder.isEmpty())
        return folder;
    return PrivateFolderIn(home, "." + name);
}

QString InstanceRuntimeFolder()
{
    return InstanceRuntimeFolderFor(
        QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation), QDir::tempPath(), QDir::homePath());
}

TSingleInstance::TSingleInstance(const QString& folder, QObject* parent)
    : QObject(parent)
    , FFolder(folder)
    , FLock(folder + "/quillex.lock")
{
    // Never stale by age: only a lock whose process is gone is taken over.
    FLock.setStaleLockTime(0);
    connect(&FServer, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* peer = FServer.nextPendingConnection()) {
            connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            connect(peer, &QLocalSocket::readyRead, this, [this, peer] { ReadRequest(peer); });
        }
    });
}

QString TSingleInstance::ServerName() const
{
    return FFolder + "/quillex.socket";
}

bool TSingleInstance::Claim()
{
    if (FFolder.isEmpty()) {
        qWarning("quillex: no private runtime folder; a second window may start");
        return true;
    }
    QDir().mkpath(FFolder);
    if (!FLock.tryLock(0)) {
        if (FLock.error() == QLockFile::LockFailedError && LockIsUsers())
            return false;
        // A lock of another user, or one that cannot be read, is no window of
        // this user's: run alone rather than hand files to its owner.
        if (FLock.error() == QLockFile::LockFailedError) {
            qWarning("quillex: %s belongs to another user or cannot be read; this window runs on its own",
                qPrintable(FLock.fileName()));
            return true;
        }
        // No lock file possible (a read-only folder): run, but never take
        // over a socket that may belong to another instance.
        qWarning("quillex: cannot create %s; a second window may start", qPrintable(FLock.fileName()));
        FServer.listen(ServerName());
        return true;
    }
    // A socket file left by an owner that died; the lock is ours now.
    QLocalServer::removeServer(ServerName());
    FServer.setSocketOptions(QLocalServer::UserAccessOption);
    if (!FServer.listen(ServerName()))
        qWarning("quillex: cannot listen on %s: %s", qPrintable(ServerName()), qPrintable(FServer.errorString()));
    return true;
}

bool TSingleInstance::LockIsUsers() const
{
    struct stat info { };
    QFile lock(FLock.fileName());
    return ::lstat(QFile::encodeName(FLock.fileName()).constData(), &info) == 0 && S_ISREG(info.st_mode)
        && info.st_uid == ::getuid() && lock.open(QIODevice::ReadOnly);
}

bool TSingleInstance::HandOver(const QStringList& files, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    // The owner may have taken the lock and not be listening yet.
    for (;;) {
        socket.connectToServer(ServerName());
        if (socket.waitForConnected(int(qMax<qint64>(1, deadline.remainingTime()))))
            break;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(50);
    }
    socket.write(EncodeRequest(files));
    // The owner reads the request once its event loop runs (after its window is built).
    while (socket.bytesAvailable() < 1)
        if (deadline.hasExpired() || !socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
            return false;
    return socket.read(1) == QByteArray(1, Confirmation);
}

void TSingleInstance::ReadRequest(QLocalSocket* peer)
{
    if (peer->bytesAvailable() > MaxRequestBytes) {
        peer->abort();
        return;
    }
    QDataStream in(peer);
    in.setVersion(QDataStream::Qt_6_0);
    in.startTransaction();
    QStringList files;
    in >> files;
    if (!in.commitTransaction())
        return; // the rest is still on its way
    peer->write(QByteArray(1, Confirmation));
    peer->flush();
    QMetaObject::invokeMethod(
        this, [this, files] { emit Activated(files); }, Qt::QueuedConnection);
}
