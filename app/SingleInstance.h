#pragma once
// One window per user. A start first takes a lock file in the runtime folder,
// then listens on a local socket beside it, and only then builds its window;
// a later start that finds the lock taken hands its command line's files to
// the owner over that socket and ends. Deciding ownership by the lock leaves
// no gap in which two starts both see "nobody listens" and both stay.
#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QStringList>

class QLocalSocket;

class TSingleInstance : public QObject {
    Q_OBJECT
public:
    // folder: the user's runtime folder ($XDG_RUNTIME_DIR), private to the user.
    explicit TSingleInstance(const QString& folder, QObject* parent = nullptr);

    // Takes the lock and listens. False when a living instance owns the lock.
    bool Claim();

    // Gives the files (absolute paths, may be empty) to the instance that owns
    // the lock, waiting for it to start listening; true once it confirmed.
    bool HandOver(const QStringList& files, int timeoutMs = 10000);

    QString ServerName() const;

signals:
    // A later start asked for the window, with the files named on its command
    // line. Delivered queued, so the receiver may open modal dialogs.
    void Activated(const QStringList& files);

private:
    void ReadRequest(QLocalSocket* peer);

    QString FFolder;
    QLockFile FLock;
    QLocalServer FServer;
};

// The user's runtime folder as Qt finds it, or a private folder under the
// temporary folder where there is none.
QString InstanceRuntimeFolder();
