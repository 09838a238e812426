#include "android/AndroidKikDb.h"
#include "android/AndroidKikPaths.h"
#include "app/AppError.h"
#include "support/TestSupport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sqlite3.h>

using namespace TestSupport;

namespace {

QString makeTree(const QTemporaryDir &dir, const QStringList &flags = {})
{
    const QString path = dir.filePath(QStringLiteral("tree"));
    const auto r =
        runPython(QStringLiteral("make_android_kik.py"), QStringList{QStringLiteral("tree"), path} + flags);
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    return path;
}

_KikMessage *byUid(const KikDataSet &data, const QString &uid)
{
    for (_KikMessage *m : data.messages)
        if (m->uid == uid)
            return m;
    return nullptr;
}

_KikUser *byJid(const KikDataSet &data, const QString &jid)
{
    for (_KikUser *u : data.users)
        if (u->jid == jid)
            return u;
    return nullptr;
}

QStringList indexNames(Sqlite3DB &db)
{
    QStringList names;
    Sqlite3Cursor c = db.queryThrow(
        "select name from sqlite_master where type='index' and name like 'bt_idx_%' order by name");
    while (c.moveNext())
        names << c.textAt(0);
    return names;
}

} // namespace

TEST(AndroidKikDbLoad, ReadsContactsMembersMessagesAndContent)
{
    for (const QStringList &flags : {QStringList{}, QStringList{QStringLiteral("--newer")}}) {
        QTemporaryDir dir;
        const QString root = makeTree(dir, flags);
        AndroidKikDb db{QDir(root)};
        KikDataSet data;
        db.loadAll(data);
        ASSERT_EQ(data.users.size(), 4);
        EXPECT_EQ(data.chats.size(), 4);
        _KikUser *carol = byJid(data, QStringLiteral("carol_z3@talk.kik.com"));
        ASSERT_TRUE(carol);
        EXPECT_TRUE(data.chat(carol->_id)->messages.isEmpty());
        _KikUser *group = byJid(data, QStringLiteral("1100024090445_g@groups.kik.com"));
        ASSERT_TRUE(group && group->is_group);
        EXPECT_EQ(group->group_tab, QStringLiteral("#trip"));
        ASSERT_EQ(group->members.size(), 2); // the unknown member is dropped
        EXPECT_TRUE(group->members[0].is_admin);
        EXPECT_TRUE(group->members[1].is_banned);
        EXPECT_EQ(byJid(data, QStringLiteral("alice_x1@talk.kik.com"))->photo_ts.toMSecsSinceEpoch(),
                  1500000000000 - 5000);

        // System message and the one whose chat is unknown are not loaded.
        EXPECT_EQ(data.messages.size(), 6);
        EXPECT_FALSE(byUid(data, QStringLiteral("g-2")));
        EXPECT_FALSE(byUid(data, QStringLiteral("x-1")));
        _KikMessage *smile = byUid(data, QStringLiteral("a-2"));
        ASSERT_TRUE(smile);
        EXPECT_EQ(smile->body, QStringLiteral("hey ") + QChar(0xE056));
        EXPECT_EQ(smile->sort_key, smile->_id);
        EXPECT_EQ(smile->ts.toMSecsSinceEpoch(), 1500000001000);
        EXPECT_EQ(byUid(data, QStringLiteral("g-1"))->body, QChar(0xE40D) + QStringLiteral("hello"));
        EXPECT_EQ(byUid(data, QStringLiteral("g-1"))->target_user,
                  byJid(data, QStringLiteral("bob_y2@talk.kik.com")));
        EXPECT_EQ(byUid(data, QStringLiteral("g-3"))->target_user, nullptr);

        // Two messages share content c-img.
        for (const QString &uid : {QStringLiteral("a-3"), QStringLiteral("b-1")}) {
            _KikMessage *m = byUid(data, uid);
            EXPECT_EQ(m->attachment.value(QStringLiteral("image:preview")).toString(),
                      QStringLiteral("thumb-c-img"))
                << uid.toStdString();
            EXPECT_EQ(m->sub_app_id, QStringLiteral("Gallery"));
            EXPECT_EQ(m->preview_path, QDir(root).absoluteFilePath(
                                           QStringLiteral("apps/kik.android/f/staging/thumbs/thumb-c-img")));
        }
        const QVariantList uris =
            byUid(data, QStringLiteral("g-3"))->attachment.value(QStringLiteral("uri")).toList();
        ASSERT_EQ(uris.size(), 3);
        EXPECT_EQ(uris[2].toMap().value(QStringLiteral("value")).toString(), QStringLiteral("http://c"));
        EXPECT_EQ(
            byUid(data, QStringLiteral("g-3"))->attachment.value(QStringLiteral("extra:extra1")).toString(),
            QStringLiteral("x"));
        EXPECT_EQ(
            data.chat(byJid(data, QStringLiteral("alice_x1@talk.kik.com"))->_id)->last_ts.toMSecsSinceEpoch(),
            1500000002000);
    }
}

// A contacts table without a column the loader reads fails the load, naming
// the column, while a record is half read: that record is owned from its
// start, so nothing leaks (the sanitizer build's leak check runs this test).
TEST(AndroidKikDbLoad, AnUnexpectedSchemaFailsWithoutLeaking)
{
    QTemporaryDir dir;
    const QString root = makeTree(dir);
    {
        const QString path = AndroidKikPaths::databasePath(QDir(root));
        sqlite3 *raw = nullptr;
        ASSERT_EQ(sqlite3_open_v2(QFile::encodeName(path).constData(), &raw, SQLITE_OPEN_READWRITE, nullptr),
                  SQLITE_OK);
        const int rc = sqlite3_exec(raw, "ALTER TABLE KIKcontactsTable RENAME COLUMN photo_url TO photo_link",
                                    nullptr, nullptr, nullptr);
        sqlite3_close_v2(raw);
        ASSERT_EQ(rc, SQLITE_OK);
    }
    AndroidKikDb db{QDir(root)};
    KikDataSet data;
    try {
        db.loadAll(data);
        ADD_FAILURE() << "the load went through";
    } catch (const AppError &e) {
        EXPECT_EQ(e.text(), QStringLiteral("no such column in result: photo_url"));
    }
    EXPECT_TRUE(data.users.isEmpty()) << "the record being read when the load failed is gone";
}

TEST(AndroidKikDbOpen, CreatesTheTenIndexesOnce)
{
    QTemporaryDir dir;
    const QString root = makeTree(dir);
    {
        Sqlite3DB raw;
        raw.openThrow(root + QStringLiteral("/apps/kik.android/db/kikDatabase.db"), Sqlite3DB::ReadWrite);
        raw.executeThrow("CREATE INDEX BT_IDX_MEMBERTABLE ON memberTable(group_id)");
    }
    AndroidKikDb db{QDir(root)};
    db.ensureOpen();
    const QStringList names = indexNames(db);
    EXPECT_EQ(names.size(), 10);
    EXPECT_TRUE(names.contains(QStringLiteral("BT_IDX_MEMBERTABLE")));
    EXPECT_FALSE(names.contains(QStringLiteral("bt_idx_memberTable")));
    db.close();
    AndroidKikDb again{QDir(root)};
    EXPECT_NO_THROW(again.ensureOpen());
    EXPECT_EQ(indexNames(again).size(), 10);

    AndroidKikDb missing{QDir(dir.filePath(QStringLiteral("none")))};
    EXPECT_THROW(missing.ensureOpen(), std::runtime_error);
}

TEST(AndroidKikDbWrite, MessagesUsersMembersAndAttachments)
{
    QTemporaryDir dir;
    const QString root = makeTree(dir, {QStringLiteral("--newer")});
    AndroidKikDb db{QDir(root)};
    _KikUser dave;
    dave.jid = QStringLiteral("dave@talk.kik.com");
    dave.display_name = QStringLiteral("Dave");
    dave.photo_url = QStringLiteral("http://p/d");
    dave.photo_ts = QDateTime::fromMSecsSinceEpoch(1234, Qt::UTC);
    const qint64 id = db.insertUserThrow(&dave);
    EXPECT_GT(id, 4);
    EXPECT_EQ(db.findUserIdByJid(dave.jid), id);
    EXPECT_EQ(db.insertUserThrow(nullptr), 0);

    _KikUser group;
    group.jid = QStringLiteral("1100024090445_g@groups.kik.com");
    _KikMember member{&group, &dave, true, false};
    db.insertMemberThrow(member);
    db.insertMemberThrow(member);
    {
        Sqlite3Cursor c = db.queryThrow(
            "select count(*), max(is_admin) from memberTable where member_jid='dave@talk.kik.com'");
        ASSERT_TRUE(c.moveNext());
        EXPECT_EQ(c.int64At(0), 1);
        EXPECT_EQ(c.int64At(1), 1);
    }

    _KikChat chat;
    chat.user = &dave;
    _KikMessage msg;
    msg.chat = &chat;
    msg.uid = QStringLiteral("new-1");
    msg.ts = QDateTime::fromMSecsSinceEpoch(1600000000000, Qt::UTC);
    msg.body = QStringLiteral("ok ") + QChar(0xE056);
    msg.render_ins = QByteArray::fromRawData("\0\0\0\3\0\5\0\2:)\0\0", 12);
    msg.content_id = QStringLiteral("c-new");
    msg.app_id = QStringLiteral("com.kik.ext.video");
    msg.attachment = {{QStringLiteral("image:preview"), QStringLiteral("../../evil")},
                      {QStringLiteral("string:file-name"), QStringLiteral("clip")},
                      {QStringLiteral("string:file-size"), QStringLiteral("2048")},
                      {QStringLiteral("string:ignored"), QStringLiteral("x")}};
    const qint64 mid = db.insertMsgThrow(&msg);
    EXPECT_EQ(db.findMessageIdByUid(QStringLiteral("new-1")), mid);
    {
        Sqlite3Cursor c =
            db.queryThrow(Sqlite3Sql("select * from messagesTable where _id=?").addInt64Param(mid));
        ASSERT_TRUE(c.moveNext());
        EXPECT_EQ(c.getText(QStringLiteral("body")), QStringLiteral("ok :)"));
        EXPECT_EQ(c.getInt(QStringLiteral("length")), 5);
        EXPECT_EQ(c.getInt(QStringLiteral("read_state")), 500);
        EXPECT_EQ(c.getInt(QStringLiteral("req_read_reciept")), 1);
        EXPECT_EQ(c.getText(QStringLiteral("bin_id")), QStringLiteral("dave@talk.kik.com"));
        EXPECT_TRUE(c.isNull(QStringLiteral("partner_jid")));
        EXPECT_EQ(c.getInt64(QStringLiteral("timestamp")), 1600000000000);
        EXPECT_EQ(QByteArray::fromBase64(c.getText(QStringLiteral("render_instructions")).toLatin1()),
                  msg.render_ins);
    }
    db.insertAttachmentsThrow(&msg);
    QMap<QString, QString> values;
    {
        Sqlite3Cursor c = db.queryThrow("select content_name, content_string, content_type from "
                                        "KIKContentTable where content_id='c-new'");
        while (c.moveNext())
            values.insert(c.textAt(0), c.textAt(1));
    }
    EXPECT_EQ(values.value(QStringLiteral("preview")), QStringLiteral("evil"));
    EXPECT_EQ(values.value(QStringLiteral("file-name")), QStringLiteral("c-new"));
    EXPECT_EQ(values.value(QStringLiteral("file-size")), QStringLiteral("2048"));
    EXPECT_EQ(values.value(QStringLiteral("layout")), QStringLiteral("video"));
    EXPECT_EQ(values.value(QStringLiteral("app-name")), QStringLiteral("Gallery"));
    EXPECT_FALSE(values.contains(QStringLiteral("ignored")));
    EXPECT_EQ(values.size(), 6);
    // Written once only.
    db.insertAttachmentsThrow(&msg);
    Sqlite3Cursor c = db.queryThrow("select count(*) from KIKContentTable where content_id='c-new'");
    ASSERT_TRUE(c.moveNext());
    EXPECT_EQ(c.int64At(0), 6);
    c = Sqlite3Cursor();

    _KikMessage plain;
    plain.chat = &chat;
    plain.uid = QStringLiteral("new-2");
    plain.body = QStringLiteral("x");
    const qint64 pid = db.insertMsgThrow(&plain);
    Sqlite3Cursor p = db.queryThrow(
        Sqlite3Sql("select app_id, content_id from messagesTable where _id=?").addInt64Param(pid));
    ASSERT_TRUE(p.moveNext());
    EXPECT_TRUE(p.isNullAt(0));
    EXPECT_TRUE(p.isNullAt(1));
    _KikMessage orphan;
    EXPECT_EQ(db.insertMsgThrow(&orphan), 0);
}

TEST(AndroidKikDbWrite, CardValuesAndUris)
{
    QTemporaryDir dir;
    AndroidKikDb db{QDir(makeTree(dir))};
    _KikUser u;
    u.jid = QStringLiteral("alice_x1@talk.kik.com");
    _KikChat chat;
    chat.user = &u;
    _KikMessage m;
    m.chat = &chat;
    m.content_id = QStringLiteral("c-web");
    m.app_id = QStringLiteral("com.kik.cards");
    m.attachment = {{QStringLiteral("string:title"), QStringLiteral("T")},
                    {QStringLiteral("extra:e"), QStringLiteral("v")},
                    {QStringLiteral("uri"),
                     QVariantList{QVariantMap{{QStringLiteral("value"), QStringLiteral("http://one")}},
                                  QVariantMap{{QStringLiteral("priority"), QStringLiteral("5")},
                                              {QStringLiteral("platform"), QStringLiteral("ios")},
                                              {QStringLiteral("value"), QStringLiteral("http://two")}}}}};
    db.insertAttachmentsThrow(&m);
    Sqlite3Cursor c = db.queryThrow("select priority, platform, content_uri from KIKContentURITable where "
                                    "content_id='c-web' order by _id");
    ASSERT_TRUE(c.moveNext());
    EXPECT_EQ(c.textAt(0), QStringLiteral("0"));
    EXPECT_TRUE(c.isNullAt(1));
    ASSERT_TRUE(c.moveNext());
    EXPECT_EQ(c.textAt(0), QStringLiteral("5"));
    EXPECT_EQ(c.textAt(2), QStringLiteral("http://two"));
    EXPECT_FALSE(c.moveNext());
    c = Sqlite3Cursor();
    Sqlite3Cursor t = db.queryThrow(
        "select content_type from KIKContentTable where content_id='c-web' and content_name='e'");
    ASSERT_TRUE(t.moveNext());
    EXPECT_EQ(t.int64At(0), 4);
}

TEST(AndroidKikDbEmoji, EmoticonTable)
{
    const QByteArray smile("\0\0\0\3\0\5\0\2:)\0\0", 12);
    EXPECT_EQ(AndroidKikDb::emojiFromRenderInstructions(QStringLiteral("abc:)"), smile),
              QStringLiteral("abc") + QChar(0xE056));
    const QByteArray heart("\0\0\0\0\0\2\0\2<3\0\0", 12);
    EXPECT_EQ(AndroidKikDb::emojiFromRenderInstructions(QStringLiteral("<3 you"), heart),
              QChar(0xE328) + QStringLiteral(" you"));
    const QByteArray unknown("\0\0\0\1\0\3\0\2zz\0\0", 12);
    EXPECT_EQ(AndroidKikDb::emojiFromRenderInstructions(QStringLiteral("azzb"), unknown),
              QStringLiteral("a") + QChar(0xE40D) + QStringLiteral("b"));
    // Cut short: the rest of the body is kept.
    EXPECT_EQ(AndroidKikDb::emojiFromRenderInstructions(QStringLiteral("abc:)"), smile.left(7)),
              QStringLiteral("abc:)"));
}

TEST(AndroidKikPaths, ActiveCoreDatabase)
{
    QTemporaryDir dir;
    const QString root = makeTree(dir, {QStringLiteral("--core")});
    EXPECT_EQ(AndroidKikPaths::databasePath(QDir(root)),
              QDir(root).absoluteFilePath(QStringLiteral("apps/kik.android/db/4f2c9a.kikDatabase.db")));
    AndroidKikDb db{QDir(root), AndroidKikPaths::databasePath(QDir(root))};
    KikDataSet data;
    db.loadAll(data);
    EXPECT_EQ(data.messages.size(), 6);
    QTemporaryDir plain;
    const QString plainRoot = makeTree(plain);
    EXPECT_TRUE(
        AndroidKikPaths::databasePath(QDir(plainRoot)).endsWith(QStringLiteral("/db/kikDatabase.db")));
}
