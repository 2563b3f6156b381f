#pragma once
// Read-back verification of an upload: the device gives its stored program back
// on the download port, and the bytes are compared with the bytes that were
// sent (the normalised text, or the CMT file as it is). The outcome is a plain
// value that the window, the command line and a transfer record can keep.
#include "device/ProgramTransfer.h"

#include <QByteArray>
#include <QString>

struct TUploadVerification {
    enum class EOutcome { NotRun, Verified, Mismatch, Failed };
    EOutcome Outcome = EOutcome::NotRun;
    // CRC-32 (IEEE 802.3, as zlib) of the program read back from the device; 0
    // when nothing was read. Equals the sent bytes' CRC-32 when Verified.
    quint32 Crc32 = 0;
    // Position of the first differing byte, counted from 1 as the operator reads
    // it; for stored and sent bytes of different length that agree as far as the
    // shorter goes, the byte just past the shorter one. 0 unless Mismatch.
    qint64 FirstDifference = 0;
    // The operator's text: "Doğrulandı: ...", "Doğrulama başarısız: ..." or
    // "Doğrulanamadı: " followed by the read-back's message; empty when NotRun.
    QString Message;
};

quint32 Crc32Of(const QByteArray& bytes);
// Eight upper-case hexadecimal digits, as printf's %08X.
QString Crc32Text(quint32 crc);

// 1-based position of the first byte where the two differ; 0 when equal.
qint64 FirstDifferingByte(const QByteArray& sent, const QByteArray& stored);

// Verified or Mismatch, from the bytes sent and those the device gave back.
TUploadVerification CompareStoredProgram(const QByteArray& sent, const QByteArray& stored);

// Failed, with the read-back's message.
TUploadVerification VerificationFailed(const QString& readBackMessage);

// Downloads the device's stored program (cached PIN, maxFileSize bound as any
// download) and compares it with sent. Blocks like every device-link operation.
TUploadVerification VerifyStoredProgram(const QString& ipAddress, quint16 port, const QByteArray& sent,
    qint64 maxFileSize, const TSendProgramProgressProc& onProgress);

// "verified", "mismatch", "failed" or "not_run": the outcome's word for scripts.
QString OutcomeCode(TUploadVerification::EOutcome outcome);
