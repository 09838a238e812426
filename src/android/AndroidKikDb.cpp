#include "android/AndroidKikDb.h"

#include "android/AndroidKikPaths.h"

#include "app/FileUtil.h"
#include "app/LogCategories.h"
#include "model/RenderInstructions.h"

#include <QDebug>
#include <QHash>

namespace {

struct IndexSpec
{
    const char *name;
    const char *sql;
};

constexpr IndexSpec kIndexes[] = {
    {"bt_idx_KIKcontactsTable_jid", "CREATE INDEX bt_idx_KIKcontactsTable_jid ON KIKcontactsTable(jid)"},
    {"bt_idx_KIKContentRetainCountTable",
     "CREATE INDEX bt_idx_KIKContentRetainCountTable ON KIKContentRetainCountTable(content_id)"},
    {"bt_idx_KIKContentTable",
     "CREATE INDEX bt_idx_KIKContentTable ON KIKContentTable(content_id, content_type)"},
    {"bt_idx_KIKContentURITable", "CREATE INDEX bt_idx_KIKContentURITable ON KIKContentURITable(content_id)"},
    {"bt_idx_KIKConversationStatusTable",
     "CREATE INDEX bt_idx_KIKConversationStatusTable ON KIKConversationStatusTable(jid)"},
    {"bt_idx_memberTable", "CREATE INDEX bt_idx_memberTable ON memberTable(group_id, member_jid)"},
    {"bt_idx_messagesTable_uid", "CREATE INDEX bt_idx_messagesTable_uid ON messagesTable(uid)"},
    {"bt_idx_messagesTable_partner_jid",
     "CREATE INDEX bt_idx_messagesTable_partner_jid ON messagesTable(partner_jid)"},
    {"bt_idx_messagesTable_bin_id", "CREATE INDEX bt_idx_messagesTable_bin_id ON messagesTable(bin_id)"},
    {"bt_idx_messagesTable_timestamp",
     "CREATE INDEX bt_idx_messagesTable_timestamp ON messagesTable(timestamp)"},
};

// Emoticon as typed -> UTF-8 bytes (hex) of its private-use emoji.
const QHash<QByteArray, QByteArray> &emoticonTable()
{
    static const QHash<QByteArray, QByteArray> table = {
        {":)", "ee8196"},  {";)", "ee9085"}, {":(", "ee9083"},  {":D", "ee8197"},  {":P", "ee8485"},
        {":|", "ee908e"},  {":/", "ee908b"}, {">:(", "ee9096"}, {":X", "ee9086"},  {"<3", "ee8ca8"},
        {"</3", "ee80a3"}, {"B)", "ee9082"}, {":3", "ee818f"},  {":'(", "ee9093"}, {":O", "ee9090"},
        {":S", "ee9091"},  {":$", "ee908d"}, {":*", "ee9098"},  {">:)", "ee9092"}, {":E", "ee9084"},
    };
    return table;
}

QVariant textOrNull(const QString &text)
{
    return text.isNull() ? QVariant(QString()) : QVariant(text);
}

bool hasExtension(const QString &fileName)
{
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    return dot >= 0 && dot < fileName.size() - 1;
}

// Thumbnail names become file names in the thumbs folder and on the phone.
QString thumbName(const QVariant &value)
{
    return AndroidKikPaths::safeName(value.toString());
}

} // namespace

AndroidKikDb::AndroidKikDb(const QDir &root, const QString &databasePath)
    : m_root(root),
      m_databasePath(databasePath.isEmpty()
                         ? root.absoluteFilePath(QStringLiteral("apps/kik.android/db/kikDatabase.db"))
                         : databasePath)
{}

void AndroidKikDb::ensureOpen()
{
    if (isOpen())
        return;
    openThrow(m_databasePath, ReadWrite);
    m_schema = DbSchema::read(*this);
    for (const IndexSpec &index : kIndexes) {
        if (!m_schema.hasIndex(QString::fromLatin1(index.name)))
            executeThrow(Sqlite3Sql(index.sql));
    }
}

qint64 AndroidKikDb::insertUserThrow(const _KikUser *user)
{
    if (!user)
        return 0;
    ensureOpen();
    Sqlite3Row row;
    row.setVal(QStringLiteral("jid"), textOrNull(user->jid));
    row.setVal(QStringLiteral("display_name"), textOrNull(user->display_name));
    row.setVal(QStringLiteral("user_name"), textOrNull(user->user_name));
    row.setVal(QStringLiteral("in_roster"), 1);
    if (!user->photo_url.isEmpty())
        row.setVal(QStringLiteral("photo_url"), user->photo_url);
    if (user->photo_ts.isValid())
        row.setVal(QStringLiteral("photo_timestamp"), user->photo_ts.toMSecsSinceEpoch());
    row.setVal(QStringLiteral("is_group"), user->is_group ? 1 : 0);
    row.setVal(QStringLiteral("pending_in_roster"), 1);
    if (!user->group_tab.isEmpty())
        row.setVal(QStringLiteral("group_hashtag"), user->group_tab);
    row.setVal(QStringLiteral("is_public_key_resolved"), 1);
    executeThrow(row.insertSql(QStringLiteral("KIKcontactsTable")));
    return lastInsertId();
}

void AndroidKikDb::insertMemberThrow(const _KikMember &member)
{
    if (!member.group || !member.member)
        return;
    ensureOpen();
    {
        Sqlite3Cursor c = queryThrow(Sqlite3Sql("select 1 from memberTable where group_id=? and member_jid=?")
                                         .addTextParam(member.group->jid)
                                         .addTextParam(member.member->jid));
        if (c.moveNext())
            return;
    }
    Sqlite3Row row;
    row.setVal(QStringLiteral("group_id"), member.group->jid);
    row.setVal(QStringLiteral("member_jid"), member.member->jid);
    row.setVal(QStringLiteral("is_admin"), member.is_admin ? 1 : 0);
    row.setVal(QStringLiteral("is_banned"), member.is_banned ? 1 : 0);
    executeThrow(row.insertSql(QStringLiteral("memberTable")));
}

qint64 AndroidKikDb::insertMsgThrow(const _KikMessage *msg)
{
    if (!msg || !msg->chat || !msg->chat->user) {
        qCDebug(lcAndroid, "skip message, !msg || !msg->chat || !msg->chat->user");
        return 0;
    }
    ensureOpen();
    Sqlite3Row row;
    if (msg->target_user)
        row.setVal(QStringLiteral("partner_jid"), msg->target_user->jid);
    row.setVal(QStringLiteral("was_me"), msg->was_me ? 1 : 0);
    row.setVal(QStringLiteral("read_state"), 500);
    row.setVal(QStringLiteral("uid"), textOrNull(msg->uid));
    row.setVal(QStringLiteral("timestamp"), msg->ts.isValid() ? msg->ts.toMSecsSinceEpoch() : qint64(0));
    row.setVal(QStringLiteral("bin_id"), msg->chat->user->jid);
    row.setVal(QStringLiteral("req_read_reciept"), msg->was_me ? 0 : 1);
    if (!msg->content_id.isEmpty())
        row.setVal(QStringLiteral("content_id"), msg->content_id);
    if (!msg->app_id.isEmpty())
        row.setVal(QStringLiteral("app_id"), msg->app_id);
    QString body = msg->body;
    if (!msg->render_ins.isEmpty()) {
        row.setVal(QStringLiteral("render_instructions"), QString::fromLatin1(msg->render_ins.toBase64()));
        body = applyRenderInstructions(
            msg->body, msg->render_ins,
            [](const QString &key, const std::optional<QString> &) { return key; }, false);
    }
    row.setVal(QStringLiteral("body"), textOrNull(body));
    row.setVal(QStringLiteral("length"), int(body.size()));
    executeThrow(row.insertSql(QStringLiteral("messagesTable")));
    return lastInsertId();
}

qint64 AndroidKikDb::insertContentThrow(const QString &contentId, int contentType, const QString &name,
                                        const QString &value)
{
    ensureOpen();
    executeThrow(Sqlite3Sql("insert into KIKContentTable(content_id, content_type, content_name, "
                            "content_string) values(?,?,?,?)")
                     .addTextParam(contentId)
                     .addIntParam(contentType)
                     .addTextParam(name)
                     .addTextParam(textOrNull(value).toString()));
    return lastInsertId();
}

qint64 AndroidKikDb::setRetainCountThrow(const QString &contentId, int retainCount)
{
    ensureOpen();
    executeThrow(Sqlite3Sql("replace into KIKContentRetainCountTable(content_id, retain_count) values(?,?)")
                     .addTextParam(contentId)
                     .addIntParam(retainCount));
    return lastInsertId();
}

void AndroidKikDb::insertAttachmentsThrow(const _KikMessage *msg)
{
    if (!msg || msg->content_id.isEmpty() || msg->attachment.isEmpty())
        return;
    ensureOpen();
    const QString &id = msg->content_id;
    {
        Sqlite3Cursor c = queryThrow(
            Sqlite3Sql("select _id from KIKContentTable where content_id=? limit 1").addTextParam(id));
        if (c.moveNext())
            return;
    }
    const QVariantMap &a = msg->attachment;
    const QString preview = thumbName(a.value(QStringLiteral("image:preview")));
    if (!preview.isEmpty()) {
        insertContentThrow(id, 3, QStringLiteral("preview"), preview);
        setRetainCountThrow(preview, 1);
    }
    const QString icon = thumbName(a.value(QStringLiteral("image:icon")));
    if (!icon.isEmpty())
        insertContentThrow(id, 3, QStringLiteral("icon"), icon);
    const QString png = thumbName(a.value(QStringLiteral("image:png-preview")));
    if (!png.isEmpty())
        insertContentThrow(id, 3, QStringLiteral("png-preview"), png);

    const QString &app = msg->app_id;
    if (app.startsWith(QLatin1String("com.kik.ext.gallery"))
        || app.startsWith(QLatin1String("com.kik.ext.camera"))
        || app.startsWith(QLatin1String("com.kik.ext.video"))) {
        insertContentThrow(id, 2, QStringLiteral("app-name"), QStringLiteral("Gallery"));
        const qint64 size = a.value(QStringLiteral("string:file-size")).toLongLong();
        if (size > 0)
            insertContentThrow(id, 2, QStringLiteral("file-size"), QString::number(size));
        const QString fileName = a.value(QStringLiteral("string:file-name")).toString();
        insertContentThrow(id, 2, QStringLiteral("file-name"), hasExtension(fileName) ? fileName : id);
        insertContentThrow(id, 2, QStringLiteral("allow-forward"), QStringLiteral("true"));
        if (app.startsWith(QLatin1String("com.kik.ext.video")))
            insertContentThrow(id, 2, QStringLiteral("layout"), QStringLiteral("video"));
        const QString url = a.value(QStringLiteral("string:file-url")).toString();
        if (!url.isEmpty())
            insertContentThrow(id, 2, QStringLiteral("file-url"), url);
    } else {
        for (auto it = a.cbegin(); it != a.cend(); ++it) {
            if (it.key().startsWith(QLatin1String("string:")))
                insertContentThrow(id, 2, it.key().mid(7), it.value().toString());
            else if (it.key().startsWith(QLatin1String("extra:")))
                insertContentThrow(id, 4, it.key().mid(6), it.value().toString());
        }
        const auto uri = a.constFind(QStringLiteral("uri"));
        if (uri != a.cend()) {
            Sqlite3Cursor c = queryThrow(
                Sqlite3Sql("select _id from KIKContentURITable where content_id=? limit 1").addTextParam(id));
            const bool present = c.moveNext();
            c = Sqlite3Cursor();
            if (!present) {
                for (const QVariant &element : uri.value().toList()) {
                    const QVariantMap link = element.toMap();
                    Sqlite3Row row;
                    row.setVal(QStringLiteral("content_id"), id);
                    row.setVal(QStringLiteral("priority"),
                               link.contains(QStringLiteral("priority"))
                                   ? link.value(QStringLiteral("priority")).toString()
                                   : QStringLiteral("0"));
                    if (link.contains(QStringLiteral("platform")))
                        row.setVal(QStringLiteral("platform"),
                                   link.value(QStringLiteral("platform")).toString());
                    // Kik's Android rows call the link "value"; the iPhone's
                    // attachment descriptions call it "url".
                    if (link.contains(QStringLiteral("value")))
                        row.setVal(QStringLiteral("content_uri"),
                                   link.value(QStringLiteral("value")).toString());
                    else if (link.contains(QStringLiteral("url")))
                        row.setVal(QStringLiteral("content_uri"),
                                   link.value(QStringLiteral("url")).toString());
                    executeThrow(row.insertSql(QStringLiteral("KIKContentURITable")));
                }
            }
        }
    }
    setRetainCountThrow(id, 1);
}

qint64 AndroidKikDb::findMessageIdByUid(const QString &uid)
{
    ensureOpen();
    Sqlite3Cursor c = queryThrow(Sqlite3Sql("select _id from messagesTable where uid=?").addTextParam(uid));
    return c.moveNext() ? c.int64At(0) : 0;
}

qint64 AndroidKikDb::findUserIdByJid(const QString &jid)
{
    ensureOpen();
    Sqlite3Cursor c =
        queryThrow(Sqlite3Sql("select _id from KIKcontactsTable where jid=?").addTextParam(jid));
    return c.moveNext() ? c.int64At(0) : 0;
}

QString AndroidKikDb::emojiFromRenderInstructions(const QString &body, const QByteArray &renderIns)
{
    const auto &table = emoticonTable();
    QString out;
    qsizetype copied = 0;
    for (const RenderInstruction &record : parseRenderInstructions(renderIns)) {
        if (record.start >= record.end)
            continue;
        const qsizetype start = std::clamp<qsizetype>(record.start, 0, body.size());
        if (copied < start)
            out += body.mid(copied, start - copied);
        QByteArray key = record.key;
        const qsizetype zero = key.indexOf('\0');
        if (zero >= 0)
            key.truncate(zero);
        out += QString::fromUtf8(QByteArray::fromHex(table.value(key, QByteArrayLiteral("ee908d"))));
        copied = std::max(copied, std::clamp<qsizetype>(record.end, 0, body.size()));
    }
    if (copied < body.size())
        out += body.mid(copied);
    return out;
}
