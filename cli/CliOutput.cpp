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

bool WriteOutput(const QString& path, const QByteArray& bytes, QString& errorMsg)
{
    if (path != "-")
        return WriteWholeFile(path, bytes, errorMsg);
    const bool written = std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) == size_t(bytes.size());
    if (!written || std::fflush(stdout) != 0) {
        errorMsg = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    return true;
}
