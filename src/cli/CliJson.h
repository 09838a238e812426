// JSON forms of chats and messages for the chats and messages commands.
#pragma once

#include "model/KikRecords.h"

#include <QJsonObject>
#include <QJsonValue>

namespace CliJson {

// Milliseconds since 1970, or null for an invalid time.
QJsonValue time(const QDateTime &time);
// A variant of an attachment map: texts, numbers and booleans as they are,
// byte arrays as Base64 text, maps and lists nested.
QJsonValue value(const QVariant &value);

QJsonObject chat(const _KikChat *chat);
QJsonObject message(const _KikMessage *message);

} // namespace CliJson
