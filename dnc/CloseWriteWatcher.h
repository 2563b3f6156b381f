#pragma once
// Tells when a file in a watched folder was closed after writing, moved into
// it, or linked into it whole (inotify IN_CLOSE_WRITE, IN_MOVED_TO and
// IN_CREATE: QSaveFile and other writers of an unnamed temporary file link the
// finished file in and close it nameless). A created file may still be open
// for writing: FileOpenForWriting tells. The inotify descriptor is owned and
// closed with the object.
#include <QHash>
#include <QObject>
#include <QString>

class QSocketNotifier;

// True while some process holds the file open for writing, as far as a read
// lease tells (it can be taken only when no one writes the file); false when
// nobody does or the lease cannot be asked for (a file of another owner).
bool FileOpenForWriting(const QString& path);

class TCloseWriteWatcher : public QObject {
    Q_OBJECT
public:
    explicit TCloseWriteWatcher(QObject* parent = nullptr);
    ~TCloseWriteWatcher() override;
    TCloseWriteWatcher(const TCloseWriteWatcher&) = delete;
    TCloseWriteWatcher& operator=(const TCloseWriteWatcher&) = delete;

    // Empty when inotify could not be had, else the reason.
    QString Error() const { return FError; }
    // False with the reason when the folder cannot be watched.
    bool Watch(const QString& folder, QString& errorMsg);

signals:
    // The folder as given to Watch and the file's name in it.
    void FileReady(const QString& folder, const QString& name);
    // The kernel's queue ran over: events were lost, the folders must be read again.
    void Overflowed();

private:
    void ReadEvents();

    int FDescriptor = -1;
    QSocketNotifier* FNotifier = nullptr;
    QHash<int, QString> FFolders; // watch descriptor to folder
    QString FError;
};
