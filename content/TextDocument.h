#pragma once
// Program text files: encoding, byte-order mark and line-break detection on
// reading, and writing back in the same form.
#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

enum class TTextEncoding { Ansi, Utf8, Utf16LE, Utf16BE };
enum class TLineBreakStyle { CrLf, Lf, Cr, LineSeparator };

struct TTextDocument {
    QStringList Lines;
    TTextEncoding Encoding = TTextEncoding::Ansi;
    bool HasByteOrderMark = false;
    TLineBreakStyle LineBreak = TLineBreakStyle::CrLf;
    // Whether the text ended with a line break; writing repeats it so that a
    // file read and written back stays byte-identical.
    bool TrailingLineBreak = true;
};

QString LineBreakText(TLineBreakStyle style);

// Splits at CR LF, lone CR, lone LF and U+2028. A break at the very end ends
// the last line and opens no empty one.
void SplitTextLines(QStringView text, QStringList& lines, TLineBreakStyle& style, bool& trailingLineBreak);
QStringList SplitTextLines(QStringView text);

// The lines joined with the style; the style after the last line too when asked.
QString JoinTextLines(const QStringList& lines, TLineBreakStyle style, bool trailingLineBreak);

// How many leading bytes decide between UTF-8 and the ANSI code page.
constexpr qsizetype Utf8SniffLength = 16384;

TTextEncoding DetectEncoding(const QByteArray& bytes, bool& hasByteOrderMark);
QString DecodeText(const QByteArray& bytes, TTextEncoding encoding, bool hasByteOrderMark);
QByteArray EncodeText(QStringView text, TTextEncoding encoding, bool withByteOrderMark);

QByteArray WriteTextDocument(const TTextDocument& document);

// No program, capture or CMT file comes near this; a longer file is refused
// before a byte of it is read.
constexpr qint64 MaxReadFileBytes = qint64(1) << 30;

// File access with the platform's error message on failure. Only regular files
// are read: a FIFO, a device or a folder is refused without blocking.
bool ReadWholeFile(const QString& fileName, QByteArray& bytes, QString& errorMsg);
// The same; beforeReading runs once the file is known to be a readable file
// within the limit, just before its content is read.
bool ReadWholeFile(
    const QString& fileName, QByteArray& bytes, QString& errorMsg, const std::function<void()>& beforeReading);
// A regular file is replaced whole (written beside it, then renamed); a FIFO,
// a character device or a terminal is written into directly.
bool WriteWholeFile(const QString& fileName, const QByteArray& bytes, QString& errorMsg);
// Makes everything written to the file system of a folder durable at once.
// Made before the files are written: Sync() then also reports a write-back
// error the system met on any of them in the meantime.
class TFileSystemSync {
public:
    explicit TFileSystemSync(const QString& folder);
    ~TFileSystemSync();
    TFileSystemSync(const TFileSystemSync&) = delete;
    TFileSystemSync& operator=(const TFileSystemSync&) = delete;
    // Writes a file of the folder (a name, not a path) that must not exist
    // yet and leaves it to the system to reach the disk, so that many files
    // cost one wait (Sync). A file not written whole is removed.
    bool WriteNewFile(const QString& name, const QByteArray& bytes, QString& errorMsg);
    // Waits until the data is on the disk; false with the system's message.
    bool Sync(QString& errorMsg);

private:
    int FFd = -1;
    int FOpenError = 0;
};
