#include "HistoryFormat.h"

#include <QSaveFile>

const QStringList& HistoryFieldNames()
{
    static const QStringList names { "id", "time", "user", "host", "device", "ip", "macid", "kind", "file", "commands",
        "bytes", "crc32", "sha256", "duration_ms", "outcome", "message", "verification" };
    return names;
}

QString HistoryTimeText(const QDateTime& time)
{
    return time.toUTC().toString(Qt::ISODateWithMs);
}

QStringList HistoryFieldValues(const TTransferRecord& r)
{
    return { QString::number(r.Id), HistoryTimeText(r.Time), r.UserName, r.HostName, r.DeviceName, r.IPAddress, r.MacId,
        TransferKindName(r.Kind), r.FileName, r.Detail, QString::number(r.ByteCount), r.Crc32, r.Sha256,
        QString::number(r.DurationMs), r.Success ? "ok" : "failed", r.Message, r.Verification };
}

QJsonObject HistoryRecordJson(const TTransferRecord& r)
{
    QJsonObject object;
    const QStringList names = HistoryFieldNames();
    const QStringList values = HistoryFieldValues(r);
    for (qsizetype i = 0; i < names.size(); ++i)
        object.insert(names[i], values[i]);
    // Numbers stay numbers for scripts.
    object.insert("id", r.Id);
    object.insert("bytes", r.ByteCount);
    object.insert("duration_ms", r.DurationMs);
    return object;
}

QByteArray CsvLine(const QStringList& fields)
{
    QByteArray line;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            line += ',';
        QByteArray field = fields[i].toUtf8();
        if (field.contains(',') || field.contains('"') || field.contains('\n') || field.contains('\r')) {
            field.replace("\"", "\"\"");
            field = '"' + field + '"';
        }
        line += field;
    }
    return line + "\r\n";
}

QByteArray HistoryCsv(const QList<TTransferRecord>& records)
{
    QByteArray text = CsvLine(HistoryFieldNames());
    for (const TTransferRecord& r : records)
        text += CsvLine(HistoryFieldValues(r));
    return text;
}

bool WriteHistoryCsv(const QString& fileName, const QList<TTransferRecord>& records, QString& errorMsg)
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        errorMsg = file.errorString();
        return false;
    }
    const QByteArray text = HistoryCsv(records);
    if (file.write(text) != text.size() || !file.commit()) {
        errorMsg = file.errorString();
        return false;
    }
    return true;
}

QString HistoryOutcomeCaption(bool success)
{
    return success ? QString::fromUtf8("Başarılı") : QString::fromUtf8("Başarısız");
}

QString HistoryVerificationCaption(const QString& verification)
{
    if (verification.isEmpty())
        return "-";
    if (verification == "verified")
        return QString::fromUtf8("Doğrulandı");
    if (verification == "mismatch")
        return QString::fromUtf8("Farklı");
    if (verification.startsWith("failed"))
        return QString::fromUtf8("Doğrulanamadı") + verification.mid(6);
    return verification;
}
