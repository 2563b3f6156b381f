#include "JsonText.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cmath>

namespace {

QJsonValue LookUp(const QJsonValue& value, const QString& path)
{
    QJsonValue current = value;
    for (const QString& name : path.split(u'.')) {
        if (!current.isObject())
            return QJsonValue(QJsonValue::Undefined);
        current = current.toObject().value(name);
    }
    return current;
}

// A JSON number that is a whole number, or a string holding a decimal integer.
bool JsonWholeNumber(const QJsonValue& value, qint64 minimum, qint64 maximum, qint64& result)
{
    if (value.isDouble()) {
        const double d = value.toDouble();
        if (d != std::floor(d) || d < double(minimum) || d > double(maximum))
            return false;
        result = qint64(d);
        return true;
    }
    if (value.isString()) {
        bool ok = false;
        const qint64 v = value.toString().toLongLong(&ok, 10);
        if (!ok || v < minimum || v > maximum)
            return false;
        result = v;
        return true;
    }
    return false;
}

} // namespace

QString JsonValueText(const QJsonValue& value)
{
    if (value.isString())
        return value.toString();
    if (value.isBool())
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    if (value.isDouble()) // as JSON writes it: 120, 12.5
        return QString::fromUtf8(QJsonDocument(QJsonArray { value }).toJson(QJsonDocument::Compact)).mid(1).chopped(1);
    return {};
}

QString JsonMemberText(const QJsonObject& object, const QString& key)
{
    return JsonValueText(object.value(key));
}

bool ParseJsonObject(const QString& text, QJsonObject& object)
{
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8());
    if (!document.isObject())
        return false;
    object = document.object();
    return true;
}

qint32 JsonIntOrDefault(const QJsonValue& value, const QString& path, qint32 defaultValue)
{
    qint64 result;
    return JsonWholeNumber(LookUp(value, path), INT32_MIN, INT32_MAX, result) ? qint32(result) : defaultValue;
}

qint64 JsonInt64OrDefault(const QJsonValue& value, const QString& path, qint64 defaultValue)
{
    qint64 result;
    // Doubles carry 53 bits exactly; larger JSON numbers are not trusted.
    return JsonWholeNumber(LookUp(value, path), INT64_MIN, INT64_MAX, result) ? result : defaultValue;
}

QString JsonStrOrDefault(const QJsonValue& value, const QString& path, const QString& defaultValue)
{
    const QJsonValue member = LookUp(value, path);
    if (member.isString() || member.isDouble() || member.isBool())
        return JsonValueText(member);
    return defaultValue;
}
