#include "UploadVerification.h"

#include <zlib.h>

#include <algorithm>

namespace {

// ReceiveProgramFromDevice's message for a device that holds nothing.
const char* const NoStoredProgram = "QUILLEX'de kayıtlı dosya yok";

} // namespace

quint32 Crc32Of(const QByteArray& bytes)
{
    uLong crc = crc32(0L, Z_NULL, 0);
    const auto* data = reinterpret_cast<const Bytef*>(bytes.constData());
    qsizetype left = bytes.size();
    // zlib counts in uInt: a longer buffer goes in pieces.
    while (left > 0) {
        const uInt piece = uInt(std::min<qsizetype>(left, 1 << 30));
        crc = crc32(crc, data, piece);
        data += piece;
        left -= piece;
    }
    return quint32(crc);
}

QString Crc32Text(quint32 crc)
{
    return QString("%1").arg(crc, 8, 16, QChar('0')).toUpper();
}

qint64 FirstDifferingByte(const QByteArray& sent, const QByteArray& stored)
{
    const auto [a, b] = std::mismatch(sent.cbegin(), sent.cend(), stored.cbegin(), stored.cend());
    if (a == sent.cend() && b == stored.cend())
        return 0;
    return qint64(a - sent.cbegin()) + 1;
}

TUploadVerification CompareStoredProgram(const QByteArray& sent, const QByteArray& stored)
{
    TUploadVerification result;
    result.Crc32 = Crc32Of(stored);
    result.FirstDifference = FirstDifferingByte(sent, stored);
    if (result.FirstDifference == 0) {
        result.Outcome = TUploadVerification::EOutcome::Verified;
        result.Message = QString::fromUtf8("Doğrulandı: cihazdaki program gönderilenle aynı (CRC32 %1)")
                             .arg(Crc32Text(result.Crc32));
    } else {
        result.Outcome = TUploadVerification::EOutcome::Mismatch;
        result.Message
            = QString::fromUtf8("Doğrulama başarısız: cihazdaki program gönderilenden farklı (ilk fark %1. baytta).")
                  .arg(result.FirstDifference);
    }
    return result;
}

TUploadVerification VerificationFailed(const QString& readBackMessage)
{
    TUploadVerification result;
    result.Outcome = TUploadVerification::EOutcome::Failed;
    result.Message = QString::fromUtf8("Doğrulanamadı: ") + readBackMessage;
    return result;
}

TUploadVerification VerifyStoredProgram(const QString& ipAddress, quint16 port, const QByteArray& sent,
    qint64 maxFileSize, const TSendProgramProgressProc& onProgress)
{
    QByteArray stored;
    bool isRaw = false;
    QString message;
    bool received = false;
    try {
        received = ReceiveProgramFromDevice(ipAddress, port, stored, isRaw, message, onProgress, maxFileSize);
    } catch (const EQuillexError& e) {
        message = e.Message();
    } catch (const std::bad_alloc&) {
        message = QString::fromUtf8("Bellek yetersiz, aktarım yapılamadı");
    }
    // An empty upload leaves the device holding nothing, which is what was sent.
    if (!received && !(sent.isEmpty() && message == QString::fromUtf8(NoStoredProgram)))
        return VerificationFailed(message);
    return CompareStoredProgram(sent, stored);
}

QString OutcomeCode(TUploadVerification::EOutcome outcome)
{
    switch (outcome) {
    case TUploadVerification::EOutcome::Verified:
        return "verified";
    case TUploadVerification::EOutcome::Mismatch:
        return "mismatch";
    case TUploadVerification::EOutcome::Failed:
        return "failed";
    case TUploadVerification::EOutcome::NotRun:
        break;
    }
    return "not_run";
}
