#include "SampleChats.h"

#include "model/KikLocalDb.h"
#include "model/LocalDatabases.h"
#include "model/TinyKv.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace SampleChats;

namespace {

QString dbFile(const QString &folder)
{
    return QDir(folder).filePath(QStringLiteral("velloran-kik.db"));
}

void mergeAll(const QString &folder, const KikMessageList &messages)
{
    KikLocalDb db(folder);
    db.ensureOpen();
    Sqlite3Transaction tran(db);
    for (_KikMessage *m : messages)
        db.mergeMessage(m);
    tran.commit();
    db.updateLastTimes();
}

} // namespace

TEST(KikLocalDb, NewDatabaseHasSchemaAndMediaFolders)
{
    QTemporaryDir tmp;
    const QString folder = tmp.filePath(QStringLiteral("db1"));
    KikLocalDb db(folder);
    db.ensureOpen();
    EXPECT_TRUE(QDir(folder).exists(QStringLiteral("thumbs")));
    EXPECT_TRUE(QDir(folder).exists(QStringLiteral("prof")));
    EXPECT_TRUE(QDir(folder).exists(QStringLiteral("files")));
    EXPECT_EQ(
        count(dbFile(folder),
              QStringLiteral("select count(*) from sqlite_master where type='table' and name like 'kik_%'")),
        5);
    EXPECT_EQ(
        count(dbFile(folder), QStringLiteral("select count(*) from sqlite_master where type='index' and "
                                             "name='index_kik_chat_messages_chat_id_ts'")),
        1);
    EXPECT_FALSE(db.inTransaction());
}

TEST(KikLocalDb, MergingTwiceAddsNothingTheSecondTime)
{
    QTemporaryDir tmp;
    KikDataSet set;
    fill(set);
    mergeAll(tmp.path(), set.allMessages());
    const QString first = tableCounts(dbFile(tmp.path()));
    EXPECT_EQ(first, QStringLiteral("3,2,2,5,5"));
    mergeAll(tmp.path(), set.allMessages());
    EXPECT_EQ(tableCounts(dbFile(tmp.path())), first);
}

TEST(KikLocalDb, UidSharedByTwoChatsIsLinkedNotDuplicated)
{
    QTemporaryDir tmp;
    KikDataSet set;
    _KikUser *ann = user(set, 1, QStringLiteral("ann@talk.kik.com"), QStringLiteral("Ann"));
    _KikUser *bob = user(set, 2, QStringLiteral("bob@talk.kik.com"), QStringLiteral("Bob"));
    _KikChat *a = chat(set, 10, ann);
    _KikChat *b = chat(set, 11, bob);
    message(set, 100, a, QStringLiteral("same"), 10, QStringLiteral("x"));
    message(set, 101, b, QStringLiteral("same"), 10, QStringLiteral("x"));
    mergeAll(tmp.path(), set.allMessages());
    EXPECT_EQ(count(dbFile(tmp.path()), QStringLiteral("select count(*) from kik_message")), 1);
    EXPECT_EQ(count(dbFile(tmp.path()), QStringLiteral("select count(*) from kik_chat_messages")), 2);
    EXPECT_EQ(
        count(dbFile(tmp.path()), QStringLiteral("select count(distinct chat_id) from kik_chat_messages")),
        2);
}

TEST(KikLocalDb, StoredFieldsAndLastTimes)
{
    QTemporaryDir tmp;
    KikDataSet set;
    fill(set);
    set.user(1)->photo_ts = at(5);
    set.message(101)->attachment.insert(QStringLiteral("string:file-name"), QStringLiteral("a.jpg"));
    mergeAll(tmp.path(), set.allMessages());
    const QString file = dbFile(tmp.path());
    EXPECT_EQ(count(file, QStringLiteral("select photo_ts from kik_user where jid='ann@talk.kik.com'")),
              (1400000000 + 5) * 1000LL);
    EXPECT_EQ(count(file, QStringLiteral("select count(*) from kik_user where photo_url is not null")), 0);
    EXPECT_EQ(count(file, QStringLiteral("select is_group from kik_user where jid='11_g@groups.kik.com'")),
              1);
    EXPECT_EQ(count(file, QStringLiteral("select count(*) from kik_user where is_group is not null")), 1);
    // rec_ts falls back to ts; own messages have no sender.
    EXPECT_EQ(count(file, QStringLiteral("select rec_ts from kik_message where uid='u1'")),
              (1400000000 + 10) * 1000LL);
    EXPECT_EQ(count(file, QStringLiteral(
                              "select count(*) from kik_message where uid='u1' and target_user is null")),
              1);
    EXPECT_EQ(count(file, QStringLiteral("select count(*) from kik_message where attachment is not null")),
              1);
    EXPECT_EQ(count(file, QStringLiteral("select last_ts from kik_chat c join kik_user u on u._id=c.user_id "
                                         "where u.jid='ann@talk.kik.com'")),
              (1400000000 + 30) * 1000LL);
    EXPECT_EQ(count(file, QStringLiteral("select is_banned from kik_user_members m join kik_user u on "
                                         "u._id=m.member_id where u.jid='bob@talk.kik.com'")),
              1);
}

TEST(KikLocalDb, RoundTripThroughLoadAll)
{
    QTemporaryDir tmp;
    KikDataSet set;
    fill(set);
    set.message(102)->render_ins = QByteArray("\x00\x01\x00\x02", 4);
    set.message(102)->attachment.insert(QStringLiteral("image:preview"), QStringLiteral("p.jpg"));
    set.message(102)->content_id = QStringLiteral("cid-9");
    mergeAll(tmp.path(), set.allMessages());

    KikDataSet loaded;
    KikLocalDb db(tmp.path());
    db.loadAll(loaded);
    ASSERT_EQ(loaded.messages.size(), 5);
    ASSERT_EQ(loaded.chats.size(), 2);
    _KikMessage *three = nullptr;
    for (_KikMessage *m : loaded.messages)
        if (m->uid == QLatin1String("u3"))
            three = m;
    ASSERT_NE(three, nullptr);
    EXPECT_EQ(three->sort_key, three->_id);
    EXPECT_EQ(three->body, QStringLiteral("three"));
    EXPECT_EQ(three->ts, at(30));
    EXPECT_EQ(three->render_ins, QByteArray("\x00\x01\x00\x02", 4));
    EXPECT_EQ(three->preview_path, QDir(tmp.path()).filePath(QStringLiteral("thumbs/p.jpg")));
    EXPECT_EQ(three->content_path, QDir(tmp.path()).filePath(QStringLiteral("files/cid-9")));
    ASSERT_NE(three->chat, nullptr);
    EXPECT_EQ(three->chat->user->jid, QStringLiteral("ann@talk.kik.com"));
    EXPECT_EQ(three->chat->messages.size(), 3);
    EXPECT_EQ(three->chat->last_ts, at(30));
    for (_KikUser *u : loaded.users) {
        if (u->is_group) {
            EXPECT_EQ(u->members.size(), 2);
        }
    }
}

TEST(KikLocalDb, LoadAllReadsDatabaseWrittenElsewhere)
{
    QTemporaryDir tmp;
    const auto built = TestSupport::runPython(QStringLiteral("make_localdb.py"), {tmp.path()});
    ASSERT_EQ(built.exitCode, 0) << built.err.constData();
    KikDataSet set;
    KikLocalDb db(tmp.path());
    db.loadAll(set);
    EXPECT_EQ(set.users.size(), 3);
    EXPECT_EQ(set.chats.size(), 2) << "a chat whose partner is missing is skipped";
    ASSERT_EQ(set.messages.size(), 3);
    _KikUser *ann = set.user(1);
    ASSERT_NE(ann, nullptr);
    EXPECT_EQ(ann->photo_ts.toMSecsSinceEpoch(), 1400000000123LL);
    EXPECT_EQ(ann->photo_path, QDir(tmp.path()).filePath(QStringLiteral("prof/ann_x@talk.kik.com")));
    _KikUser *group = set.user(3);
    ASSERT_NE(group, nullptr);
    EXPECT_TRUE(group->is_group);
    EXPECT_TRUE(group->is_group_admin);
    ASSERT_EQ(group->members.size(), 2) << "a member row naming no user is skipped";
    EXPECT_TRUE(group->members[0].is_admin);
    EXPECT_TRUE(group->members[1].is_banned);
    _KikMessage *m = set.message(101);
    ASSERT_NE(m, nullptr);
    EXPECT_TRUE(m->was_me);
    EXPECT_FALSE(m->rec_ts.isValid());
    EXPECT_EQ(m->attachment.value(QStringLiteral("string:file-name")).toString(), QStringLiteral("a.jpg"));
    EXPECT_EQ(m->attachment.value(QStringLiteral("extra:count")).toInt(), 7);
    EXPECT_EQ(m->preview_path, QDir(tmp.path()).filePath(QStringLiteral("thumbs/prev-1.jpg")));
    EXPECT_EQ(set.message(100)->body, QStringLiteral("Hello Ann ✓"));
    EXPECT_EQ(set.message(100)->target_user, ann);
    EXPECT_EQ(set.message(101)->target_user, nullptr);
    EXPECT_EQ(set.chat(11)->messages.size(), 1) << "a link to a missing message is skipped";
}

TEST(KikLocalDb, DeletingLastMessageRemovesChatButKeepsUser)
{
    QTemporaryDir tmp;
    KikDataSet set;
    fill(set);
    mergeAll(tmp.path(), set.allMessages());
    {
        KikLocalDb db(tmp.path());
        db.deleteMessages({QStringLiteral("g1")});
    }
    const QString file = dbFile(tmp.path());
    EXPECT_EQ(count(file, QStringLiteral("select count(*) from kik_chat")), 2);
    {
        KikLocalDb db(tmp.path());
        db.deleteMessages({QStringLiteral("g2")});
    }
    EXPECT_EQ(count(file, QStringLiteral("select count(*) from kik_chat")), 1);
    EXPECT_EQ(count(file, QStringLiteral("select count(*) from kik_chat_messages")), 3);
    EXPECT_EQ(count(file, QStringLiteral("select count(*) from kik_user where jid='11_g@groups.kik.com'")),
              1);
}

TEST(KikLocalDb, DeletingChatKeepsMessagesLinkedElsewhere)
{
    QTemporaryDir tmp;
    KikDataSet set;
    fill(set);
    // "u1" also appears in the group chat.
    message(set, 105, set.chat(11), QStringLiteral("u1"), 60, QStringLiteral("one"));
    mergeAll(tmp.path(), set.allMessages());
    KikLocalDb db(tmp.path());
    EXPECT_FALSE(db.deleteChat(QStringLiteral("nobody@talk.kik.com")));
    EXPECT_TRUE(db.deleteChat(QStringLiteral("ann@talk.kik.com")));
    const QString file = dbFile(tmp.path());
    EXPECT_EQ(count(file, QStringLiteral("select count(*) from kik_chat")), 1);
    EXPECT_EQ(count(file, QStringLiteral("select count(*) from kik_message")), 3); // g1, g2, u1
    EXPECT_EQ(count(file, QStringLiteral("select count(*) from kik_message where uid='u1'")), 1);
    EXPECT_EQ(count(file, QStringLiteral("select count(*) from kik_user")), 3);
}

TEST(KikLocalDb, HostileMediaNamesStayInsideMediaFolders)
{
    QTemporaryDir tmp;
    const QString source = tmp.filePath(QStringLiteral("src.bin"));
    TestSupport::writeFile(source, "payload");
    const QString folder = tmp.filePath(QStringLiteral("inner/db"));
    KikDataSet set;
    _KikUser *evil = user(set, 1, QStringLiteral(".."), QStringLiteral("Evil"));
    evil->photo_path = source;
    _KikChat *c = chat(set, 10, evil);
    _KikMessage *m = message(set, 100, c, QStringLiteral("u1"), 1, QStringLiteral("x"));
    m->attachment.insert(QStringLiteral("image:preview"), QStringLiteral("../../escaped.jpg"));
    m->attachment.insert(QStringLiteral("image:icon"), tmp.filePath(QStringLiteral("abs.png")));
    m->preview_path = source;
    m->icon_path = source;
    m->content_id = QStringLiteral("../content");
    m->content_path = source;
    mergeAll(folder, set.allMessages());
    EXPECT_FALSE(QFile::exists(tmp.filePath(QStringLiteral("escaped.jpg"))));
    EXPECT_FALSE(QFile::exists(tmp.filePath(QStringLiteral("inner/escaped.jpg"))));
    EXPECT_FALSE(QFile::exists(tmp.filePath(QStringLiteral("abs.png"))));
    EXPECT_FALSE(QFile::exists(tmp.filePath(QStringLiteral("inner/content"))));
    EXPECT_TRUE(QFile::exists(QDir(folder).filePath(QStringLiteral("thumbs/escaped.jpg"))));
    EXPECT_TRUE(QFile::exists(QDir(folder).filePath(QStringLiteral("thumbs/abs.png"))));
    EXPECT_TRUE(QFile::exists(QDir(folder).filePath(QStringLiteral("files/content"))));
    EXPECT_EQ(QDir(QDir(folder).filePath(QStringLiteral("prof"))).entryList(QDir::Files).size(), 0);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{QStringLiteral("velloran-kik.db")});
}

TEST(KikLocalDb, MediaCopiesNeverOverwrite)
{
    QTemporaryDir tmp;
    const QString source = tmp.filePath(QStringLiteral("new.jpg"));
    TestSupport::writeFile(source, "new");
    const QString folder = tmp.filePath(QStringLiteral("db"));
    TestSupport::writeFile(QDir(folder).filePath(QStringLiteral("thumbs/p.jpg")), "old");
    KikDataSet set;
    _KikChat *c = chat(set, 10, user(set, 1, QStringLiteral("a@x"), QStringLiteral("A")));
    _KikMessage *m = message(set, 100, c, QStringLiteral("u1"), 1, QStringLiteral("x"));
    m->attachment.insert(QStringLiteral("image:preview"), QStringLiteral("p.jpg"));
    m->preview_path = source;
    m->content_id = QStringLiteral("missing");
    m->content_path = tmp.filePath(QStringLiteral("does-not-exist"));
    mergeAll(folder, set.allMessages());
    EXPECT_EQ(TestSupport::readFile(QDir(folder).filePath(QStringLiteral("thumbs/p.jpg"))), "old");
    EXPECT_FALSE(QFile::exists(QDir(folder).filePath(QStringLiteral("files/missing"))));
}

TEST(KikLocalDb, NotSqliteGivesErrorAndLeavesFile)
{
    QTemporaryDir tmp;
    ASSERT_EQ(
        TestSupport::runPython(QStringLiteral("make_localdb.py"), {tmp.path(), QStringLiteral("garbage")})
            .exitCode,
        0);
    const QByteArray before = TestSupport::readFile(dbFile(tmp.path()));
    KikDataSet set;
    KikLocalDb db(tmp.path());
    try {
        db.loadAll(set);
        FAIL() << "loading a file that is not SQLite must fail";
    } catch (const std::runtime_error &error) {
        EXPECT_NE(std::string(error.what()).find("not a database"), std::string::npos) << error.what();
    }
    EXPECT_EQ(TestSupport::readFile(dbFile(tmp.path())), before);
}

TEST(LocalDatabases, ListsOnlyFoldersHoldingTheDatabaseFile)
{
    QTemporaryDir tmp;
    QDir root(tmp.path());
    TestSupport::writeFile(root.filePath(QStringLiteral("b db/velloran-kik.db")), "");
    TestSupport::writeFile(root.filePath(QStringLiteral("a/velloran-kik.db")), "");
    TestSupport::writeFile(root.filePath(QStringLiteral("empty/other.db")), "");
    TestSupport::writeFile(root.filePath(QStringLiteral("velloran-kik.db")), "");
    root.mkpath(QStringLiteral("dirdb/velloran-kik.db")); // a folder, not the file
    EXPECT_EQ(LocalDatabases::list(tmp.path()), (QStringList{QStringLiteral("a"), QStringLiteral("b db")}));
}

TEST(LocalDatabases, RemoveDeletesTheFolderButOnlyTheLinkOfALinkedOne)
{
    QTemporaryDir tmp;
    QDir root(tmp.path());
    TestSupport::writeFile(root.filePath(QStringLiteral("dbs/mine/velloran-kik.db")), "x");
    TestSupport::writeFile(root.filePath(QStringLiteral("dbs/mine/files/c1")), "c");
    TestSupport::writeFile(root.filePath(QStringLiteral("elsewhere/velloran-kik.db")), "y");
    TestSupport::writeFile(root.filePath(QStringLiteral("elsewhere/files/c2")), "d");
    ASSERT_TRUE(
        QFile::link(root.filePath(QStringLiteral("elsewhere")), root.filePath(QStringLiteral("dbs/linked"))));
    ASSERT_EQ(LocalDatabases::list(root.filePath(QStringLiteral("dbs"))),
              (QStringList{QStringLiteral("linked"), QStringLiteral("mine")}));

    LocalDatabases::remove(root.filePath(QStringLiteral("dbs/mine")));
    EXPECT_FALSE(QFileInfo::exists(root.filePath(QStringLiteral("dbs/mine"))));
    LocalDatabases::remove(root.filePath(QStringLiteral("dbs/linked")));
    EXPECT_FALSE(QFileInfo(root.filePath(QStringLiteral("dbs/linked"))).isSymLink());
    EXPECT_TRUE(LocalDatabases::list(root.filePath(QStringLiteral("dbs"))).isEmpty());
    EXPECT_EQ(TestSupport::readFile(root.filePath(QStringLiteral("elsewhere/velloran-kik.db"))),
              QByteArray("y"));
    EXPECT_EQ(TestSupport::readFile(root.filePath(QStringLiteral("elsewhere/files/c2"))), QByteArray("d"));
}

TEST(LocalDatabases, NameCheck)
{
    auto check = LocalDatabases::checkName(QStringLiteral(" my db "));
    EXPECT_TRUE(check.ok());
    EXPECT_EQ(check.name, QStringLiteral("my db"));
    for (const char *bad : {"a/b", "a\\b", "c:", "x*", "why?", "\"q\"", "<a>", "p|q", "a\tb", "..", "."}) {
        check = LocalDatabases::checkName(QString::fromLatin1(bad));
        EXPECT_FALSE(check.ok()) << bad;
        EXPECT_STREQ(check.errorKey, "IDS_INVALID_LOCALDB_NAME") << bad;
    }
    for (const char *empty : {"", "   ", "\n"}) {
        check = LocalDatabases::checkName(QString::fromLatin1(empty));
        EXPECT_STREQ(check.errorKey, "IDS_PLEASE_SELECT_DATABASE_OR_INPUT_NEW_NAME");
    }
    EXPECT_TRUE(LocalDatabases::checkName(QStringLiteral("Ann's backup – 2014 ✓")).ok());
}

// A message that the source links to two chats is loaded into both, and
// merging it into another database keeps both links (one message row).
TEST(KikLocalDb, MessageSharedByTwoChatsKeepsBothLinksWhenCopied)
{
    QTemporaryDir tmp;
    const QString source = tmp.filePath(QStringLiteral("source"));
    const auto built =
        TestSupport::runPython(QStringLiteral("make_localdb.py"), {source, QStringLiteral("shared")});
    ASSERT_EQ(built.exitCode, 0) << built.err.constData();
    KikDataSet set;
    {
        KikLocalDb db(source);
        db.loadAll(set);
    }
    _KikMessage *shared = set.message(102);
    ASSERT_NE(shared, nullptr);
    // Ann's link row comes last: her chat is the message's chat.
    EXPECT_EQ(shared->chat, set.chat(10));
    EXPECT_EQ(shared->more_chats, QList<_KikChat *>{set.chat(11)});
    EXPECT_EQ(set.chat(10)->messages.size(), 3);
    EXPECT_EQ(set.chat(11)->messages.size(), 1);
    EXPECT_EQ(chatsOf(shared), (QList<_KikChat *>{set.chat(11), set.chat(10)}));

    const QString copy = tmp.filePath(QStringLiteral("copy"));
    mergeAll(copy, set.allMessages());
    EXPECT_EQ(count(dbFile(copy), QStringLiteral("select count(*) from kik_message")), 3);
    EXPECT_EQ(count(dbFile(copy), QStringLiteral("select count(*) from kik_chat_messages where message_id="
                                                 "(select _id from kik_message where uid='uid-g1')")),
              2);
    KikDataSet again;
    KikLocalDb db(copy);
    db.loadAll(again);
    // The links are written in the order they were read: the copy names
    // the same chat as the message's chat.
    for (const _KikMessage *m : std::as_const(again.messages)) {
        if (m->uid == QLatin1String("uid-g1")) {
            ASSERT_NE(m->chat, nullptr);
            EXPECT_EQ(m->chat->user->jid, QStringLiteral("ann_x@talk.kik.com"));
            EXPECT_EQ(m->more_chats.size(), 1);
        }
    }
    QMap<QString, int> perPartner;
    for (const _KikChat *c : std::as_const(again.chats))
        perPartner[c->user->jid] = int(c->messages.size());
    EXPECT_EQ(perPartner.value(QStringLiteral("ann_x@talk.kik.com")), 3);
    EXPECT_EQ(perPartner.value(QStringLiteral("1100024090445_g@groups.kik.com")), 1);
}
