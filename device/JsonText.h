#pragma once
// Every reader of the devices' JSON documents (status datagrams and query
// replies): a value's text, a member with a default, and the parse itself.
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

// A string's contents, a number as JSON writes it (120, 12.5), true or false;
// empty for anything else.
QString JsonValueText(const QJsonValue& value);
QString JsonMemberText(const QJsonObject& object, const QString& key);

// A status or reply text parsed as a JSON object; false for anything else.
bool ParseJsonObject(const QString& text, QJsonObject& object);

// One member of a JSON object, reached by a dotted path, with a default for a
// missing, null or unconvertible value.
qint32 JsonIntOrDefault(const QJsonValue& value, const QString& path, qint32 defaultValue);
qint64 JsonInt64OrDefault(const QJsonValue& value, const QString& path, qint64 defaultValue);
QString JsonStrOrDefault(const QJsonValue& value, const QString& path, const QString& defaultValue);
