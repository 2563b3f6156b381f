#pragma once
// One finished operation with a device, as the transfer history keeps it:
// who moved which bytes to or from which device, when, how long it took, how
// it ended, and what the operator was shown.
#include "transfer/UploadVerification.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

enum class TTransferKind { Upload, Download, StartFrom, Settings };

// The stable English words stored and printed for each kind ("upload", ...).
QString TransferKindName(TTransferKind kind);
bool TransferKindFromName(const QString& name, TTransferKind& kind);
// The operator's words for a kind ("Cihaza gönderme", "Cihazdan alma", ...).
QString TransferKindCaption(TTransferKind kind);

struct TTransferRecord {
    qint64 Id = 0; // given by the store
    QDateTime Time; // UTC, when the operation ended
    QString UserName;
    QString HostName;
    QString DeviceName;
    QString IPAddress;
    QString MacId;
    TTransferKind Kind = TTransferKind::Upload;
    QString FileName; // the program file, if any
    QString Detail; // the command lines of a batch, PINs masked
    qint64 ByteCount = 0;
    QString Crc32; // 8 upper-case hex digits; empty when the bytes are not kept
    QString Sha256; // 64 lower-case hex digits; empty likewise
    qint64 DurationMs = 0;
    bool Success = false;
    QString Message; // the text the operator was shown
    // The read-back result: "" when none ran, "verified", "mismatch", or
    // "failed: " + its message.
    QString Verification;
    // Made on the workstation when the record is first stored: the shared
    // history keeps a record sent twice once.
    QString Uid;
};

// A record of now for the device, with the operator's user and host names.
TTransferRecord NewTransferRecord(
    TTransferKind kind, const QString& deviceName, const QString& ipAddress, const QString& macId);

// The read-back's result as the history keeps it (see Verification).
QString HistoryVerification(const TUploadVerification& verification);

// The byte count, CRC-32 and SHA-256 of the bytes sent or received.
void SetRecordBytes(TTransferRecord& record, const QByteArray& bytes);
// 64 lower-case hex digits; empty when the digest cannot be made.
QString Sha256Hex(QByteArrayView bytes);

// A command batch: its lines as sent (each ended by a line feed) are the
// record's bytes, unless a line carries a PIN, whose digits a hash of so few
// possibilities would give away: then the lines are kept masked and unhashed.
void SetRecordCommands(TTransferRecord& record, const QStringList& commands);

// "SETPIN&1234" gives "SETPIN&****"; other lines are returned unchanged.
QString MaskPinCommand(const QString& line);

// The operator's user name and the computer's host name.
QString CurrentUserName();
QString CurrentHostName();
