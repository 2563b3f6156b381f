#pragma once
// The text of a JSON value as the device documents are read: a string's
// contents, a number as written, true or false; empty for anything else.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

inline QString JsonValueText(const QJsonValue& value)
{
    if (value.isString())
        return value.toString();
    if (value.isBool())
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    if (value.isDouble()) // as JSON writes it: 120, 12.5
        return QString::fromUtf8(QJsonDocument(QJsonArray { value }).toJson(QJsonDocument::Compact)).mid(1).chopped(1);
    return {};
}

inline QString JsonMemberText(const QJsonObject& object, const QString& key)
{
    return JsonValueText(object.value(key));
}

// A status or reply text parsed as a JSON object; false for anything else.
inline bool ParseJsonObject(const QString& text, QJsonObject& object)
{
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8());
    if (!document.isObject())
        return false;
    object = document.object();
    return true;
}
