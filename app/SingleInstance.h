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

    // Takes the lock and listens. False when a living instance of this user
    // owns the lock; a lock of another user or one that cannot be read counts
    // for nothing (the window then runs on its own, without listening).
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
    bool LockIsUsers() const;

    QString FFolder;
    QLockFile FLock;
    QLocalServer FServer;
};

// The user's runtime folder as Qt finds it, or where there is none a private
// folder "quillex-UID" under the temporary folder (made 0700; used only when it
// is the user's own with no access for others), else ".quillex-UID" in the
// home folder under the same rule; empty when neither can be had.
QString InstanceRuntimeFolder();
QString InstanceRuntimeFolderFor(const QString& runtime, const QString& temporary, const QString& home);
// A folder (not a link) of the user's own that nobody else may enter.
bool IsPrivateFolder(const QString& folder);
