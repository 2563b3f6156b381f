#include "DncFolders.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QUuid>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

const char* const SentFolderName = "gönderildi";
const char* const FailedFolderName = "hata";
const char* const SendingFolderName = "işleniyor";

namespace {

constexpr int MaxFolderNameLength = 100;
constexpr int UidLength = 36; // QUuid without braces

} // namespace

QString DeviceFolderName(const QString& displayName, const QString& fallback)
{
    QString name;
    for (const QChar c : displayName) {
        const bool control = c.unicode() < 0x20 || (c.unicode() >= 0x7f && c.unicode() < 0xa0);
        name += (control || c == u'/' || c == u'\\') ? QChar(u'_') : c;
    }
    name = name.trimmed();
    if (name.startsWith(u'.'))
        name[0] = u'_'; // neither hidden nor "." or ".."
    if (name.size() > MaxFolderNameLength)
        name.truncate(MaxFolderNameLength);
    if (name.isEmpty() && !fallback.isEmpty())
        return DeviceFolderName(fallback, {});
    return name.isEmpty() ? QString("_") : name;
}

bool IsProgramFileName(const QString& name)
{
    if (name.isEmpty() || name.startsWith(u'.') || name.endsWith(u'~') || name.startsWith(u'#'))
        return false;
    for (const char* suffix : { ".tmp", ".part", ".swp", ".crdownload", ".filepart" })
        if (name.endsWith(QLatin1String(suffix), Qt::CaseInsensitive))
            return false;
    return true;
}

QString StampedFileName(const QString& name, const QDateTime& time)
{
    const QString stamp = time.toString("yyyyMMdd-HHmmss");
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot <= 0)
        return name + u'_' + stamp;
    return name.left(dot) + u'_' + stamp + name.mid(dot);
}

QString SendingFileName(const QString& uid, const QString& name)
{
    return uid + u'_' + name;
}

bool ParseSendingFileName(const QString& sendingName, QString& uid, QString& name)
{
    if (sendingName.size() <= UidLength + 1 || sendingName[UidLength] != u'_')
        return false;
    uid = sendingName.left(UidLength);
    name = sendingName.mid(UidLength + 1);
    return !QUuid::fromString(uid).isNull();
}

QString MoveFileInto(const QString& path, const QString& folder, const QString& name, QString& errorMsg)
{
    if (!QDir().mkpath(folder)) {
        errorMsg = QString::fromUtf8("%1 klasörü oluşturulamadı").arg(folder);
        return {};
    }
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString base = dot > 0 ? name.left(dot) : name;
    const QString extension = dot > 0 ? name.mid(dot) : QString();
    const QByteArray from = QFile::encodeName(path);
    for (int n = 1; n < 10000; ++n) {
        const QString target
            = QDir(folder).filePath(n == 1 ? name : QString("%1-%2%3").arg(base).arg(n).arg(extension));
        // renameat2 with RENAME_NOREPLACE: a file of that name that appeared
        // meanwhile is never overwritten.
        const QByteArray to = QFile::encodeName(target);
        if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
            return target;
        // A file system without it: a link fails on a taken name as well.
        if (errno == EINVAL && ::link(from.constData(), to.constData()) == 0) {
            if (::unlink(from.constData()) == 0)
                return target;
            const int error = errno;
            ::unlink(to.constData());
            errno = error;
        }
        if (errno != EEXIST) {
            errorMsg = QString::fromLocal8Bit(std::strerror(errno));
            return {};
        }
    }
    errorMsg = QString::fromUtf8("%1 içinde boş bir ad bulunamadı").arg(folder);
    return {};
}

bool WriteTextFile(const QString& path, const QString& text, QString& errorMsg)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0 || !file.commit()) {
        errorMsg = file.errorString();
        return false;
    }
    return true;
}
