#pragma once
// The history as text: the stable field names and values that quillex-cli
// prints (lines, JSON, CSV) and that the dialog's CSV export writes, so the
// two never disagree.
#include "TransferRecord.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QStringList>

// "time", "user", "host", "device", "ip", "macid", "kind", ...
const QStringList& HistoryFieldNames();
// The record's values in the order of HistoryFieldNames; the time as ISO 8601 UTC.
QStringList HistoryFieldValues(const TTransferRecord& record);
QJsonObject HistoryRecordJson(const TTransferRecord& record);

// True for an operation that ended well and, for an upload that was read
// back, whose read-back found the device holding what was sent.
bool HistoryRecordSucceeded(const TTransferRecord& record);
// The stable word for how an operation ended: "ok", "failed", or for an upload
// sent whole but not found equal on reading it back "mismatch" or "verify_failed".
QString HistoryOutcomeName(const TTransferRecord& record);

// A field as a spreadsheet shows it and never runs: a leading =, +, -, @, tab
// or CR (but not a plain number) gets a single quote in front.
QString NeutralisedCsvField(const QString& field);
// One CSV line (RFC 4180: commas, quotes doubled, CR LF at the end), each field
// neutralised against formulas.
QByteArray CsvLine(const QStringList& fields);
// A header line and one line per record, in the order given.
QByteArray HistoryCsv(const QList<TTransferRecord>& records);
// The same into a file, replaced as a whole or not at all.
bool WriteHistoryCsv(const QString& fileName, const QList<TTransferRecord>& records, QString& errorMsg);

// "2026-12-10T15:57:23.120Z"
QString HistoryTimeText(const QDateTime& time);
// The operator's word for the outcome.
QString HistoryOutcomeCaption(bool success);
// One field of the plain, tab-separated listing: a backslash and every control
// character escaped ("\\", "\t", "\n", "\r", "\u001b"), so that one record
// is always one line of the same columns; "-" for an empty field.
QString PlainListingField(const QString& field);
// The read-back result as the operator reads it; "-" when none ran.
QString HistoryVerificationCaption(const QString& verification);

// What is on a machine, from the last upload that reached it:
// "Son gönderilen: O1234.nc (10.12.2026 14:03, ahmet, atolye-pc)" with the
// file's name alone and the local time.
QString LastSentCaption(const TTransferRecord& record);
// "doğrulandı", "doğrulanmadı" (not read back) or "doğrulama başarısız".
QString LastSentVerificationCaption(const TTransferRecord& record);
// The two as one line: "Son gönderilen: ... (...), doğrulandı".
QString LastSentLine(const TTransferRecord& record);
