// Files of quillex-cli, where "-" stands for standard input or output.
#include "CliOutput.h"

#include "content/TextDocument.h"

#include <QFile>

#include <cerrno>
#include <cstring>

bool ReadInput(const QString& path, QByteArray& bytes, QString& errorMsg)
{
    if (path != "-")
        return ReadWholeFile(path, bytes, errorMsg);
    QFile in;
    if (!in.open(stdin, QIODevice::ReadOnly)) {
        errorMsg = in.errorString();
        return false;
    }
    bytes = in.readAll();
    if (in.error() != QFileDevice::NoError) {
        errorMsg = in.errorString();
        return false;
    }
    return true;
}

namespace {
QString StdoutError; // the first failed write's reason
bool StdoutErrorReported = false; // said already by the verb that met it

void KeepStdoutError()
{
    if (StdoutError.isEmpty())
        StdoutError = QString::fromLocal8Bit(std::strerror(errno ? errno : EIO));
}

bool FlushStdout()
{
    errno = 0;
    if (std::fflush(stdout) == 0 && !std::ferror(stdout))
        return StdoutError.isEmpty();
    KeepStdoutError();
    return false;
}
} // namespace

bool PutStdout(const char* data, qsizetype size)
{
    if (size <= 0)
        return StdoutError.isEmpty();
    errno = 0;
    if (std::fwrite(data, 1, size_t(size), stdout) == size_t(size))
        return StdoutError.isEmpty();
    KeepStdoutError();
    return false;
}

QString FinishStdout()
{
    // A write that failed elsewhere (a direct fwrite) leaves the stream's error flag.
    if (FlushStdout() || StdoutErrorReported)
        return QString();
    return "standard output: " + StdoutError;
}

bool WriteOutput(const QString& path, const QByteArray& bytes, QString& errorMsg)
{
    if (path != "-")
        return WriteWholeFile(path, bytes, errorMsg);
    if (PutStdout(bytes) && FlushStdout())
        return true;
    errorMsg = "standard output: " + StdoutError;
    StdoutErrorReported = true;
    return false;
}
