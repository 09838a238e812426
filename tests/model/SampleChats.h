// A small conversation data set built by hand for the local database tests,
// and row counts read back with plain SQL.
#pragma once

#include "db/Sqlite3DB.h"
#include "model/KikDataSet.h"

#include <QDateTime>
#include <QDir>
#include <QString>
#include <QTimeZone>

namespace SampleChats {

inline QDateTime at(qint64 secondsFrom2014)
{
    return QDateTime::fromMSecsSinceEpoch((1400000000 + secondsFrom2014) * 1000, QTimeZone::utc());
}

inline _KikUser *user(KikDataSet &set, qint64 id, const QString &jid, const QString &name)
{
    auto *u = new _KikUser;
    u->_id = id;
    u->jid = jid;
    u->display_name = name;
    return set.addUser(u);
}

inline _KikChat *chat(KikDataSet &set, qint64 id, _KikUser *partner)
{
    auto *c = new _KikChat;
    c->_id = id;
    c->user = partner;
    return set.addChat(c);
}

inline _KikMessage *message(KikDataSet &set, qint64 id, _KikChat *c, const QString &uid, qint64 seconds,
                            const QString &body)
{
    auto *m = new _KikMessage;
    m->_id = id;
    m->sort_key = id;
    m->uid = uid;
    m->ts = at(seconds);
    m->body = body;
    m->chat = c;
    if (c)
        c->messages.append(m);
    return set.addMessage(m);
}

// Ann (one-to-one, 3 messages) and a group with Ann and Bob (2 messages).
inline void fill(KikDataSet &set)
{
    _KikUser *ann = user(set, 1, QStringLiteral("ann@talk.kik.com"), QStringLiteral("Ann"));
    _KikUser *bob = user(set, 2, QStringLiteral("bob@talk.kik.com"), QStringLiteral("Bob"));
    _KikUser *group = user(set, 3, QStringLiteral("11_g@groups.kik.com"), QStringLiteral("G"));
    group->is_group = true;
    group->group_tab = QStringLiteral("#g");
    group->members.append({group, ann, true, false});
    group->members.append({group, bob, false, true});
    _KikChat *annChat = chat(set, 10, ann);
    _KikChat *groupChat = chat(set, 11, group);
    message(set, 100, annChat, QStringLiteral("u1"), 10, QStringLiteral("one"))->was_me = true;
    message(set, 101, annChat, QStringLiteral("u2"), 20, QStringLiteral("two"))->target_user = ann;
    message(set, 102, annChat, QStringLiteral("u3"), 30, QStringLiteral("three"));
    message(set, 103, groupChat, QStringLiteral("g1"), 40, QStringLiteral("hey"))->target_user = bob;
    message(set, 104, groupChat, QStringLiteral("g2"), 50, QStringLiteral("ho"))->was_me = true;
}

inline qint64 count(const QString &dbFile, const QString &sql)
{
    Sqlite3DB db;
    db.openThrow(dbFile, Sqlite3DB::ReadOnly);
    Sqlite3Cursor cursor = db.queryThrow(sql);
    return cursor.moveNext() ? cursor.int64At(0) : -1;
}

// Row counts of the five tables, joined for easy comparison.
inline QString tableCounts(const QString &dbFile)
{
    QStringList parts;
    for (const char *table : {"kik_user", "kik_user_members", "kik_chat", "kik_message", "kik_chat_messages"})
        parts << QString::number(
            count(dbFile, QStringLiteral("select count(*) from %1").arg(QLatin1String(table))));
    return parts.join(QLatin1Char(','));
}

} // namespace SampleChats
