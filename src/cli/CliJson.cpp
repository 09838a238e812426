#include "cli/CliJson.h"

#include "model/KikText.h"

#include <QJsonArray>

namespace CliJson {

QJsonValue time(const QDateTime &time)
{
    return time.isValid() ? QJsonValue(time.toMSecsSinceEpoch()) : QJsonValue(QJsonValue::Null);
}

QJsonValue value(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::QVariantMap: {
        QJsonObject object;
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            object.insert(it.key(), CliJson::value(it.value()));
        return object;
    }
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
        QJsonArray array;
        for (const QVariant &item : value.toList())
            array.append(CliJson::value(item));
        return array;
    }
    case QMetaType::Bool:
        return value.toBool();
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return value.toLongLong();
    case QMetaType::Double:
        return value.toDouble();
    case QMetaType::QByteArray:
        return QString::fromLatin1(value.toByteArray().toBase64());
    case QMetaType::QString:
        return value.toString();
    default:
        return value.isValid() ? QJsonValue(value.toString()) : QJsonValue(QJsonValue::Null);
    }
}

QJsonObject chat(const _KikChat *chat)
{
    QJsonArray members;
    const _KikUser *user = chat->user;
    if (user) {
        for (const _KikMember &member : user->members) {
            if (member.member)
                members.append(member.member->jid);
        }
    }
    return QJsonObject{
        {QStringLiteral("id"), chat->_id},
        {QStringLiteral("jid"), user ? QJsonValue(user->jid) : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("name"), displayName(user)},
        {QStringLiteral("is_group"), user && user->is_group},
        {QStringLiteral("members"), members},
        {QStringLiteral("messages"), qint64(chat->messages.size())},
        {QStringLiteral("last_ts"), time(chat->last_ts)},
    };
}

QJsonObject message(const _KikMessage *m)
{
    const _KikUser *partner = m->chat ? m->chat->user : nullptr;
    QJsonObject attachment;
    for (auto it = m->attachment.cbegin(); it != m->attachment.cend(); ++it)
        attachment.insert(it.key(), value(it.value()));
    return QJsonObject{
        {QStringLiteral("uid"), m->uid},
        {QStringLiteral("chat"), partner ? QJsonValue(partner->jid) : QJsonValue(QJsonValue::Null)},
        // The owner's own messages have no sender: their target user is the
        // partner (Android) or the group (iOS), never the one who wrote them.
        {QStringLiteral("sender"),
         m->target_user && !m->was_me ? QJsonValue(m->target_user->jid) : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("was_me"), m->was_me},
        {QStringLiteral("ts"), time(m->ts)},
        {QStringLiteral("rec_ts"), time(m->rec_ts)},
        {QStringLiteral("body"), m->body},
        {QStringLiteral("summary"), summaryText(m)},
        {QStringLiteral("app_id"), m->app_id},
        {QStringLiteral("sub_app_id"), m->sub_app_id},
        {QStringLiteral("content_id"), m->content_id},
        {QStringLiteral("attachment"), attachment},
        {QStringLiteral("content_path"), m->content_path},
        {QStringLiteral("preview_path"), m->preview_path},
    };
}

} // namespace CliJson
