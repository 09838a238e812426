#include "android/AndroidOffline.h"
#include "jobs/JobCancelled.h"
#include "model/MessageOrder.h"
#include "support/TestSupport.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <utility>

#include <gtest/gtest.h>

using namespace TestSupport;

namespace {

QString py(const QStringList &args)
{
    const auto r = runPython(QStringLiteral("make_android_kik.py"), args);
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    return QString::fromUtf8(r.out);
}

QByteArray md5(const QString &path)
{
    return QCryptographicHash::hash(readFile(path), QCryptographicHash::Md5);
}

} // namespace

TEST(AndroidOffline, TransferWritesANewArchiveAndKeepsThePhonesOne)
{
    for (const QStringList &flags :
         {QStringList{}, QStringList{QStringLiteral("--newer")}, QStringList{QStringLiteral("--core")}}) {
        QTemporaryDir dir;
        py(QStringList{QStringLiteral("tree"), dir.filePath(QStringLiteral("phone"))} + flags);
        py({QStringLiteral("ab"), dir.filePath(QStringLiteral("phone")),
            dir.filePath(QStringLiteral("phone.ab"))});
        py({QStringLiteral("tree"), dir.filePath(QStringLiteral("other")), QStringLiteral("--other")});
        const QByteArray phoneSum = md5(dir.filePath(QStringLiteral("phone.ab")));

        const AndroidLoaded source = loadAndroidTree(QDir(dir.filePath(QStringLiteral("other"))));
        KikMessageList messages = source.data->allMessages();
        ASSERT_EQ(messages.size(), 6);
        const QString out = dir.filePath(QStringLiteral("out/new.ab"));
        const AndroidOfflineResult r =
            transferToAndroidBackup(messages, dir.filePath(QStringLiteral("phone.ab")), out);
        EXPECT_EQ(md5(dir.filePath(QStringLiteral("phone.ab"))), phoneSum);
        EXPECT_EQ(r.merge.phoneMessagesBefore, 8);
        EXPECT_EQ(r.merge.phoneMessagesAfter, 14);
        EXPECT_EQ(QDir(dir.filePath(QStringLiteral("out")))
                      .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                  QStringList{QStringLiteral("new.ab")});

        // Read back independently.
        const QJsonObject info =
            QJsonDocument::fromJson(py({QStringLiteral("inspect"), out}).toUtf8()).object();
        const QJsonArray entries = info.value(QStringLiteral("entries")).toArray();
        ASSERT_EQ(entries.size(), r.entries);
        EXPECT_EQ(entries.first().toObject().value(QStringLiteral("name")).toString(),
                  QStringLiteral("apps/kik.android/_manifest"));

        QTemporaryDir back;
        const AndroidLoaded merged = loadAndroidBackupFile(out, QDir(back.path()));
        KikMessageList all = merged.data->allMessages();
        sortMessagesByTime(all);
        QStringList uids;
        for (_KikMessage *m : all)
            uids << m->uid;
        // Loaded (chat-known, non-system) messages of both phones, by time;
        // the other phone's messages are 700 ms later than their twins.
        EXPECT_EQ(uids,
                  (QStringList{QStringLiteral("a-1"), QStringLiteral("o-a-1"), QStringLiteral("a-2"),
                               QStringLiteral("o-a-2"), QStringLiteral("a-3"), QStringLiteral("o-a-3"),
                               QStringLiteral("g-1"), QStringLiteral("o-g-1"), QStringLiteral("g-3"),
                               QStringLiteral("o-g-3"), QStringLiteral("b-1"), QStringLiteral("o-b-1")}));
        int lastId = 0;
        for (_KikMessage *m : all) {
            EXPECT_GT(m->_id, lastId);
            lastId = int(m->_id);
        }
    }
}

TEST(AndroidOffline, BadPhoneArchivesFailCleanly)
{
    QTemporaryDir dir;
    py({QStringLiteral("tree"), dir.filePath(QStringLiteral("phone"))});
    py({QStringLiteral("ab"), dir.filePath(QStringLiteral("phone")),
        dir.filePath(QStringLiteral("cipher.ab")), QStringLiteral("--cipher")});
    KikMessageList none;
    EXPECT_THROW(transferToAndroidBackup(none, dir.filePath(QStringLiteral("cipher.ab")),
                                         dir.filePath(QStringLiteral("o/new.ab"))),
                 std::runtime_error);
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("o/new.ab"))));
    EXPECT_EQ(QDir(dir.filePath(QStringLiteral("o")))
                  .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                  .size(),
              0);

    // An archive without Kik's database.
    QDir().mkpath(dir.filePath(QStringLiteral("empty/apps/other")));
    writeFile(dir.filePath(QStringLiteral("empty/apps/other/_manifest")), "x");
    py({QStringLiteral("ab"), dir.filePath(QStringLiteral("empty")),
        dir.filePath(QStringLiteral("nokik.ab"))});
    try {
        transferToAndroidBackup(none, dir.filePath(QStringLiteral("nokik.ab")),
                                dir.filePath(QStringLiteral("o/new.ab")));
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error &e) {
        EXPECT_NE(std::string(e.what()).find("No Kik database"), std::string::npos);
    }
    py({QStringLiteral("ab"), dir.filePath(QStringLiteral("phone")),
        dir.filePath(QStringLiteral("phone.ab"))});
    EXPECT_THROW(transferToAndroidBackup(none, dir.filePath(QStringLiteral("phone.ab")),
                                         dir.filePath(QStringLiteral("phone.ab"))),
                 std::runtime_error);
}

TEST(AndroidOffline, CancelAfterUnpackingWritesNothing)
{
    QTemporaryDir dir;
    py({QStringLiteral("tree"), dir.filePath(QStringLiteral("phone"))});
    py({QStringLiteral("ab"), dir.filePath(QStringLiteral("phone")),
        dir.filePath(QStringLiteral("phone.ab"))});
    const QByteArray phoneSum = md5(dir.filePath(QStringLiteral("phone.ab")));
    KikMessageList none;
    AndroidMergeHooks hooks;
    hooks.cancelled = [] { return true; };
    EXPECT_THROW(transferToAndroidBackup(none, dir.filePath(QStringLiteral("phone.ab")),
                                         dir.filePath(QStringLiteral("o/new.ab")), hooks),
                 JobCancelled);
    EXPECT_EQ(md5(dir.filePath(QStringLiteral("phone.ab"))), phoneSum);
    EXPECT_EQ(QDir(dir.filePath(QStringLiteral("o")))
                  .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                  .size(),
              0);
}

TEST(AndroidOffline, ReadingAFolderLeavesItsDatabaseAsItWas)
{
    QTemporaryDir dir;
    py({QStringLiteral("tree"), dir.filePath(QStringLiteral("phone")), QStringLiteral("--wal")});
    const QString db = dir.filePath(QStringLiteral("phone/apps/kik.android/db/kikDatabase.db"));
    const QByteArray dbSum = md5(db), walSum = md5(db + QStringLiteral("-wal"));
    {
        const AndroidLoaded loaded = loadAndroidTree(QDir(dir.filePath(QStringLiteral("phone"))));
        bool walMessage = false;
        for (_KikMessage *m : loaded.data->allMessages())
            walMessage = walMessage || m->uid == QStringLiteral("w-1");
        EXPECT_TRUE(walMessage);
    }
    EXPECT_EQ(md5(db), dbSum);
    ASSERT_TRUE(QFile::exists(db + QStringLiteral("-wal")));
    EXPECT_EQ(md5(db + QStringLiteral("-wal")), walSum);
    Sqlite3DB check;
    check.openThrow(db, Sqlite3DB::ReadOnly);
    Sqlite3Cursor c = check.queryThrow("select count(*) from sqlite_master where name like 'bt_idx_%'");
    ASSERT_TRUE(c.moveNext());
    EXPECT_EQ(c.int64At(0), 0);
}

TEST(AndroidOffline, TruncatedPhoneArchiveWritesNothing)
{
    QTemporaryDir dir;
    py({QStringLiteral("tree"), dir.filePath(QStringLiteral("phone"))});
    py({QStringLiteral("ab"), dir.filePath(QStringLiteral("phone")),
        dir.filePath(QStringLiteral("phone.ab"))});
    const QByteArray full = readFile(dir.filePath(QStringLiteral("phone.ab")));
    writeFile(dir.filePath(QStringLiteral("cut.ab")), full.left(full.size() * 2 / 3));
    const QByteArray cutSum = md5(dir.filePath(QStringLiteral("cut.ab")));
    KikMessageList none;
    try {
        transferToAndroidBackup(none, dir.filePath(QStringLiteral("cut.ab")),
                                dir.filePath(QStringLiteral("o/new.ab")));
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error &e) {
        EXPECT_EQ(std::string(e.what()).rfind("ab file data is corrupted.", 0), 0u) << e.what();
    }
    EXPECT_EQ(md5(dir.filePath(QStringLiteral("cut.ab"))), cutSum);
    EXPECT_EQ(QDir(dir.filePath(QStringLiteral("o")))
                  .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                  .size(),
              0);
}

// Loading Kik from an archive unpacks Kik's files only: entries of other
// apps that no folder could hold (thousands of levels deep, a file and then
// a folder of the same name) or by the hundred thousand stop nothing and
// are not written.
TEST(AndroidOffline, OtherAppsEntriesDoNotStopReadingKik)
{
    for (const auto &[kind, n] :
         {std::pair{"deep", 2000}, std::pair{"clash", 0}, std::pair{"many", 100000}}) {
        SCOPED_TRACE(kind);
        QTemporaryDir dir;
        const QString ab = dir.filePath(QStringLiteral("odd.ab"));
        py({QStringLiteral("odd"), ab, QString::fromLatin1(kind), QString::number(n)});
        const QDir cache(dir.filePath(QStringLiteral("cache")));
        const AndroidLoaded loaded = loadAndroidBackupFile(ab, cache);
        EXPECT_EQ(loaded.data->messages.size(), 6);
        EXPECT_FALSE(QFileInfo::exists(cache.filePath(QStringLiteral("ab-extract/apps/other"))));
        EXPECT_TRUE(
            QFileInfo::exists(cache.filePath(QStringLiteral("ab-extract/apps/kik.android/_manifest"))));
    }
}

TEST(AndroidOffline, FailedLoadLeavesNoPartialTreeInTheCache)
{
    QTemporaryDir dir;
    const QString ab = dir.filePath(QStringLiteral("huge.ab"));
    py({QStringLiteral("odd"), ab, QStringLiteral("huge")});
    const QDir cache(dir.filePath(QStringLiteral("cache")));
    EXPECT_THROW(loadAndroidBackupFile(ab, cache), std::runtime_error);
    EXPECT_FALSE(QFileInfo::exists(cache.filePath(QStringLiteral("ab-extract"))));
}

// An extracted tree of the user's whose database is in WAL mode (with a log
// holding a message) is read without a file being added or changed in it.
TEST(AndroidOffline, UsersTreeInWalModeIsNotWritten)
{
    QTemporaryDir dir;
    const QString tree = dir.filePath(QStringLiteral("tree"));
    py({QStringLiteral("tree"), tree, QStringLiteral("--wal")});
    const QString db = tree + QStringLiteral("/apps/kik.android/db/kikDatabase.db");
    const auto snapshot = [&] {
        QMap<QString, QByteArray> files;
        for (const QString &name : QDir(QFileInfo(db).absolutePath()).entryList(QDir::Files | QDir::Hidden))
            files.insert(name, md5(QFileInfo(db).absolutePath() + QLatin1Char('/') + name));
        return files;
    };
    // With its log, and with the log gone (a WAL database without "-shm").
    for (const bool withLog : {true, false}) {
        if (!withLog) {
            QFile::remove(db + QStringLiteral("-wal"));
            QFile::remove(db + QStringLiteral("-shm"));
        }
        const auto before = snapshot();
        {
            const AndroidLoaded loaded = loadAndroidTree(QDir(tree), dir.filePath(QStringLiteral("private")));
            EXPECT_EQ(loaded.data->messages.size(), withLog ? 7 : 6);
        }
        EXPECT_EQ(snapshot(), before);
    }
}
