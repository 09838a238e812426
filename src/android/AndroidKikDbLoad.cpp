// Reading Kik's Android database into the conversation model.
#include "android/AndroidKikDb.h"

#include "app/FileUtil.h"

#include <QHash>

namespace {

QDateTime msTime(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
}

void setContentValue(const QList<_KikMessage *> &messages, int type, const QString &name,
                     const QString &value)
{
    QString key;
    if (type == 2)
        key = QStringLiteral("string:");
    else if (type == 3)
        key = QStringLiteral("image:");
    else if (type == 4)
        key = QStringLiteral("extra:");
    else
        return;
    key += name;
    for (_KikMessage *m : messages)
        m->attachment.insert(key, value);
}

} // namespace

void AndroidKikDb::loadAll(KikDataSet &data)
{
    ensureOpen();
    {
        Sqlite3Cursor c = queryThrow("select * from KIKcontactsTable");
        while (c.moveNext()) {
            auto user = std::make_unique<_KikUser>();
            user->_id = c.getInt64(QStringLiteral("_id"));
            user->jid = c.getText(QStringLiteral("jid"));
            user->display_name = c.getText(QStringLiteral("display_name"));
            user->user_name = c.getText(QStringLiteral("user_name"));
            user->photo_url = c.getText(QStringLiteral("photo_url"));
            if (!c.isNull(QStringLiteral("photo_timestamp")))
                user->photo_ts = msTime(c.getInt64(QStringLiteral("photo_timestamp")));
            user->is_group = c.getInt(QStringLiteral("is_group")) != 0;
            if (user->is_group) {
                user->is_group_admin = c.getInt(QStringLiteral("is_user_admin")) != 0;
                user->group_tab = c.getText(QStringLiteral("group_hashtag"));
            }
            auto chat = std::make_unique<_KikChat>();
            chat->_id = user->_id;
            chat->user = data.addUser(std::move(user));
            data.addChat(std::move(chat));
        }
    }
    {
        Sqlite3Cursor c =
            queryThrow("select m.*, c._id as user_id, c2._id as member_id from memberTable as m inner join "
                       "KIKcontactsTable as c on m.group_id=c.jid inner join KIKcontactsTable as c2 on "
                       "m.member_jid=c2.jid");
        while (c.moveNext()) {
            _KikUser *group = data.user(c.getInt64(QStringLiteral("user_id")));
            _KikUser *member = data.user(c.getInt64(QStringLiteral("member_id")));
            if (!group || !member)
                continue;
            _KikMember m;
            m.group = group;
            m.member = member;
            m.is_admin = c.getInt(QStringLiteral("is_admin")) != 0;
            m.is_banned = c.getInt(QStringLiteral("is_banned")) != 0;
            group->members.append(m);
        }
    }
    QHash<QString, QList<_KikMessage *>> byContent;
    {
        Sqlite3Cursor c = queryThrow(
            "select m.*, c1._id as target_id, c2._id as chat_id from messagesTable as m inner join "
            "KIKcontactsTable as c2 on m.bin_id=c2.jid left join KIKcontactsTable as c1 on "
            "m.partner_jid=c1.jid");
        const int idCol = c.columnIndex(QStringLiteral("_id"));
        const int sysCol = c.columnIndex(QStringLiteral("sys_msg"));
        const int statCol = c.columnIndex(QStringLiteral("stat_msg"));
        const int chatCol = c.columnIndex(QStringLiteral("chat_id"));
        const int targetCol = c.columnIndex(QStringLiteral("target_id"));
        const int tsCol = c.columnIndex(QStringLiteral("timestamp"));
        const int uidCol = c.columnIndex(QStringLiteral("uid"));
        const int meCol = c.columnIndex(QStringLiteral("was_me"));
        const int bodyCol = c.columnIndex(QStringLiteral("body"));
        const int contentCol = c.columnIndex(QStringLiteral("content_id"));
        const int appCol = c.columnIndex(QStringLiteral("app_id"));
        const int riCol = c.columnIndex(QStringLiteral("render_instructions"));
        while (c.moveNext()) {
            if (!c.textAt(sysCol).isEmpty() || !c.textAt(statCol).isEmpty())
                continue;
            _KikChat *chat = data.chat(c.int64At(chatCol));
            if (!chat)
                continue;
            auto owned = std::make_unique<_KikMessage>();
            _KikMessage *m = owned.get();
            m->_id = c.int64At(idCol);
            m->sort_key = m->_id;
            m->ts = msTime(c.int64At(tsCol));
            m->rec_ts = m->ts;
            m->uid = c.textAt(uidCol);
            m->was_me = c.int64At(meCol) != 0;
            m->body = c.textAt(bodyCol);
            m->content_id = c.textAt(contentCol);
            m->app_id = c.textAt(appCol);
            const QString ri = c.textAt(riCol);
            if (!ri.isEmpty()) {
                m->render_ins = QByteArray::fromBase64(ri.toLatin1());
                if (!m->render_ins.isEmpty())
                    m->body = emojiFromRenderInstructions(m->body, m->render_ins);
            }
            m->target_user = c.isNullAt(targetCol) ? nullptr : data.user(c.int64At(targetCol));
            m->chat = chat;
            data.addMessage(std::move(owned));
            chat->messages.append(m);
            if (!chat->last_ts.isValid() || chat->last_ts < m->ts)
                chat->last_ts = m->ts;
            if (!m->content_id.isEmpty())
                byContent[m->content_id].append(m);
        }
    }
    {
        Sqlite3Cursor c = queryThrow("select * from KIKContentTable");
        while (c.moveNext()) {
            const auto it = byContent.constFind(c.getText(QStringLiteral("content_id")));
            if (it == byContent.cend())
                continue;
            setContentValue(it.value(), c.getInt(QStringLiteral("content_type")),
                            c.getText(QStringLiteral("content_name")),
                            c.getText(QStringLiteral("content_string")));
        }
    }
    {
        // _id keeps each content's links in the order they were written,
        // whether or not an index serves the sort.
        Sqlite3Cursor c = queryThrow("select * from KIKContentURITable order by content_id asc, _id asc");
        QString current;
        QVariantList links;
        const auto flush = [&] {
            const auto it = byContent.constFind(current);
            if (it != byContent.cend() && !links.isEmpty()) {
                for (_KikMessage *m : it.value())
                    m->attachment.insert(QStringLiteral("uri"), links);
            }
            links.clear();
        };
        while (c.moveNext()) {
            const QString id = c.getText(QStringLiteral("content_id"));
            if (id != current) {
                flush();
                current = id;
            }
            links.append(QVariantMap{
                {QStringLiteral("priority"), c.getText(QStringLiteral("priority"))},
                {QStringLiteral("platform"), c.getText(QStringLiteral("platform"))},
                {QStringLiteral("value"), c.getText(QStringLiteral("content_uri"))},
            });
        }
        flush();
    }
    const QString thumbs = m_root.absoluteFilePath(QStringLiteral("apps/kik.android/f/staging/thumbs"));
    for (const auto &list : std::as_const(byContent)) {
        for (_KikMessage *m : list) {
            m->sub_app_id = m->attachment.value(QStringLiteral("string:app-name")).toString();
            const auto pathOf = [&](const char *key) {
                const QString name = safeLeafName(m->attachment.value(QString::fromLatin1(key)).toString());
                return name.isEmpty() ? QString() : thumbs + QLatin1Char('/') + name;
            };
            m->preview_path = pathOf("image:preview");
            m->icon_path = pathOf("image:icon");
            m->png_preview_path = pathOf("image:png-preview");
        }
    }
}
