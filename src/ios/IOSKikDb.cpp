// Users, groups, chats and messages of Kik's iOS store.
#include "ios/IOSKikDb.h"

#include "app/AppError.h"
#include "app/FileUtil.h"
#include "db/SqliteInput.h"
#include "jobs/JobCancelled.h"
#include "model/AppleTime.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include <memory>

namespace {

// Kik's group domain; a jid ending with it names a group.
const QString kGroupSuffix = QStringLiteral("@groups.kik.com");

// Index of a column of the result, or -1 when the store lacks it (older
// and newer Kik versions add and drop columns).
int optionalColumn(const Sqlite3Cursor &cursor, const QString &name)
{
    return cursor.hasColumn(name) ? cursor.columnIndex(name) : -1;
}

qint64 int64Or0(const Sqlite3Cursor &cursor, int index)
{
    return index < 0 ? 0 : cursor.int64At(index);
}

QString textOrEmpty(const Sqlite3Cursor &cursor, int index)
{
    return index < 0 ? QString() : cursor.textAt(index);
}

double doubleOr0(const Sqlite3Cursor &cursor, int index)
{
    return index < 0 ? 0.0 : cursor.doubleAt(index);
}

IOSKikDb::Relationship relationship(const QString &table, int tableEntity, const QString &first,
                                    int firstEntity, const QString &second, int secondEntity)
{
    return {table.arg(tableEntity), first.arg(firstEntity), second.arg(secondEntity)};
}

} // namespace

IOSKikDb::IOSKikDb(const QString &kikFolder, Access access, const QString &workFolder)
    : m_access(access), m_kikFolder(kikFolder),
      m_thumbFolder(
          QDir(access == Access::Input ? workFolder : kikFolder).filePath(QStringLiteral("thumbs"))),
      m_workFolder(workFolder)
{
    if (m_access == Access::Input && workFolder.isEmpty())
        throw std::invalid_argument("IOSKikDb: reading an input folder needs a work folder");
    if (m_access != Access::Untouched)
        QDir().mkpath(m_thumbFolder);
}

IOSKikDb::~IOSKikDb() = default;

QDateTime IOSKikDb::coreDataTime(double seconds)
{
    return AppleTime::toDateTime(seconds);
}

void IOSKikDb::ensureOpen()
{
    if (isOpen())
        return;
    const QString store = QDir(m_kikFolder).filePath(QStringLiteral("Documents/kik.sqlite"));
    // A store whose newest rows wait in its "-wal" (or whose last transaction
    // left a "-journal") is opened the ordinary way, so that SQLite reads
    // them; any other store is opened immutable, so that reading it creates
    // no "-shm" or "-wal" beside it.
    const QFileInfo wal(store + QStringLiteral("-wal"));
    const bool pendingLog =
        (wal.exists() && wal.size() > 0) || QFileInfo::exists(store + QStringLiteral("-journal"));
    if (m_access == Access::Input) {
        SqliteInput::open(*this, store, QDir(m_workFolder).filePath(QStringLiteral("store")));
    } else if (m_access == Access::Untouched || !pendingLog) {
        // Immutable: SQLite neither locks nor creates "-shm"/"-wal" files.
        if (!QFileInfo(store).isFile())
            throw AppError(QStringLiteral("unable to open database file: %1").arg(store));
        const QByteArray uri = QUrl::fromLocalFile(QFileInfo(store).absoluteFilePath()).toEncoded();
        openThrow(QString::fromLatin1(uri) + QStringLiteral("?immutable=1"), ReadOnly | 0x40);
    } else {
        openThrow(store, ReadWrite);
        // The store is only read: closing must not fold the "-wal" back into
        // it (SQLite does that on the last close), so that the files stay as
        // they were copied from the phone.
        keepWalOnClose();
        executeThrow(Sqlite3Sql(QStringLiteral("PRAGMA query_only=1")));
    }
    try {
        m_schema = DbSchema::read(*this);
    } catch (const std::runtime_error &) {
        close();
        damaged(QStringLiteral("it is not an SQLite database, or its first page is broken"));
    }
    if (!m_schema.hasTable(QStringLiteral("Z_PRIMARYKEY")))
        damaged(QStringLiteral("it has no table Z_PRIMARYKEY"));
    m_entities.clear();
    {
        Sqlite3Cursor cursor = queryThrow(Sqlite3Sql(QStringLiteral("select * from Z_PRIMARYKEY")));
        const int name = cursor.columnIndex(QStringLiteral("Z_NAME"));
        const int ent = cursor.columnIndex(QStringLiteral("Z_ENT"));
        while (cursor.moveNext())
            m_entities.insert(cursor.textAt(name), int(cursor.int64At(ent)));
    }

    const int user = entityNumber(QStringLiteral("KikUser"));
    const int chat = entityNumber(QStringLiteral("KikChat"));
    const int message = entityNumber(QStringLiteral("KikMessage"));
    if (user <= 0 || chat <= 0 || message <= 0)
        damaged(QStringLiteral("its table Z_PRIMARYKEY does not number KikUser, KikChat and KikMessage"));
    m_chatMessages = relationship(QStringLiteral("Z_%1MESSAGES"), chat, QStringLiteral("Z_%1CHAT"), chat,
                                  QStringLiteral("Z_%1MESSAGES"), message);
    m_admins = relationship(QStringLiteral("Z_%1ADMINSINVERSE"), user, QStringLiteral("Z_%1ADMINS"), user,
                            QStringLiteral("Z_%1ADMINSINVERSE"), user);
    m_bans = relationship(QStringLiteral("Z_%1BANSINVERSE"), user, QStringLiteral("Z_%1BANS"), user,
                          QStringLiteral("Z_%1BANSINVERSE"), user);
    // Core Data names a join column after the relationship that points at the
    // keys it holds: "MEMBERS" holds the members, "MEMBERSINVERSE" the group.
    m_members = relationship(QStringLiteral("Z_%1MEMBERS"), user, QStringLiteral("Z_%1MEMBERS"), user,
                             QStringLiteral("Z_%1MEMBERSINVERSE"), user);
    for (const QString &table : {QStringLiteral("ZKIKUSER"), QStringLiteral("ZKIKCHAT"),
                                 QStringLiteral("ZKIKMESSAGE"), QStringLiteral("ZKIKATTACHMENT")}) {
        if (!m_schema.hasTable(table))
            damaged(QStringLiteral("it has no table %1").arg(table));
    }
    for (const Relationship *rel : {&m_chatMessages, &m_admins, &m_bans, &m_members}) {
        const DbSchemaTable table = m_schema.table(rel->table);
        if (!m_schema.hasTable(rel->table) || !DbSchema::hasColumn(table, rel->first)
            || !DbSchema::hasColumn(table, rel->second))
            damaged(QStringLiteral("it has no table %1 with the columns %2 and %3")
                        .arg(rel->table, rel->first, rel->second));
    }
}

void IOSKikDb::throwIfCancelled() const
{
    if (m_cancelled && m_cancelled())
        throw JobCancelled();
}

void IOSKikDb::damaged(const QString &what)
{
    close();
    throw AppError(QStringLiteral("The Kik store (Documents/kik.sqlite) is damaged: %1.").arg(what));
}

void IOSKikDb::loadAll(KikDataSet &dataSet)
{
    ensureOpen();
    const KeySets admins = readRelationshipSets(m_admins);
    const KeySets bans = readRelationshipSets(m_bans);
    readUsers(dataSet, admins);
    readMembers(dataSet, admins, bans);
    readChats(dataSet);
    readMessages(dataSet);
    readChatLinks(dataSet);
}

IOSKikDb::KeySets IOSKikDb::readRelationshipSets(const Relationship &rel)
{
    KeySets sets;
    Sqlite3Cursor cursor = queryThrow(Sqlite3Sql(QStringLiteral("select * from ") + rel.table));
    const int user = cursor.columnIndex(rel.first);
    const int group = cursor.columnIndex(rel.second);
    while (cursor.moveNext())
        sets[cursor.int64At(group)].insert(cursor.int64At(user));
    return sets;
}

void IOSKikDb::readUsers(KikDataSet &dataSet, const KeySets &admins)
{
    Sqlite3Cursor cursor = queryThrow(Sqlite3Sql(QStringLiteral("select * from ZKIKUSER")));
    const int pk = cursor.columnIndex(QStringLiteral("Z_PK"));
    const int displayName = optionalColumn(cursor, QStringLiteral("ZDISPLAYNAME"));
    const int groupTag = optionalColumn(cursor, QStringLiteral("ZGROUPTAG"));
    const int jid = optionalColumn(cursor, QStringLiteral("ZJID"));
    const int ppUrl = optionalColumn(cursor, QStringLiteral("ZPPURL"));
    const int ppTime = optionalColumn(cursor, QStringLiteral("ZPPTIMESTAMP"));
    const int userName = optionalColumn(cursor, QStringLiteral("ZUSERNAME"));
    const QDir profpix(QDir(m_kikFolder).filePath(QStringLiteral("Documents/profpix")));
    while (cursor.moveNext()) {
        auto user = std::make_unique<_KikUser>();
        user->_id = cursor.int64At(pk);
        user->display_name = textOrEmpty(cursor, displayName);
        user->group_tab = textOrEmpty(cursor, groupTag);
        user->jid = textOrEmpty(cursor, jid);
        user->photo_url = textOrEmpty(cursor, ppUrl);
        // Milliseconds since 1970, kept as text; empty or 0 means unknown.
        const qint64 ms = textOrEmpty(cursor, ppTime).trimmed().toLongLong();
        if (ms > 0)
            user->photo_ts = AppleTime::fromMs(ms);
        user->user_name = textOrEmpty(cursor, userName);
        user->is_group = user->jid.endsWith(kGroupSuffix, Qt::CaseInsensitive);
        user->is_group_admin = admins.value(user->_id).contains(1);
        // The jid becomes part of a file name. One that is not a plain file
        // name names no picture: cut down, it could name another user's.
        const QString leaf = safeLeafName(user->jid);
        if (!leaf.isEmpty() && leaf == user->jid) {
            const QString orig = profpix.filePath(QStringLiteral("orig_") + leaf);
            user->photo_path =
                QFileInfo::exists(orig) ? orig : profpix.filePath(QStringLiteral("thumb_") + leaf);
        }
        dataSet.addUser(std::move(user));
    }
}

void IOSKikDb::readMembers(KikDataSet &dataSet, const KeySets &admins, const KeySets &bans)
{
    Sqlite3Cursor cursor = queryThrow(Sqlite3Sql(QStringLiteral("select * from ") + m_members.table));
    const int memberCol = cursor.columnIndex(m_members.first);
    const int groupCol = cursor.columnIndex(m_members.second);
    while (cursor.moveNext()) {
        _KikUser *group = dataSet.user(cursor.int64At(groupCol));
        _KikUser *member = dataSet.user(cursor.int64At(memberCol));
        if (!group || !member)
            continue;
        _KikMember entry;
        entry.group = group;
        entry.member = member;
        entry.is_admin = admins.value(group->_id).contains(member->_id);
        entry.is_banned = bans.value(group->_id).contains(member->_id);
        group->members.append(entry);
    }
}

void IOSKikDb::readChats(KikDataSet &dataSet)
{
    Sqlite3Cursor cursor = queryThrow(Sqlite3Sql(QStringLiteral("select * from ZKIKCHAT")));
    const int pk = cursor.columnIndex(QStringLiteral("Z_PK"));
    const int userCol = cursor.columnIndex(QStringLiteral("ZUSER"));
    const int updated = optionalColumn(cursor, QStringLiteral("ZDATEUPDATED"));
    while (cursor.moveNext()) {
        _KikUser *user = dataSet.user(cursor.int64At(userCol));
        if (!user)
            continue;
        auto chat = std::make_unique<_KikChat>();
        chat->_id = cursor.int64At(pk);
        chat->user = user;
        chat->last_ts = coreDataTime(doubleOr0(cursor, updated));
        dataSet.addChat(std::move(chat));
    }
}

void IOSKikDb::readMessages(KikDataSet &dataSet)
{
    Sqlite3Cursor cursor = queryThrow(
        Sqlite3Sql(QStringLiteral("select m.*,a.ZCONTENT from ZKIKMESSAGE as m left join ZKIKATTACHMENT as a "
                                  "on m.Z_PK=a.ZMESSAGE")));
    const int pk = cursor.columnIndex(QStringLiteral("Z_PK"));
    const int internalId = optionalColumn(cursor, QStringLiteral("ZINTERNALID"));
    const int type = optionalColumn(cursor, QStringLiteral("ZTYPE"));
    const int userCol = optionalColumn(cursor, QStringLiteral("ZUSER"));
    const int received = optionalColumn(cursor, QStringLiteral("ZRECEIVEDTIMESTAMP"));
    const int time = optionalColumn(cursor, QStringLiteral("ZTIMESTAMP"));
    const int body = optionalColumn(cursor, QStringLiteral("ZBODY"));
    const int stanza = optionalColumn(cursor, QStringLiteral("ZSTANZAID"));
    const int render = optionalColumn(cursor, QStringLiteral("ZRENDERINSTRUCTIONSET"));
    // The joined column comes last; its name may repeat one of m.*.
    const int content = cursor.columnCount() - 1;
    while (cursor.moveNext()) {
        throwIfCancelled();
        auto message = std::make_unique<_KikMessage>();
        message->_id = cursor.int64At(pk);
        message->sort_key = int64Or0(cursor, internalId);
        message->was_me = int64Or0(cursor, type) == 2;
        const qint64 userKey = int64Or0(cursor, userCol);
        message->target_user = userKey > 0 ? dataSet.user(userKey) : nullptr;
        message->rec_ts = coreDataTime(doubleOr0(cursor, received));
        message->ts = coreDataTime(doubleOr0(cursor, time));
        message->body = textOrEmpty(cursor, body);
        message->uid = textOrEmpty(cursor, stanza);
        if (render >= 0 && !cursor.isNullAt(render))
            message->render_ins = cursor.blobAt(render);
        if (!cursor.isNullAt(content))
            message->content_id = cursor.textAt(content);
        if (!message->content_id.isEmpty())
            readAttachment(*message);
        dataSet.addMessage(std::move(message));
    }
}

void IOSKikDb::readChatLinks(KikDataSet &dataSet)
{
    Sqlite3Cursor cursor = queryThrow(Sqlite3Sql(QStringLiteral("select * from ") + m_chatMessages.table));
    const int chatCol = cursor.columnIndex(m_chatMessages.first);
    const int messageCol = cursor.columnIndex(m_chatMessages.second);
    while (cursor.moveNext()) {
        _KikChat *chat = dataSet.chat(cursor.int64At(chatCol));
        _KikMessage *message = dataSet.message(cursor.int64At(messageCol));
        if (!chat || !message)
            continue;
        linkMessageToChat(chat, message);
    }
}
