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

// One CSV line (RFC 4180: commas, quotes doubled, CR LF at the end).
QByteArray CsvLine(const QStringList& fields);
// A header line and one line per record, in the order given.
QByteArray HistoryCsv(const QList<TTransferRecord>& records);
// The same into a file, replaced as a whole or not at all.
bool WriteHistoryCsv(const QString& fileName, const QList<TTransferRecord>& records, QString& errorMsg);

// "2026-12-10T15:57:23.120Z"
QString HistoryTimeText(const QDateTime& time);
// The operator's word for the outcome.
QString HistoryOutcomeCaption(bool success);
// The read-back result as the operator reads it; "-" when none ran.
QString HistoryVerificationCaption(const QString& verification);
