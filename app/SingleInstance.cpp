// Single instance per user: a lock file decides the owner, a local socket
// carries a later start's files to it.
#include "SingleInstance.h"

#include <QDataStream>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

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

QString InstanceRuntimeFolder()
{
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtime.isEmpty())
        return runtime;
    return QDir::tempPath() + QString("/quillex-%1").arg(::getuid());
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
    QDir().mkpath(FFolder);
    if (!FLock.tryLock(0)) {
        if (FLock.error() == QLockFile::LockFailedError)
            return false;
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
