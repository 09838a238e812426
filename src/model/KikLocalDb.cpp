#include "model/KikLocalDb.h"

#include "app/AppError.h"
#include "app/FileUtil.h"
#include "db/Sqlite3Row.h"
#include "model/TinyKv.h"

#include <QFile>
#include <QFileInfo>

#include <stdexcept>

namespace {

QString num(qint64 value)
{
    return QString::number(value);
}

void setIfNotEmpty(Sqlite3Row &row, const QString &column, const QString &value)
{
    if (!value.isEmpty())
        row.setVal(column, value);
}

void setIfNotEmpty(Sqlite3Row &row, const QString &column, const QByteArray &value)
{
    if (!value.isEmpty())
        row.setVal(column, value);
}

} // namespace

KikLocalDb::KikLocalDb(const QString &folder)
    : m_folder(folder), m_thumbs(QDir(folder).filePath(QStringLiteral("thumbs"))),
      m_prof(QDir(folder).filePath(QStringLiteral("prof"))),
      m_files(QDir(folder).filePath(QStringLiteral("files")))
{}

void KikLocalDb::ensureOpen()
{
    if (isOpen())
        return;
    for (const QDir *dir : {&m_thumbs, &m_prof, &m_files})
        QDir().mkpath(dir->absolutePath());
    const QString file = m_folder.filePath(QString::fromLatin1(kDbFileName));
    if (QFileInfo::exists(file)) {
        openThrow(file, ReadWrite);
        return;
    }
    QFile schema(QStringLiteral(":/res/kiklocaldb.sql"));
    if (!schema.open(QIODevice::ReadOnly))
        throw AppError(schema.errorString());
    const QString script = QString::fromUtf8(schema.readAll());
    openThrow(file, ReadWriteCreate);
    QString error;
    if (exec(script, error) != 0) {
        close();
        // A file whose schema failed would later be taken for a database.
        QFile::remove(file);
        throw AppError(error);
    }
}

QString KikLocalDb::mediaFileName(const QString &name)
{
    return safeLeafName(name);
}

QString KikLocalDb::profileFileName(const QString &jid)
{
    return safeLeafName(sanitiseFileName(jid));
}

void KikLocalDb::copyMedia(const QString &source, const QDir &target, const QString &name)
{
    const QString leaf = mediaFileName(name);
    if (source.isEmpty() || leaf.isEmpty())
        return;
    const QString destination = target.filePath(leaf);
    const QFileInfo info(destination);
    if (info.exists() || info.isSymLink())
        return;
    if (QFile::copy(source, destination))
        m_copiedMedia.append(destination);
}

qint64 KikLocalDb::findUserIdByJid(const _KikUser *user)
{
    if (!user)
        return 0;
    ensureOpen();
    const auto known = m_userIds.constFind(user->jid);
    if (known != m_userIds.cend())
        return known.value();
    Sqlite3Cursor cursor =
        queryThrow(Sqlite3Sql("select _id from kik_user where jid=?").addTextParam(user->jid));
    const qint64 id = cursor.moveNext() ? cursor.int64At(0) : 0;
    if (id != 0)
        m_userIds.insert(user->jid, id);
    return id;
}

qint64 KikLocalDb::insertUser(const _KikUser *user)
{
    if (!user)
        return 0;
    ensureOpen();
    Sqlite3Row row;
    row.setVal(QStringLiteral("display_name"), user->display_name);
    row.setVal(QStringLiteral("jid"), user->jid);
    row.setVal(QStringLiteral("user_name"), user->user_name);
    setIfNotEmpty(row, QStringLiteral("photo_url"), user->photo_url);
    if (user->photo_ts.isValid())
        row.setVal(QStringLiteral("photo_ts"), user->photo_ts.toMSecsSinceEpoch());
    if (user->is_group) {
        row.setVal(QStringLiteral("is_group"), 1);
        row.setVal(QStringLiteral("group_tab"), user->group_tab);
        row.setVal(QStringLiteral("is_group_admin"), user->is_group_admin ? 1 : 0);
    }
    setIfNotEmpty(row, QStringLiteral("other"), user->other);
    executeThrow(row.insertSql(QStringLiteral("kik_user")));
    const qint64 id = lastInsertId();
    m_userIds.insert(user->jid, id);
    return id;
}

qint64 KikLocalDb::findChatIdByUserId(qint64 userId)
{
    ensureOpen();
    const auto known = m_chatIds.constFind(userId);
    if (known != m_chatIds.cend())
        return known.value();
    // Bound rather than written into the text, so that the statement is
    // prepared once per connection and not once per chat.
    Sqlite3Cursor cursor =
        queryThrow(Sqlite3Sql("select _id from kik_chat where user_id=?").addInt64Param(userId));
    const qint64 id = cursor.moveNext() ? cursor.int64At(0) : 0;
    if (id != 0)
        m_chatIds.insert(userId, id);
    return id;
}

qint64 KikLocalDb::insertChat(qint64 userId, const _KikChat *chat)
{
    ensureOpen();
    Sqlite3Row row;
    row.setVal(QStringLiteral("user_id"), userId);
    if (chat)
        setIfNotEmpty(row, QStringLiteral("other"), chat->other);
    executeThrow(row.insertSql(QStringLiteral("kik_chat")));
    const qint64 id = lastInsertId();
    m_chatIds.insert(userId, id);
    return id;
}

void KikLocalDb::addMember(qint64 groupId, const _KikMember &member)
{
    if (!member.member)
        return;
    ensureOpen();
    qint64 memberId = findUserIdByJid(member.member);
    if (memberId == 0)
        memberId = insertUser(member.member);
    executeThrow(Sqlite3Sql("replace into kik_user_members(user_id, member_id, is_admin, "
                            "is_banned) values(?, ?, ?, ?)")
                     .addInt64Param(groupId)
                     .addInt64Param(memberId)
                     .addIntParam(member.is_admin ? 1 : 0)
                     .addIntParam(member.is_banned ? 1 : 0));
}

qint64 KikLocalDb::findMessageIdByUid(const QString &uid)
{
    ensureOpen();
    Sqlite3Cursor cursor =
        queryThrow(Sqlite3Sql("select _id from kik_message where uid=?").addTextParam(uid));
    return cursor.moveNext() ? cursor.int64At(0) : 0;
}

qint64 KikLocalDb::insertMessage(const _KikMessage *message)
{
    ensureOpen();
    Sqlite3Row row;
    const qint64 ts = message->ts.toMSecsSinceEpoch();
    row.setVal(QStringLiteral("ts"), ts);
    row.setVal(QStringLiteral("rec_ts"),
               message->rec_ts.isValid() ? message->rec_ts.toMSecsSinceEpoch() : ts);
    if (message->target_user) {
        qint64 senderId = findUserIdByJid(message->target_user);
        if (senderId == 0)
            senderId = insertUser(message->target_user);
        row.setVal(QStringLiteral("target_user"), senderId);
    }
    row.setVal(QStringLiteral("uid"), message->uid);
    row.setVal(QStringLiteral("was_me"), message->was_me ? 1 : 0);
    setIfNotEmpty(row, QStringLiteral("body"), message->body);
    setIfNotEmpty(row, QStringLiteral("content_id"), message->content_id);
    setIfNotEmpty(row, QStringLiteral("app_id"), message->app_id);
    setIfNotEmpty(row, QStringLiteral("sub_app_id"), message->sub_app_id);
    setIfNotEmpty(row, QStringLiteral("render_ins"), message->render_ins);
    if (!message->attachment.isEmpty())
        row.setVal(QStringLiteral("attachment"), encodeAttachmentMap(message->attachment));
    setIfNotEmpty(row, QStringLiteral("other"), message->other);
    executeThrow(row.insertSql(QStringLiteral("kik_message")));
    return lastInsertId();
}

void KikLocalDb::linkChatMessage(qint64 chatId, qint64 messageId, const QDateTime &ts)
{
    ensureOpen();
    {
        Sqlite3Cursor cursor =
            queryThrow(Sqlite3Sql("select 1 from kik_chat_messages where chat_id=? and message_id=?")
                           .addInt64Param(chatId)
                           .addInt64Param(messageId));
        if (cursor.moveNext())
            return;
    }
    linkNewChatMessage(chatId, messageId, ts);
}

void KikLocalDb::linkNewChatMessage(qint64 chatId, qint64 messageId, const QDateTime &ts)
{
    Sqlite3Row row;
    row.setVal(QStringLiteral("chat_id"), chatId);
    row.setVal(QStringLiteral("message_id"), messageId);
    row.setVal(QStringLiteral("ts"), ts.toMSecsSinceEpoch());
    executeThrow(row.insertSql(QStringLiteral("kik_chat_messages")));
}

void KikLocalDb::updateLastTimes()
{
    ensureOpen();
    executeThrow("update kik_chat set last_ts=(select max(ts) from kik_chat_messages where "
                 "kik_chat_messages.chat_id=kik_chat._id)");
}

qint64 KikLocalDb::findOrInsertChat(const _KikChat *chat)
{
    const _KikUser *partner = chat ? chat->user : nullptr;
    if (!partner)
        return 0;
    qint64 userId = findUserIdByJid(partner);
    if (userId == 0)
        userId = insertUser(partner);
    qint64 chatId = findChatIdByUserId(userId);
    if (chatId != 0)
        return chatId;
    chatId = insertChat(userId, chat);
    for (const _KikMember &member : partner->members) {
        addMember(userId, member);
        if (member.member)
            copyMedia(member.member->photo_path, m_prof, profileFileName(member.member->jid));
    }
    copyMedia(partner->photo_path, m_prof, profileFileName(partner->jid));
    return chatId;
}

void KikLocalDb::mergeMessage(const _KikMessage *message)
{
    ensureOpen();
    QList<qint64> chatIds;
    for (const _KikChat *chat : chatsOf(message)) {
        const qint64 chatId = findOrInsertChat(chat);
        if (chatId != 0 && !chatIds.contains(chatId))
            chatIds.append(chatId);
    }
    qint64 messageId = findMessageIdByUid(message->uid);
    const bool isNew = messageId == 0;
    if (isNew)
        messageId = insertMessage(message);
    // A message without a chat is stored unlinked; no link gets a made-up id.
    // A message inserted just now has no link yet, so none is looked for.
    // A message shared by several chats is stored once and linked to each.
    for (const qint64 chatId : std::as_const(chatIds)) {
        if (isNew)
            linkNewChatMessage(chatId, messageId, message->ts);
        else
            linkChatMessage(chatId, messageId, message->ts);
    }
    if (!message->attachment.isEmpty()) {
        const auto imageName = [message](const char *key) {
            return message->attachment.value(QString::fromLatin1(key)).toString();
        };
        if (!imageName("image:preview").isEmpty())
            copyMedia(message->preview_path, m_thumbs, imageName("image:preview"));
        if (!imageName("image:icon").isEmpty())
            copyMedia(message->icon_path, m_thumbs, imageName("image:icon"));
        if (!imageName("image:png-preview").isEmpty())
            copyMedia(message->png_preview_path, m_thumbs, imageName("image:png-preview"));
        if (!message->content_id.isEmpty())
            copyMedia(message->content_path, m_files, message->content_id);
    }
}

void KikLocalDb::clearCaches()
{
    m_userIds.clear();
    m_chatIds.clear();
}

bool KikLocalDb::deleteChat(const QString &partnerJid)
{
    ensureOpen();
    clearCaches();
    _KikUser key;
    key.jid = partnerJid;
    const qint64 userId = findUserIdByJid(&key);
    const qint64 chatId = userId ? findChatIdByUserId(userId) : 0;
    if (chatId == 0)
        return false;
    Sqlite3Transaction tran(*this);
    executeThrow(QStringLiteral("delete from kik_chat where _id=%1").arg(num(chatId)));
    executeThrow(QStringLiteral("delete from kik_chat_messages where chat_id=%1").arg(num(chatId)));
    executeThrow("delete from kik_message where (select 1 from kik_chat_messages where "
                 "message_id=kik_message._id limit 1) is null");
    tran.commit();
    return true;
}

void KikLocalDb::deleteMessages(const QStringList &uids)
{
    ensureOpen();
    clearCaches();
    Sqlite3Transaction tran(*this);
    for (const QString &uid : uids)
        executeThrow(Sqlite3Sql("delete from kik_message where uid=?").addTextParam(uid));
    executeThrow("delete from kik_chat_messages where (select 1 from kik_message where "
                 "_id=kik_chat_messages.message_id limit 1) is null");
    executeThrow("delete from kik_chat where (select 1 from kik_chat_messages where "
                 "chat_id=kik_chat._id limit 1) is null");
    updateLastTimes();
    tran.commit();
}
