// Reading a whole local database into a data set.
#include "model/KikLocalDb.h"

#include "model/AppleTime.h"
#include "model/TinyKv.h"

#include <memory>

namespace {

QDateTime timeAt(const Sqlite3Cursor &cursor, int index)
{
    return cursor.isNullAt(index) ? QDateTime() : AppleTime::fromMs(cursor.int64At(index));
}

// Column positions of a result, looked up once per table.
struct Columns
{
    explicit Columns(const Sqlite3Cursor &cursor) : m_cursor(cursor) {}
    int operator()(const char *name) const { return m_cursor.columnIndex(QString::fromLatin1(name)); }
    const Sqlite3Cursor &m_cursor;
};

} // namespace

void KikLocalDb::loadAll(KikDataSet &dataSet)
{
    ensureOpen();
    {
        Sqlite3Cursor c = queryThrow("select * from kik_user");
        const Columns col(c);
        const int id = col("_id"), name = col("display_name"), jid = col("jid"), url = col("photo_url"),
                  pts = col("photo_ts"), user = col("user_name"), group = col("is_group"),
                  tab = col("group_tab"), admin = col("is_group_admin"), other = col("other");
        while (c.moveNext()) {
            auto record = std::make_unique<_KikUser>();
            record->_id = c.int64At(id);
            record->display_name = c.textAt(name);
            record->jid = c.textAt(jid);
            record->photo_url = c.textAt(url);
            record->photo_ts = timeAt(c, pts);
            record->user_name = c.textAt(user);
            record->is_group = c.int64At(group) != 0;
            record->group_tab = c.textAt(tab);
            record->is_group_admin = c.int64At(admin) != 0;
            record->other = c.blobAt(other);
            const QString photo = profileFileName(record->jid);
            if (!photo.isEmpty())
                record->photo_path = m_prof.filePath(photo);
            dataSet.addUser(std::move(record));
        }
    }
    {
        Sqlite3Cursor c = queryThrow("select * from kik_user_members");
        const Columns col(c);
        const int groupCol = col("user_id"), memberCol = col("member_id"), admin = col("is_admin"),
                  banned = col("is_banned");
        while (c.moveNext()) {
            _KikUser *group = dataSet.user(c.int64At(groupCol));
            _KikUser *member = dataSet.user(c.int64At(memberCol));
            if (!group || !member)
                continue;
            group->members.append({group, member, c.int64At(admin) != 0, c.int64At(banned) != 0});
        }
    }
    {
        Sqlite3Cursor c = queryThrow("select * from kik_chat");
        const Columns col(c);
        const int id = col("_id"), last = col("last_ts"), user = col("user_id"), other = col("other");
        while (c.moveNext()) {
            _KikUser *partner = dataSet.user(c.int64At(user));
            if (!partner)
                continue;
            auto record = std::make_unique<_KikChat>();
            record->_id = c.int64At(id);
            record->user = partner;
            record->last_ts = timeAt(c, last);
            record->other = c.blobAt(other);
            dataSet.addChat(std::move(record));
        }
    }
    {
        Sqlite3Cursor c = queryThrow("select * from kik_message");
        const Columns col(c);
        const int id = col("_id"), ts = col("ts"), rts = col("rec_ts"), target = col("target_user"),
                  uid = col("uid"), me = col("was_me"), body = col("body"), content = col("content_id"),
                  app = col("app_id"), sub = col("sub_app_id"), render = col("render_ins"),
                  attachment = col("attachment"), other = col("other");
        while (c.moveNext()) {
            auto record = std::make_unique<_KikMessage>();
            record->_id = c.int64At(id);
            record->sort_key = record->_id;
            record->ts = timeAt(c, ts);
            record->rec_ts = timeAt(c, rts);
            const qint64 sender = c.int64At(target);
            if (sender > 0)
                record->target_user = dataSet.user(sender);
            record->uid = c.textAt(uid);
            record->was_me = c.int64At(me) != 0;
            record->body = c.textAt(body);
            record->content_id = c.textAt(content);
            record->app_id = c.textAt(app);
            record->sub_app_id = c.textAt(sub);
            record->render_ins = c.blobAt(render);
            record->other = c.blobAt(other);
            if (!c.isNullAt(attachment))
                record->attachment = decodeAttachmentMap(c.blobAt(attachment));
            if (!record->attachment.isEmpty()) {
                const auto thumb = [&record, this](const char *key) {
                    const QString leaf =
                        mediaFileName(record->attachment.value(QString::fromLatin1(key)).toString());
                    return leaf.isEmpty() ? QString() : m_thumbs.filePath(leaf);
                };
                record->preview_path = thumb("image:preview");
                record->icon_path = thumb("image:icon");
                record->png_preview_path = thumb("image:png-preview");
            }
            const QString contentLeaf = mediaFileName(record->content_id);
            if (!contentLeaf.isEmpty())
                record->content_path = m_files.filePath(contentLeaf);
            dataSet.addMessage(std::move(record));
        }
    }
    {
        Sqlite3Cursor c = queryThrow("select * from kik_chat_messages");
        const Columns col(c);
        const int chatCol = col("chat_id"), messageCol = col("message_id");
        while (c.moveNext()) {
            _KikChat *chat = dataSet.chat(c.int64At(chatCol));
            _KikMessage *message = dataSet.message(c.int64At(messageCol));
            if (!chat || !message)
                continue;
            linkMessageToChat(chat, message);
        }
    }
}
