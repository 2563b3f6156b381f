#include "HistoryFormat.h"

#include <QFileInfo>
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

bool HistoryRecordSucceeded(const TTransferRecord& r)
{
    return HistoryOutcomeName(r) == "ok";
}

QString HistoryOutcomeName(const TTransferRecord& r)
{
    if (!r.Success)
        return "failed";
    if (r.Kind != TTransferKind::Upload) // only an upload is read back
        return "ok";
    if (r.Verification == "mismatch")
        return "mismatch";
    if (r.Verification.startsWith("failed"))
        return "verify_failed";
    return "ok";
}

QStringList HistoryFieldValues(const TTransferRecord& r)
{
    return { QString::number(r.Id), HistoryTimeText(r.Time), r.UserName, r.HostName, r.DeviceName, r.IPAddress, r.MacId,
        TransferKindName(r.Kind), r.FileName, r.Detail, QString::number(r.ByteCount), r.Crc32, r.Sha256,
        QString::number(r.DurationMs), HistoryOutcomeName(r), r.Message, r.Verification };
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

QString NeutralisedCsvField(const QString& field)
{
    // A spreadsheet runs a cell that starts with one of these as a formula
    // (device names and MacIds come from the network); a plain number such as
    // -5 is no formula and stays a number.
    static const QString FormulaStarts = QStringLiteral("=+-@\t\r");
    if (field.isEmpty() || !FormulaStarts.contains(field.front()))
        return field;
    bool number = false;
    field.toDouble(&number);
    return number ? field : "'" + field;
}

QByteArray CsvLine(const QStringList& fields)
{
    QByteArray line;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            line += ',';
        const QString neutral = NeutralisedCsvField(fields[i]);
        QByteArray field = neutral.toUtf8();
        if (neutral != fields[i] || field.contains(',') || field.contains('"') || field.contains('\n')
            || field.contains('\r')) {
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

QString PlainListingField(const QString& field)
{
    if (field.isEmpty())
        return "-";
    QString text;
    text.reserve(field.size());
    for (const QChar c : field) {
        const char16_t u = c.unicode();
        if (u == '\\')
            text += "\\\\";
        else if (u == '\t')
            text += "\\t";
        else if (u == '\n')
            text += "\\n";
        else if (u == '\r')
            text += "\\r";
        // The other C0 and C1 controls and the Unicode line and paragraph
        // separators, which a terminal or a line reader may also break at.
        else if (u < 0x20 || (u >= 0x7F && u < 0xA0) || u == 0x2028 || u == 0x2029)
            text += QString("\\u%1").arg(int(u), 4, 16, QChar('0'));
        else
            text += c;
    }
    return text;
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

QString LastSentCaption(const TTransferRecord& r)
{
    const QString name = r.FileName.isEmpty() ? QString("-") : QFileInfo(r.FileName).fileName();
    return QString::fromUtf8("Son gönderilen: %1 (%2, %3, %4)")
        .arg(name, r.Time.toLocalTime().toString("dd.MM.yyyy HH:mm"), r.UserName, r.HostName);
}

QString LastSentVerificationCaption(const TTransferRecord& r)
{
    if (r.Verification.isEmpty())
        return QString::fromUtf8("doğrulanmadı");
    return QString::fromUtf8(r.Verification == "verified" ? "doğrulandı" : "doğrulama başarısız");
}

QString LastSentLine(const TTransferRecord& r)
{
    return LastSentCaption(r) + ", " + LastSentVerificationCaption(r);
}
