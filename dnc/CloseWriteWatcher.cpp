#include "CloseWriteWatcher.h"

#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/inotify.h>
#include <unistd.h>

bool FileOpenForWriting(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return false;
    bool writing = false;
    if (::fcntl(fd, F_SETLEASE, F_RDLCK) == 0)
        ::fcntl(fd, F_SETLEASE, F_UNLCK);
    else
        writing = errno == EAGAIN; // EACCES for another owner's file: not known
    ::close(fd);
    return writing;
}

TCloseWriteWatcher::TCloseWriteWatcher(QObject* parent)
    : QObject(parent)
{
    FDescriptor = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (FDescriptor < 0) {
        FError = QString::fromLocal8Bit(std::strerror(errno));
        return;
    }
    FNotifier = new QSocketNotifier(FDescriptor, QSocketNotifier::Read, this);
    connect(FNotifier, &QSocketNotifier::activated, this, &TCloseWriteWatcher::ReadEvents);
}

TCloseWriteWatcher::~TCloseWriteWatcher()
{
    delete FNotifier; // before its descriptor goes
    if (FDescriptor >= 0)
        ::close(FDescriptor);
}

bool TCloseWriteWatcher::Watch(const QString& folder, QString& errorMsg)
{
    if (FDescriptor < 0) {
        errorMsg = FError;
        return false;
    }
    const int watch = ::inotify_add_watch(
        FDescriptor, QFile::encodeName(folder).constData(), IN_CLOSE_WRITE | IN_MOVED_TO | IN_CREATE | IN_ONLYDIR);
    if (watch < 0) {
        errorMsg = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    FFolders.insert(watch, folder);
    return true;
}

void TCloseWriteWatcher::ReadEvents()
{
    alignas(inotify_event) char buffer[16384];
    while (true) {
        const ssize_t length = ::read(FDescriptor, buffer, sizeof buffer);
        if (length <= 0)
            return; // EAGAIN: all read
        for (ssize_t at = 0; at + ssize_t(sizeof(inotify_event)) <= length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += sizeof(inotify_event) + event->len;
            if (event->mask & IN_Q_OVERFLOW) {
                emit Overflowed();
                continue;
            }
            if (event->mask & IN_IGNORED) {
                FFolders.remove(event->wd); // the folder went away
                continue;
            }
            if ((event->mask & IN_ISDIR) || event->len == 0 || !FFolders.contains(event->wd))
                continue;
            emit FileReady(FFolders.value(event->wd), QFile::decodeName(event->name));
        }
    }
}
