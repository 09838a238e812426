#include "support/TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QString binary()
{
    return QDir(TestSupport::binDir()).filePath(QStringLiteral("velloran-kik"));
}

class LocalDbCli : public ::testing::Test
{
protected:
    TestSupport::ProcessResult cli(const QStringList &args)
    {
        return TestSupport::run(binary(), QStringList{QStringLiteral("--data-root"), m_root.path()} + args);
    }
    QJsonDocument json(const QStringList &args, int expectedExit = 0)
    {
        const auto result = cli(QStringList{QStringLiteral("--json")} + args);
        EXPECT_EQ(result.exitCode, expectedExit) << result.err.constData();
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(result.out, &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << result.out.constData();
        return doc;
    }
    QString dbFolder(const QString &name) const
    {
        return QDir(m_root.path()).filePath(QStringLiteral("local_databases/") + name);
    }
    void makeDb(const QString &name, const QString &mode = QStringLiteral("plain"))
    {
        const auto built = TestSupport::runPython(QStringLiteral("make_localdb.py"), {dbFolder(name), mode});
        ASSERT_EQ(built.exitCode, 0) << built.err.constData();
    }
    QTemporaryDir m_root;
};

} // namespace

TEST_F(LocalDbCli, ListShowsOnlyDatabaseFolders)
{
    EXPECT_EQ(json({QStringLiteral("localdb"), QStringLiteral("list")}).array().size(), 0);
    makeDb(QStringLiteral("first"));
    QDir().mkpath(dbFolder(QStringLiteral("not-a-db")));
    const QJsonArray list = json({QStringLiteral("localdb"), QStringLiteral("list")}).array();
    ASSERT_EQ(list.size(), 1);
    EXPECT_EQ(list[0].toObject().value(QStringLiteral("name")).toString(), QStringLiteral("first"));
    EXPECT_EQ(QDir::cleanPath(list[0].toObject().value(QStringLiteral("path")).toString()),
              QDir::cleanPath(dbFolder(QStringLiteral("first"))));
}

TEST_F(LocalDbCli, ChatsNewestFirstWithContractFields)
{
    makeDb(QStringLiteral("src"));
    const QJsonArray chats = json({QStringLiteral("chats"), QStringLiteral("localdb:src")}).array();
    ASSERT_EQ(chats.size(), 2);
    const QJsonObject group = chats[0].toObject();
    EXPECT_EQ(group.value(QStringLiteral("jid")).toString(),
              QStringLiteral("1100024090445_g@groups.kik.com"));
    EXPECT_TRUE(group.value(QStringLiteral("is_group")).toBool());
    EXPECT_EQ(group.value(QStringLiteral("name")).toString(), QStringLiteral("Fellows"));
    EXPECT_EQ(group.value(QStringLiteral("members")).toArray().size(), 2);
    EXPECT_EQ(group.value(QStringLiteral("last_ts")).toInteger(), 1400000300000LL);
    EXPECT_EQ(group.value(QStringLiteral("id")).toInteger(), 11);
    const QJsonObject ann = chats[1].toObject();
    EXPECT_EQ(ann.value(QStringLiteral("messages")).toInt(), 2);
    EXPECT_EQ(ann.keys().size(), 7);
}

TEST_F(LocalDbCli, MessagesInDisplayOrderAndFilteredByChat)
{
    makeDb(QStringLiteral("src"));
    const QJsonArray all = json({QStringLiteral("messages"), QStringLiteral("localdb:src")}).array();
    ASSERT_EQ(all.size(), 3);
    const QJsonObject first = all[0].toObject();
    EXPECT_EQ(first.value(QStringLiteral("uid")).toString(), QStringLiteral("uid-a1"));
    EXPECT_EQ(first.value(QStringLiteral("sender")).toString(), QStringLiteral("ann_x@talk.kik.com"));
    EXPECT_EQ(first.value(QStringLiteral("rec_ts")).toInteger(), 1400000100500LL);
    EXPECT_EQ(first.value(QStringLiteral("body")).toString(), QStringLiteral("Hello Ann ✓"));
    const QJsonObject second = all[1].toObject();
    EXPECT_TRUE(second.value(QStringLiteral("sender")).isNull());
    EXPECT_TRUE(second.value(QStringLiteral("rec_ts")).isNull());
    EXPECT_EQ(second.value(QStringLiteral("summary")).toString(), QStringLiteral("[IMAGE]"));
    EXPECT_EQ(second.value(QStringLiteral("attachment"))
                  .toObject()
                  .value(QStringLiteral("string:file-name"))
                  .toString(),
              QStringLiteral("a.jpg"));
    for (const char *key : {"uid", "chat", "sender", "was_me", "ts", "rec_ts", "body", "summary", "app_id",
                            "sub_app_id", "content_id", "attachment", "content_path", "preview_path"})
        EXPECT_TRUE(second.contains(QLatin1String(key))) << key;
    const QJsonArray group =
        json({QStringLiteral("messages"), QStringLiteral("localdb:src"), QStringLiteral("--chat"),
              QStringLiteral("1100024090445_g@groups.kik.com")})
            .array();
    ASSERT_EQ(group.size(), 1);
    EXPECT_EQ(group[0].toObject().value(QStringLiteral("uid")).toString(), QStringLiteral("uid-g1"));
}

TEST_F(LocalDbCli, BackupTwiceCountsTheSameAndDeleteRemovesIt)
{
    makeDb(QStringLiteral("src"));
    const QStringList backup{QStringLiteral("backup"), QStringLiteral("localdb:src"), QStringLiteral("--db"),
                             QStringLiteral(" copy ")};
    const QJsonObject first = json(backup).object();
    EXPECT_EQ(first.value(QStringLiteral("db")).toString(), QStringLiteral("copy"));
    EXPECT_EQ(first.value(QStringLiteral("messages")).toInt(), 3);
    const QJsonObject second = json(backup).object();
    EXPECT_EQ(second.value(QStringLiteral("messages")).toInt(), 3);
    const QJsonArray chats = json({QStringLiteral("chats"), QStringLiteral("localdb:copy")}).array();
    EXPECT_EQ(chats.size(), 2);
    const auto text = cli(backup);
    EXPECT_EQ(text.exitCode, 0);
    EXPECT_EQ(text.out.trimmed(), QByteArray("Successfully backed up 3 messages."));

    const QJsonObject deleted =
        json({QStringLiteral("localdb"), QStringLiteral("delete"), QStringLiteral("copy")}).object();
    EXPECT_EQ(deleted.value(QStringLiteral("deleted")).toString(), QStringLiteral("copy"));
    EXPECT_FALSE(QFileInfo::exists(dbFolder(QStringLiteral("copy"))));
    EXPECT_TRUE(QFileInfo::exists(dbFolder(QStringLiteral("src"))));
}

TEST_F(LocalDbCli, BackupBetweenLocalDatabasesCopiesTheirMedia)
{
    makeDb(QStringLiteral("src"), QStringLiteral("media"));
    const QJsonObject done = json({QStringLiteral("backup"), QStringLiteral("localdb:src"),
                                   QStringLiteral("--db"), QStringLiteral("dst")})
                                 .object();
    EXPECT_EQ(done.value(QStringLiteral("messages")).toInt(), 3);
    const QDir src(dbFolder(QStringLiteral("src")));
    const QDir dst(dbFolder(QStringLiteral("dst")));
    for (const char *file : {"thumbs/prev-1.jpg", "files/c0ffee-1", "prof/ann_x@talk.kik.com",
                             "prof/bob_y@talk.kik.com", "prof/1100024090445_g@groups.kik.com"}) {
        const QString name = QString::fromLatin1(file);
        ASSERT_TRUE(QFileInfo::exists(dst.filePath(name))) << file;
        EXPECT_EQ(TestSupport::readFile(dst.filePath(name)), TestSupport::readFile(src.filePath(name)))
            << file;
    }
    // The copy reads back with the same messages and media paths.
    const QJsonArray messages = json({QStringLiteral("messages"), QStringLiteral("localdb:dst")}).array();
    ASSERT_EQ(messages.size(), 3);
    bool sawContent = false;
    for (const QJsonValue &value : messages) {
        const QJsonObject message = value.toObject();
        if (message.value(QStringLiteral("uid")).toString() != QStringLiteral("uid-a2"))
            continue;
        sawContent = true;
        EXPECT_EQ(QDir::cleanPath(message.value(QStringLiteral("content_path")).toString()),
                  QDir::cleanPath(dst.filePath(QStringLiteral("files/c0ffee-1"))));
        EXPECT_EQ(QDir::cleanPath(message.value(QStringLiteral("preview_path")).toString()),
                  QDir::cleanPath(dst.filePath(QStringLiteral("thumbs/prev-1.jpg"))));
    }
    EXPECT_TRUE(sawContent);
}

TEST_F(LocalDbCli, BadNamesAndMissingDatabases)
{
    makeDb(QStringLiteral("src"));
    auto result = cli({QStringLiteral("backup"), QStringLiteral("localdb:src"), QStringLiteral("--db"),
                       QStringLiteral("a/b")});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_FALSE(QFileInfo::exists(QDir(m_root.path()).filePath(QStringLiteral("local_databases/a"))));
    result = cli({QStringLiteral("backup"), QStringLiteral("localdb:src")});
    EXPECT_EQ(result.exitCode, 2) << "--db is required";
    result = cli({QStringLiteral("chats"), QStringLiteral("localdb:nothing")});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_FALSE(result.err.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(dbFolder(QStringLiteral("nothing")))) << "reading creates nothing";
    result = cli({QStringLiteral("localdb"), QStringLiteral("delete"), QStringLiteral("nothing")});
    EXPECT_EQ(result.exitCode, 1);
    result = cli({QStringLiteral("localdb"), QStringLiteral("delete"), QStringLiteral("..")});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_TRUE(QFileInfo::exists(dbFolder(QStringLiteral("src"))));
}

TEST_F(LocalDbCli, BrokenSourceFailsWithAccessLayerText)
{
    makeDb(QStringLiteral("bad"), QStringLiteral("garbage"));
    const auto result = cli({QStringLiteral("backup"), QStringLiteral("localdb:bad"), QStringLiteral("--db"),
                             QStringLiteral("out")});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.err.contains("not a database")) << result.err.constData();
    EXPECT_FALSE(QFileInfo::exists(dbFolder(QStringLiteral("out"))));
}

TEST_F(LocalDbCli, TerminateCancelsBackupAndKeepsTargetAsBefore)
{
    makeDb(QStringLiteral("big"), QStringLiteral("big:40000"));
    makeDb(QStringLiteral("target"));
    const QString targetDb = dbFolder(QStringLiteral("target/velloran-kik.db"));
    const QByteArray before = TestSupport::readFile(targetDb);

    // Stopped at the job's first item report, as Ctrl+C would.
    const auto r = TestSupport::terminateAfter(binary(),
                                               {QStringLiteral("--data-root"), m_root.path(),
                                                QStringLiteral("backup"), QStringLiteral("localdb:big"),
                                                QStringLiteral("--db"), QStringLiteral("target")},
                                               "Messages:");
    EXPECT_FALSE(r.crashed);
    EXPECT_EQ(r.exitCode, 3) << r.err.constData();
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_EQ(TestSupport::readFile(targetDb), before) << "nothing half-written is kept";
}
