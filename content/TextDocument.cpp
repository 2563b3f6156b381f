#include "TextDocument.h"

#include "CodePage.h"
#include "LargeBuffer.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char16_t LineSeparator = 0x2028;

// Unicode's well-formed UTF-8 byte sequences (no overlongs, no surrogates,
// nothing above U+10FFFF).
bool IsWellFormedUtf8Sequence(const unsigned char* p, qsizetype left)
{
    const unsigned char lead = p[0];
    int length;
    unsigned char lo = 0x80, hi = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            lo = 0xA0;
        else if (lead == 0xED)
            hi = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            lo = 0x90;
        else if (lead == 0xF4)
            hi = 0x8F;
    } else {
        return false;
    }
    if (left < length)
        return false;
    if (p[1] < lo || p[1] > hi)
        return false;
    for (int i = 2; i < length; ++i)
        if (p[i] < 0x80 || p[i] > 0xBF)
            return false;
    return true;
}

QString DecodeUtf16(const QByteArray& bytes, qsizetype offset, bool bigEndian)
{
    const qsizetype units = (bytes.size() - offset) / 2;
    const bool oddTail = (bytes.size() - offset) % 2 != 0;
    QString text(units + (oddTail ? 1 : 0), Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.constData()) + offset;
    for (qsizetype i = 0; i < units; ++i)
        out[i] = bigEndian ? char16_t((in[2 * i] << 8) | in[2 * i + 1]) : char16_t(in[2 * i] | (in[2 * i + 1] << 8));
    if (oddTail)
        out[units] = 0xFFFD;
    return text;
}

QByteArray EncodeUtf16(QStringView text, bool bigEndian, bool withMark)
{
    QByteArray bytes;
    bytes.reserve(text.size() * 2 + 2);
    auto put = [&](char16_t u) {
        if (bigEndian) {
            bytes.append(char(u >> 8));
            bytes.append(char(u & 0xFF));
        } else {
            bytes.append(char(u & 0xFF));
            bytes.append(char(u >> 8));
        }
    };
    if (withMark)
        put(0xFEFF);
    for (QChar c : text)
        put(c.unicode());
    return bytes;
}

} // namespace

QString LineBreakText(TLineBreakStyle style)
{
    switch (style) {
    case TLineBreakStyle::Lf:
        return QStringLiteral("\n");
    case TLineBreakStyle::Cr:
        return QStringLiteral("\r");
    case TLineBreakStyle::LineSeparator:
        return QString(QChar(LineSeparator));
    case TLineBreakStyle::CrLf:
        break;
    }
    return QStringLiteral("\r\n");
}

void SplitTextLines(QStringView text, QStringList& lines, TLineBreakStyle& style, bool& trailingLineBreak)
{
    lines.clear();
    bool sawCr = false, sawLf = false, sawSeparator = false;
    const char16_t* data = text.utf16();
    const qsizetype size = text.size();
    qsizetype lineStart = 0;
    trailingLineBreak = false;
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = data[i];
        if (c > 13 && c != LineSeparator)
            continue;
        qsizetype breakLength;
        if (c == '\r') {
            sawCr = true;
            breakLength = (i + 1 < size && data[i + 1] == '\n') ? 2 : 1;
            if (breakLength == 2)
                sawLf = true;
        } else if (c == '\n') {
            sawLf = true;
            breakLength = 1;
        } else if (c == LineSeparator) {
            sawSeparator = true;
            breakLength = 1;
        } else {
            continue;
        }
        lines.append(QString(reinterpret_cast<const QChar*>(data + lineStart), i - lineStart));
        i += breakLength - 1;
        lineStart = i + 1;
    }
    if (lineStart < size)
        lines.append(QString(reinterpret_cast<const QChar*>(data + lineStart), size - lineStart));
    else
        trailingLineBreak = size > 0;

    if (sawSeparator)
        style = TLineBreakStyle::LineSeparator;
    else if (sawCr && !sawLf)
        style = TLineBreakStyle::Cr;
    else if (sawLf && !sawCr)
        style = TLineBreakStyle::Lf;
    else
        style = TLineBreakStyle::CrLf;
}

QStringList SplitTextLines(QStringView text)
{
    QStringList lines;
    TLineBreakStyle style;
    bool trailing;
    SplitTextLines(text, lines, style, trailing);
    return lines;
}

QString JoinTextLines(const QStringList& lines, TLineBreakStyle style, bool trailingLineBreak)
{
    const QString lineBreak = LineBreakText(style);
    qsizetype total = 0;
    for (const QString& line : lines)
        total += line.size() + lineBreak.size();
    QString text;
    text.reserve(total);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        text += lines[i];
        if (i + 1 < lines.size() || trailingLineBreak)
            text += lineBreak;
    }
    return text;
}

TTextEncoding DetectEncoding(const QByteArray& bytes, bool& hasByteOrderMark)
{
    hasByteOrderMark = true;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return TTextEncoding::Utf8;
    if (bytes.startsWith("\xFF\xFE"))
        return TTextEncoding::Utf16LE;
    if (bytes.startsWith("\xFE\xFF"))
        return TTextEncoding::Utf16BE;
    hasByteOrderMark = false;

    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype sniff = qMin(bytes.size(), Utf8SniffLength);
    for (qsizetype i = 0; i < sniff; ++i) {
        if (p[i] > 0x7F)
            return IsWellFormedUtf8Sequence(p + i, bytes.size() - i) ? TTextEncoding::Utf8 : TTextEncoding::Ansi;
    }
    return TTextEncoding::Ansi;
}

QString DecodeText(const QByteArray& bytes, TTextEncoding encoding, bool hasByteOrderMark)
{
    switch (encoding) {
    case TTextEncoding::Utf8: {
        const qsizetype skip = hasByteOrderMark ? 3 : 0;
        return QString::fromUtf8(bytes.constData() + skip, bytes.size() - skip);
    }
    case TTextEncoding::Utf16LE:
    case TTextEncoding::Utf16BE:
        return DecodeUtf16(bytes, hasByteOrderMark ? 2 : 0, encoding == TTextEncoding::Utf16BE);
    case TTextEncoding::Ansi:
        break;
    }
    return DecodeAnsi(bytes);
}

QByteArray EncodeText(QStringView text, TTextEncoding encoding, bool withByteOrderMark)
{
    switch (encoding) {
    case TTextEncoding::Utf8:
        return (withByteOrderMark ? QByteArray("\xEF\xBB\xBF") : QByteArray()) + text.toUtf8();
    case TTextEncoding::Utf16LE:
        return EncodeUtf16(text, false, withByteOrderMark);
    case TTextEncoding::Utf16BE:
        return EncodeUtf16(text, true, withByteOrderMark);
    case TTextEncoding::Ansi:
        break;
    }
    return EncodeAnsi(text);
}

QByteArray WriteTextDocument(const TTextDocument& document)
{
    const QString text = JoinTextLines(document.Lines, document.LineBreak, document.TrailingLineBreak);
    return EncodeText(text, document.Encoding, document.HasByteOrderMark);
}

bool ReadWholeFile(const QString& fileName, QByteArray& bytes, QString& errorMsg)
{
    return ReadWholeFile(fileName, bytes, errorMsg, {});
}

bool ReadWholeFile(
    const QString& fileName, QByteArray& bytes, QString& errorMsg, const std::function<void()>& beforeReading)
{
    bytes.clear();
    // Non-blocking, so that opening a FIFO does not wait for a writer.
    const int fd = ::open(QFile::encodeName(fileName).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        QFile file(fileName);
        file.open(QIODevice::ReadOnly);
        errorMsg = file.errorString();
        return false;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        errorMsg = file.errorString();
        return false;
    }
    struct stat info { };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        errorMsg = QString::fromUtf8("Normal bir dosya değil, okunmadı");
        return false;
    }
    if (info.st_size > MaxReadFileBytes) {
        errorMsg = QString::fromUtf8("Dosya çok büyük (%1 bayt; en fazla %2 bayt okunur)")
                       .arg(qint64(info.st_size))
                       .arg(MaxReadFileBytes);
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (beforeReading)
        beforeReading();
    // Read straight into a buffer of the file's size. Once it is full, a
    // small read tells the end from a file that grew meanwhile (which stops
    // at the limit too), so that the usual file is never copied.
    bytes.resize(qsizetype(info.st_size));
    AdviseHugePages(bytes);
    qsizetype size = 0;
    while (size <= MaxReadFileBytes) {
        char probe[1 << 16];
        const bool full = size == bytes.size();
        const qint64 room = full ? qMin<qint64>(sizeof probe, MaxReadFileBytes + 1 - size) : bytes.size() - size;
        const qint64 n = file.read(full ? probe : bytes.data() + size, room);
        if (n < 0 || file.error() != QFileDevice::NoError) {
            errorMsg = file.errorString();
            bytes.clear();
            return false;
        }
        if (n == 0)
            break;
        if (full) {
            bytes.resize(qMin<qsizetype>(qMax<qsizetype>(2 * size, size + n), MaxReadFileBytes + 1));
            std::memcpy(bytes.data() + size, probe, size_t(n));
        }
        size += n;
    }
    bytes.truncate(size);
    if (bytes.size() > MaxReadFileBytes) {
        errorMsg = QString::fromUtf8("Dosya çok büyük (en fazla %1 bayt okunur)").arg(MaxReadFileBytes);
        bytes.clear();
        return false;
    }
    return true;
}

bool WriteWholeFile(const QString& fileName, const QByteArray& bytes, QString& errorMsg)
{
    // A FIFO, a device or a terminal is written into, never replaced by a
    // regular file of the same name (run as root, that would replace a node
    // under /dev).
    struct stat info { };
    if (::stat(QFile::encodeName(fileName).constData(), &info) == 0
        && (S_ISFIFO(info.st_mode) || S_ISCHR(info.st_mode))) {
        QFile file(fileName);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) || file.write(bytes) != bytes.size()) {
            errorMsg = file.errorString();
            return false;
        }
        return true;
    }
    QSaveFile file(fileName);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        errorMsg = file.errorString();
        return false;
    }
    return true;
}

TFileSystemSync::TFileSystemSync(const QString& folder)
    : FFd(::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    , FOpenError(FFd < 0 ? errno : 0)
{
}

TFileSystemSync::~TFileSystemSync()
{
    if (FFd >= 0)
        ::close(FFd);
}

bool TFileSystemSync::WriteNewFile(const QString& name, const QByteArray& bytes, QString& errorMsg)
{
    if (FFd < 0) {
        errorMsg = QString::fromLocal8Bit(std::strerror(FOpenError));
        return false;
    }
    // A name, not a path: nothing is written outside the folder.
    if (name.isEmpty() || name == "." || name == ".." || name.contains('/')) {
        errorMsg = QString::fromLocal8Bit(std::strerror(EINVAL));
        return false;
    }
    // Opened by its name in the folder already open: no path walked, no
    // status read, for each of thousands of files.
    const QByteArray encoded = QFile::encodeName(name);
    const int fd = ::openat(FFd, encoded.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        errorMsg = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    int error = 0;
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            error = written < 0 ? errno : EIO;
            break;
        }
        data += written;
        left -= written;
    }
    if (::close(fd) != 0 && error == 0 && errno != EINTR)
        error = errno;
    if (error != 0) {
        ::unlinkat(FFd, encoded.constData(), 0); // never left half-written
        errorMsg = QString::fromLocal8Bit(std::strerror(error));
        return false;
    }
    return true;
}

bool TFileSystemSync::Sync(QString& errorMsg)
{
    // One flush of the whole file system instead of one wait per file.
    const int error = FFd < 0 ? FOpenError : ::syncfs(FFd) == 0 ? 0 : errno;
    if (error != 0)
        errorMsg = QString::fromLocal8Bit(std::strerror(error));
    return error == 0;
}
