// The program's own message archive: a folder holding "velloran-kik.db"
// and the media of its messages ("thumbs", "prof", "files").
#pragma once

#include "model/AbsKikDb.h"

#include <QDir>
#include <QHash>
#include <QStringList>

class KikLocalDb : public AbsKikDb
{
public:
    static constexpr const char *kDbFileName = "velloran-kik.db";

    // Sets the folder and derives the media folders; opens nothing.
    explicit KikLocalDb(const QString &folder);
    ~KikLocalDb() override = default;

    // Creates the media folders, then opens the file, or creates it with the
    // schema of ":res/kiklocaldb.sql". Starts no transaction.
    void ensureOpen() override;
    void loadAll(KikDataSet &dataSet) override;

    qint64 findUserIdByJid(const _KikUser *user);
    qint64 insertUser(const _KikUser *user);
    qint64 findChatIdByUserId(qint64 userId);
    qint64 insertChat(qint64 userId, const _KikChat *chat);
    void addMember(qint64 groupId, const _KikMember &member);
    qint64 findMessageIdByUid(const QString &uid);
    qint64 insertMessage(const _KikMessage *message);
    void linkChatMessage(qint64 chatId, qint64 messageId, const QDateTime &ts);
    void updateLastTimes();

    // Merges one message with its partner, chat, members, photos and media.
    // Runs inside the caller's transaction.
    void mergeMessage(const _KikMessage *message);

    // Deletes the chat whose partner has this jid, with the messages no other
    // chat links. Returns false when there is no such chat.
    bool deleteChat(const QString &partnerJid);
    // Deletes the messages with these uids, then links and chats left empty.
    void deleteMessages(const QStringList &uids);

    QDir folder() const { return m_folder; }
    QDir thumbsFolder() const { return m_thumbs; }
    QDir profFolder() const { return m_prof; }
    QDir filesFolder() const { return m_files; }
    // The media files this connection copied in, so that a run that does not
    // commit can take them out again.
    QStringList copiedMedia() const { return m_copiedMedia; }

    // The single file name a media name maps to inside a media folder, or
    // empty when the name cannot be used safely ("..", only separators).
    static QString mediaFileName(const QString &name);
    // The name of a user's profile picture in "prof".
    static QString profileFileName(const QString &jid);

    // Forgets the remembered ids of users and chats (after a rollback).
    void clearCaches();

private:
    // The id of the chat with this chat's partner, inserting the partner,
    // the chat, its members and their photos when new; 0 without a partner.
    qint64 findOrInsertChat(const _KikChat *chat);
    void linkNewChatMessage(qint64 chatId, qint64 messageId, const QDateTime &ts);
    // Copies a file into a media folder under a safe name; never overwrites
    // and ignores failures.
    void copyMedia(const QString &source, const QDir &target, const QString &name);

    QDir m_folder;
    QDir m_thumbs;
    QDir m_prof;
    QDir m_files;
    QStringList m_copiedMedia;
    // Ids found or inserted on this connection: jid -> user id and user id
    // -> chat id, so that merging a chat's messages looks each up once.
    QHash<QString, qint64> m_userIds;
    QHash<qint64, qint64> m_chatIds;
};
