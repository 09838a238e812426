// Reader of the Core Data store Kik keeps on iOS ("Documents/kik.sqlite" of
// a copied app folder), turning it into the shared conversation model.
#pragma once

#include "db/DbSchema.h"
#include "model/AbsKikDb.h"

#include <QDateTime>
#include <QHash>
#include <QMap>
#include <QSet>
#include <QString>

#include <functional>

class CFType;

class IOSKikDb : public AbsKikDb
{
public:
    // A join table of a to-many relationship and its two key columns.
    struct Relationship
    {
        QString table;
        QString first;
        QString second;
    };

    enum class Access {
        // The store and its "-wal" are read as they are, never changed;
        // thumbnails are written into the thumbnail folder.
        ReadWrite,
        // Read without touching any file of the folder (no "-shm", no
        // thumbnails): for a store that is not ours to change, without "-wal".
        Untouched,
        // A folder of the user's: nothing in it is written. A store with a
        // "-wal" or "-journal" is read from a copy in the work folder, and
        // thumbnails are written into the work folder's "thumbs".
        Input,
    };

    // `kikFolder` is the copied app folder, the one that contains "Documents";
    // `workFolder` is the private folder of Access::Input.
    explicit IOSKikDb(const QString &kikFolder, Access access = Access::ReadWrite,
                      const QString &workFolder = QString());
    ~IOSKikDb() override;

    void ensureOpen() override;
    void loadAll(KikDataSet &dataSet) override;

    // Asked between messages and while long attachment descriptions are
    // read, so that a cancel stops a load at once (JobCancelled).
    void setCancelCheck(std::function<bool()> cancelled) { m_cancelled = std::move(cancelled); }

    QString kikFolder() const { return m_kikFolder; }
    QString thumbFolder() const { return m_thumbFolder; }
    const DbSchema &schema() const { return m_schema; }
    // Entity number of a Core Data entity; 0 when the store does not name it.
    int entityNumber(const QString &entity) const { return m_entities.value(entity, 0); }

    // chat <-> messages: first column chats, second messages.
    const Relationship &chatMessages() const { return m_chatMessages; }
    // admins, bans, members: first column the user (admin, banned user,
    // member), second column the group.
    const Relationship &groupAdmins() const { return m_admins; }
    const Relationship &groupBans() const { return m_bans; }
    const Relationship &groupMembers() const { return m_members; }

    // Seconds since 2001-01-01 UTC, truncated, as a UTC date-time.
    static QDateTime coreDataTime(double seconds);

    // The strings of an archived NSDictionary: keys directly after the
    // dictionary object (index 1 of "$objects"), values directly after the
    // keys. Empty when the file is not such an archive.
    static QMap<QString, QString> readKeyedArchiveStrings(const QString &path);

private:
    using KeySets = QHash<qint64, QSet<qint64>>;

    // Closes the store and throws: the store is damaged in the way `what` says.
    [[noreturn]] void damaged(const QString &what);
    KeySets readRelationshipSets(const Relationship &rel);
    void readUsers(KikDataSet &dataSet, const KeySets &admins);
    void readMembers(KikDataSet &dataSet, const KeySets &admins, const KeySets &bans);
    void readChats(KikDataSet &dataSet);
    void readMessages(KikDataSet &dataSet);
    void readChatLinks(KikDataSet &dataSet);
    void readAttachment(_KikMessage &message);
    void readImages(const CFType &images, QVariantMap &attachment);
    QString storeThumbnail(const QByteArray &data);
    void throwIfCancelled() const;

    Access m_access;
    QString m_kikFolder;
    QString m_thumbFolder;
    QString m_workFolder;
    std::function<bool()> m_cancelled;
    DbSchema m_schema;
    QMap<QString, int> m_entities;
    Relationship m_chatMessages;
    Relationship m_admins;
    Relationship m_bans;
    Relationship m_members;
};
