// The transfer record's helpers: kind names, the operator's identity and the
// fingerprints of the bytes moved.
#include "TransferRecord.h"

#include "content/CodePage.h"

#include <QSysInfo>

#include <openssl/evp.h>
#include <pwd.h>
#include <unistd.h>
#include <zlib.h>

namespace {

struct TKindNames {
    TTransferKind Kind;
    const char* Name;
    const char* Caption;
};

const TKindNames KindNames[] = {
    { TTransferKind::Upload, "upload", "Cihaza gönderme" },
    { TTransferKind::Download, "download", "Cihazdan alma" },
    { TTransferKind::StartFrom, "startfrom", "Yarıdan başlatma" },
    { TTransferKind::Settings, "settings", "Ayarlar" },
};

// Command words whose argument is a PIN.
const char* const PinCommands[] = { "SETPIN&", "PIN&" };

} // namespace

QString TransferKindName(TTransferKind kind)
{
    for (const TKindNames& k : KindNames)
        if (k.Kind == kind)
            return k.Name;
    return {};
}

bool TransferKindFromName(const QString& name, TTransferKind& kind)
{
    for (const TKindNames& k : KindNames)
        if (name == k.Name) {
            kind = k.Kind;
            return true;
        }
    return false;
}

QString TransferKindCaption(TTransferKind kind)
{
    for (const TKindNames& k : KindNames)
        if (k.Kind == kind)
            return QString::fromUtf8(k.Caption);
    return {};
}

QString CurrentUserName()
{
    // The account, not an environment variable anyone can set.
    if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_name)
        return QString::fromLocal8Bit(pw->pw_name);
    return qEnvironmentVariable("USER");
}

QString CurrentHostName()
{
    return QSysInfo::machineHostName();
}

TTransferRecord NewTransferRecord(
    TTransferKind kind, const QString& deviceName, const QString& ipAddress, const QString& macId)
{
    TTransferRecord record;
    record.Time = QDateTime::currentDateTimeUtc();
    record.UserName = CurrentUserName();
    record.HostName = CurrentHostName();
    record.DeviceName = deviceName;
    record.IPAddress = ipAddress;
    record.MacId = macId;
    record.Kind = kind;
    return record;
}

void SetRecordBytes(TTransferRecord& record, const QByteArray& bytes)
{
    record.ByteCount = bytes.size();
    uLong crc = ::crc32(0L, Z_NULL, 0);
    // zlib takes at most 4 GiB at a time.
    for (qsizetype at = 0; at < bytes.size();) {
        const uInt piece = uInt(qMin<qsizetype>(bytes.size() - at, 1 << 30));
        crc = ::crc32(crc, reinterpret_cast<const Bytef*>(bytes.constData() + at), piece);
        at += piece;
    }
    record.Crc32 = QString("%1").arg(quint32(crc), 8, 16, QChar('0')).toUpper();
    record.Sha256 = Sha256Hex(bytes);
}

QString Sha256Hex(QByteArrayView bytes)
{
    // OpenSSL's digest uses the processor's SHA instructions: a program of
    // tens of MiB is hashed in a few hundredths of a second.
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), size_t(bytes.size()), digest, &length, EVP_sha256(), nullptr) != 1)
        length = 0;
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(digest), int(length)).toHex());
}

QString MaskPinCommand(const QString& line)
{
    for (const char* command : PinCommands)
        if (line.startsWith(QLatin1String(command), Qt::CaseInsensitive)) {
            const qsizetype head = qsizetype(qstrlen(command));
            return line.left(head) + QString(line.size() - head, QChar('*'));
        }
    return line;
}

void SetRecordCommands(TTransferRecord& record, const QStringList& commands)
{
    QStringList masked;
    bool pin = false;
    QByteArray wire;
    for (const QString& line : commands) {
        masked << MaskPinCommand(line);
        pin = pin || masked.last() != line;
        wire += EncodeAnsi(line) + '\n'; // as the command channel sends it
    }
    record.Detail = masked.join('\n');
    if (pin) {
        record.ByteCount = wire.size();
        record.Crc32.clear();
        record.Sha256.clear();
        return;
    }
    SetRecordBytes(record, wire);
}

QString HistoryVerification(const TUploadVerification& verification)
{
    switch (verification.Outcome) {
    case TUploadVerification::EOutcome::Verified:
        return "verified";
    case TUploadVerification::EOutcome::Mismatch:
        return "mismatch";
    case TUploadVerification::EOutcome::Failed:
        return "failed: " + verification.Message;
    case TUploadVerification::EOutcome::NotRun:
        break;
    }
    return {};
}
