#include "android/AndroidKikMerge.h"
#include "android/AndroidKikDb.h"
#include "app/AppError.h"
#include "jobs/JobCancelled.h"
#include "support/TestSupport.h"

#include <QCryptographicHash>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace TestSupport;

namespace {

constexpr qint64 T0 = 1500000000000;

QString makeTree(const QTemporaryDir &dir, const QStringList &flags = {})
{
    const QString path = dir.filePath(QStringLiteral("tree"));
    const auto r =
        runPython(QStringLiteral("make_android_kik.py"), QStringList{QStringLiteral("tree"), path} + flags);
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    return path;
}

// A source data set as an iPhone reader would produce it.
struct Source
{
    KikDataSet data;
    KikMessageList list;
    _KikUser *eve = nullptr;
    _KikUser *alice = nullptr;

    _KikMessage *add(_KikChat *chat, const QString &uid, qint64 key, qint64 ts)
    {
        auto ownedM = std::make_unique<_KikMessage>();
        _KikMessage *m = ownedM.get();
        m->_id = data.messages.size() + 1;
        m->sort_key = key;
        m->uid = uid;
        m->ts = QDateTime::fromMSecsSinceEpoch(ts, Qt::UTC);
        m->body = uid + QStringLiteral(" body");
        m->chat = chat;
        data.addMessage(std::move(ownedM));
        list.append(m);
        return m;
    }

    _KikUser *newUser(qint64 id, const QString &jid)
    {
        auto ownedU = std::make_unique<_KikUser>();
        _KikUser *u = ownedU.get();
        u->_id = id;
        u->jid = jid;
        return data.addUser(std::move(ownedU));
    }

    _KikChat *newChat(qint64 id, _KikUser *user)
    {
        auto ownedC = std::make_unique<_KikChat>();
        _KikChat *c = ownedC.get();
        c->_id = id;
        c->user = user;
        return data.addChat(std::move(ownedC));
    }

    explicit Source(const QString &thumbFile)
    {
        eve = newUser(1, QStringLiteral("eve@talk.kik.com"));
        eve->display_name = QStringLiteral("Eve");
        alice = newUser(2, QStringLiteral("alice_x1@talk.kik.com"));
        _KikChat *eveChat = newChat(1, eve);
        _KikChat *aliceChat = newChat(2, alice);
        add(eveChat, QStringLiteral("n-early"), 1000, T0 + 500);
        _KikMessage *pic = add(eveChat, QStringLiteral("n-pic"), 1500, T0 + 20000);
        pic->content_id = QStringLiteral("c-n1");
        pic->app_id = QStringLiteral("com.kik.ext.gallery");
        pic->attachment = {{QStringLiteral("image:preview"), QStringLiteral("../x/thumb-n1")},
                           {QStringLiteral("string:file-name"), QStringLiteral("a.jpg")}};
        pic->preview_path = thumbFile;
        add(aliceChat, QStringLiteral("a-2"), 1600, T0 + 1000); // already on the phone
        add(eveChat, QStringLiteral("n-2000"), 2000, T0 + 31000);
        add(eveChat, QStringLiteral("n-2003"), 2003, T0 + 30000);
        add(nullptr, QStringLiteral("n-orphan"), 2500, T0 + 40000);
    }
};

QStringList uidsInIdOrder(const QString &dbPath, const QDir &root)
{
    AndroidKikDb db(root, dbPath);
    db.openThrow(dbPath, Sqlite3DB::ReadOnly);
    QStringList uids;
    qint64 expected = 1;
    Sqlite3Cursor c = db.queryThrow("select _id, uid from messagesTable order by _id");
    while (c.moveNext()) {
        EXPECT_EQ(c.int64At(0), expected++);
        uids << c.textAt(1);
    }
    return uids;
}

QByteArray md5(const QString &path)
{
    return QCryptographicHash::hash(readFile(path), QCryptographicHash::Md5);
}

} // namespace

TEST(AndroidKikMerge, KeepsPhoneMessagesAddsNewOnesInOrder)
{
    for (const QStringList &flags : {QStringList{}, QStringList{QStringLiteral("--core")}}) {
        QTemporaryDir dir;
        const QDir root(makeTree(dir, flags));
        const QString thumb = dir.filePath(QStringLiteral("src-thumb.jpg"));
        writeFile(thumb, "THUMBDATA");
        Source source(thumb);
        const AndroidMergeResult r = mergeIntoAndroidTree(root, source.list);
        EXPECT_EQ(r.phoneMessagesBefore, 8);
        EXPECT_EQ(r.inserted, 4);
        EXPECT_EQ(r.phoneMessagesAfter, 12);
        EXPECT_TRUE(r.databasePath.endsWith(flags.isEmpty() ? QStringLiteral("/db/kikDatabase.db")
                                                            : QStringLiteral("/db/4f2c9a.kikDatabase.db")));
        const QStringList expected{
            QStringLiteral("a-1"),   QStringLiteral("n-early"), QStringLiteral("a-2"),
            QStringLiteral("a-3"),   QStringLiteral("g-1"),     QStringLiteral("g-2"),
            QStringLiteral("g-3"),   QStringLiteral("b-1"),     QStringLiteral("x-1"),
            QStringLiteral("n-pic"), QStringLiteral("n-2000"),  QStringLiteral("n-2003")};
        EXPECT_EQ(uidsInIdOrder(r.databasePath, root), expected);

        // No work copy left beside the database.
        const QStringList left = QDir(QFileInfo(r.databasePath).absolutePath()).entryList(QDir::Files);
        EXPECT_EQ(left.size(), flags.isEmpty() ? 1 : 2) << left.join(QStringLiteral(",")).toStdString();

        // Phone rows unchanged apart from _id: compare a full row.
        AndroidKikDb db(root, r.databasePath);
        KikDataSet after;
        db.loadAll(after);
        int eveContacts = 0;
        for (_KikUser *u : after.users)
            eveContacts += u->jid == QStringLiteral("eve@talk.kik.com");
        EXPECT_EQ(eveContacts, 1);
        Sqlite3Cursor c = db.queryThrow("select body, render_instructions, read_state, sys_msg from "
                                        "messagesTable where uid in ('a-2','g-2') order by uid");
        ASSERT_TRUE(c.moveNext());
        EXPECT_EQ(c.textAt(0), QStringLiteral("hey :)"));
        EXPECT_FALSE(c.textAt(1).isEmpty());
        EXPECT_EQ(c.int64At(2), 400);
        ASSERT_TRUE(c.moveNext());
        EXPECT_EQ(c.textAt(3), QStringLiteral("Bob joined"));
        c = Sqlite3Cursor();

        // The thumbnail, under one safe name, in the tree and the upload list.
        const QString copied =
            root.absoluteFilePath(QStringLiteral("apps/kik.android/f/staging/thumbs/thumb-n1"));
        EXPECT_EQ(readFile(copied), "THUMBDATA");
        ASSERT_GE(r.uploads.size(), 2);
        EXPECT_EQ(r.uploads.first().phonePath,
                  QStringLiteral("/data/data/kik.android/files/staging/thumbs/thumb-n1"));
        EXPECT_FALSE(r.uploads.first().mustSucceed);
        EXPECT_EQ(r.uploads.last().localPath, r.databasePath);
        EXPECT_TRUE(r.uploads.last().mustSucceed);
        EXPECT_EQ(r.uploads.last().phonePath,
                  QStringLiteral("/data/data/kik.android/databases/") + QFileInfo(r.databasePath).fileName());
        Sqlite3Cursor t = db.queryThrow(
            "select content_string from KIKContentTable where content_id='c-n1' and content_name='preview'");
        ASSERT_TRUE(t.moveNext());
        EXPECT_EQ(t.textAt(0), QStringLiteral("thumb-n1"));
    }
}

TEST(AndroidKikMerge, RunningTwiceAddsNothingNew)
{
    QTemporaryDir dir;
    const QDir root(makeTree(dir));
    Source source{QString()};
    mergeIntoAndroidTree(root, source.list);
    const AndroidMergeResult again = mergeIntoAndroidTree(root, source.list);
    EXPECT_EQ(again.phoneMessagesBefore, 12);
    EXPECT_EQ(again.phoneMessagesAfter, 12);
    EXPECT_EQ(again.inserted, 0);
}

TEST(AndroidKikMerge, FailuresLeaveTheTreeDatabaseUntouched)
{
    QTemporaryDir dir;
    const QDir root(makeTree(dir));
    const QString dbPath = root.absoluteFilePath(QStringLiteral("apps/kik.android/db/kikDatabase.db"));
    const QByteArray before = md5(dbPath);
    Source source{QString()};

    int calls = 0;
    AndroidMergeHooks cancelLater;
    cancelLater.cancelled = [&] { return ++calls > 5; };
    EXPECT_THROW(mergeIntoAndroidTree(root, source.list, cancelLater), JobCancelled);
    EXPECT_EQ(md5(dbPath), before);
    EXPECT_EQ(
        QDir(root.absoluteFilePath(QStringLiteral("apps/kik.android/db"))).entryList(QDir::Files).size(), 1);

    // A database without one of Kik's tables.
    {
        Sqlite3DB raw;
        raw.openThrow(dbPath, Sqlite3DB::ReadWrite);
        raw.executeThrow("DROP TABLE KIKContentRetainCountTable");
    }
    const QByteArray dropped = md5(dbPath);
    EXPECT_THROW(mergeIntoAndroidTree(root, source.list), AppError);
    EXPECT_EQ(md5(dbPath), dropped);
    EXPECT_EQ(
        QDir(root.absoluteFilePath(QStringLiteral("apps/kik.android/db"))).entryList(QDir::Files).size(), 1);

    QTemporaryDir empty;
    EXPECT_THROW(mergeIntoAndroidTree(QDir(empty.path()), source.list), AppError);
}

TEST(AndroidKikMerge, ThumbNamesAreSingleSafeNames)
{
    EXPECT_EQ(androidThumbName(QStringLiteral("../../etc/passwd")), QStringLiteral("passwd"));
    EXPECT_EQ(androidThumbName(QStringLiteral("..")), QString());
    EXPECT_EQ(androidThumbName(QStringLiteral("a\\b")), QStringLiteral("b"));
    EXPECT_FALSE(androidThumbName(QStringLiteral("x;rm -rf /")).contains(QLatin1Char('/')));
    // Nothing a shell would act on, no option- or hidden-looking start.
    EXPECT_EQ(androidThumbName(QStringLiteral("a;b $(touch x)`y`'z'&")), QStringLiteral("abtouchxyz"));
    EXPECT_EQ(androidThumbName(QStringLiteral("-rf")), QStringLiteral("rf"));
    EXPECT_EQ(androidThumbName(QStringLiteral("..hidden.jpg")), QStringLiteral("hidden.jpg"));
    EXPECT_EQ(androidThumbName(QString::fromUtf8("caf\u00e9-1.jpg")), QStringLiteral("caf-1.jpg"));
    EXPECT_EQ(androidThumbName(QStringLiteral("9b2f4c7d-1e0a-48b6-a3c5-d7e9f1b3a5c7")),
              QStringLiteral("9b2f4c7d-1e0a-48b6-a3c5-d7e9f1b3a5c7"));
    // Longer than an archive entry name may be: no thumbnail rather than a
    // merge whose archive cannot be written.
    EXPECT_EQ(androidThumbName(QString(101, QLatin1Char('a'))), QString());
    EXPECT_EQ(androidThumbName(QString(100, QLatin1Char('a'))), QString(100, QLatin1Char('a')));
}

TEST(AndroidKikMerge, RowsOnlyInTheWalAreMergedAndTheTreeFileStaysUntilCommit)
{
    QTemporaryDir dir;
    const QDir root(makeTree(dir, {QStringLiteral("--wal")}));
    const QString dbPath = root.absoluteFilePath(QStringLiteral("apps/kik.android/db/kikDatabase.db"));
    const QByteArray dbSum = md5(dbPath), walSum = md5(dbPath + QStringLiteral("-wal"));
    Source source{QString()};

    int calls = 0;
    AndroidMergeHooks cancelLater;
    cancelLater.cancelled = [&] { return ++calls > 3; };
    EXPECT_THROW(mergeIntoAndroidTree(root, source.list, cancelLater), JobCancelled);
    // Byte for byte: the WAL was neither folded into the file nor removed.
    EXPECT_EQ(md5(dbPath), dbSum);
    ASSERT_TRUE(QFile::exists(dbPath + QStringLiteral("-wal")));
    EXPECT_EQ(md5(dbPath + QStringLiteral("-wal")), walSum);
    EXPECT_EQ(
        QDir(root.absoluteFilePath(QStringLiteral("apps/kik.android/db"))).entryList(QDir::Files).size(), 2);

    const AndroidMergeResult r = mergeIntoAndroidTree(root, source.list);
    EXPECT_EQ(r.phoneMessagesBefore, 9);
    EXPECT_EQ(r.phoneMessagesAfter, 13);
    // The old -wal is gone with the old file, so it cannot be replayed into
    // the merged one.
    EXPECT_FALSE(QFile::exists(dbPath + QStringLiteral("-wal")));
    EXPECT_EQ(r.uploads.last().localPath, dbPath);
    EXPECT_TRUE(uidsInIdOrder(r.databasePath, root).contains(QStringLiteral("w-1")));
}

TEST(AndroidKikMerge, PhoneRowsSharingAUidAreAllKept)
{
    QTemporaryDir dir;
    const QDir root(makeTree(dir));
    const QString dbPath = root.absoluteFilePath(QStringLiteral("apps/kik.android/db/kikDatabase.db"));
    {
        Sqlite3DB raw;
        raw.openThrow(dbPath, Sqlite3DB::ReadWrite);
        raw.executeThrow("INSERT INTO messagesTable (uid, body, bin_id, timestamp, was_me) "
                         "VALUES ('a-2', 'second copy', 'alice_x1@talk.kik.com', 1500000007000, 0)");
    }
    Source source{QString()};
    const AndroidMergeResult r = mergeIntoAndroidTree(root, source.list);
    EXPECT_EQ(r.phoneMessagesBefore, 9);
    EXPECT_EQ(r.inserted, 4); // the source's "a-2" is not added a third time
    EXPECT_EQ(r.phoneMessagesAfter, 13);
    EXPECT_EQ(uidsInIdOrder(r.databasePath, root).count(QStringLiteral("a-2")), 2);
}

TEST(AndroidKikMerge, PhoneRowsWhoseTimesRunAgainstTheirIdsAreEachCopiedOnce)
{
    QTemporaryDir dir;
    const QDir root(makeTree(dir));
    const QString dbPath = root.absoluteFilePath(QStringLiteral("apps/kik.android/db/kikDatabase.db"));
    {
        Sqlite3DB raw;
        raw.openThrow(dbPath, Sqlite3DB::ReadWrite);
        // A row added last but older than everything, and one added last
        // within a minute of the others (it keeps its place by _id).
        raw.executeThrow("INSERT INTO messagesTable (uid, body, bin_id, timestamp, encryption_key) "
                         "VALUES ('late-old', 'x', 'alice_x1@talk.kik.com', 1400000000000, x'00ff')");
        raw.executeThrow("INSERT INTO messagesTable (uid, body, bin_id, timestamp) "
                         "VALUES ('late-mid', 'y', 'alice_x1@talk.kik.com', 1500000003200)");
        // The first row becomes the newest, more than a minute after the rest.
        raw.executeThrow("UPDATE messagesTable SET timestamp = 1500000100000 WHERE uid = 'a-1'");
    }
    KikMessageList none;
    const AndroidMergeResult r = mergeIntoAndroidTree(root, none);
    EXPECT_EQ(r.phoneMessagesAfter, 10);
    EXPECT_EQ(uidsInIdOrder(r.databasePath, root),
              (QStringList{QStringLiteral("late-old"), QStringLiteral("a-2"), QStringLiteral("a-3"),
                           QStringLiteral("g-1"), QStringLiteral("g-2"), QStringLiteral("g-3"),
                           QStringLiteral("b-1"), QStringLiteral("x-1"), QStringLiteral("late-mid"),
                           QStringLiteral("a-1")}));
    AndroidKikDb db(root, r.databasePath);
    db.openThrow(r.databasePath, Sqlite3DB::ReadOnly);
    Sqlite3Cursor c =
        db.queryThrow("select hex(encryption_key), body from messagesTable where uid='late-old'");
    ASSERT_TRUE(c.moveNext());
    EXPECT_EQ(c.textAt(0), QStringLiteral("00FF"));
    EXPECT_EQ(c.textAt(1), QStringLiteral("x"));
}
