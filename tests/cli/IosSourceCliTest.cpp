#include "cli/CliCommand.h"
#include "cli/CliSource.h"
#include "jobs/HeadlessProgress.h"
#include "jobs/JobCancelled.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class IosSourceCli : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_app = m_work.filePath(QStringLiteral("com.kik.chat"));
        const auto built = TestSupport::runPython(
            QStringLiteral("make_ios_kik_store.py"),
            {m_app, m_work.filePath(QStringLiteral("expected.json")), QStringLiteral("--wal")});
        ASSERT_EQ(built.exitCode, 0) << built.err.constData();
        m_expected =
            QJsonDocument::fromJson(TestSupport::readFile(m_work.filePath(QStringLiteral("expected.json"))))
                .object();
    }
    TestSupport::ProcessResult cli(const QStringList &args)
    {
        return TestSupport::run(QDir(TestSupport::binDir()).filePath(QStringLiteral("velloran-kik")),
                                QStringList{QStringLiteral("--data-root"), m_root.path()} + args);
    }
    QJsonArray jsonArray(const QStringList &args)
    {
        const auto result = cli(QStringList{QStringLiteral("--json"), QStringLiteral("--quiet")} + args);
        EXPECT_EQ(result.exitCode, 0) << result.err.constData();
        return QJsonDocument::fromJson(result.out).array();
    }
    QString source() const { return QStringLiteral("ios:") + m_app; }

    QTemporaryDir m_root;
    QTemporaryDir m_work;
    QString m_app;
    QJsonObject m_expected;
};

QJsonObject byUid(const QJsonArray &messages, const QString &uid)
{
    for (const auto &v : messages) {
        if (v.toObject().value(QStringLiteral("uid")).toString() == uid)
            return v.toObject();
    }
    return {};
}

} // namespace

TEST_F(IosSourceCli, ChatsListsGroupsWithTheirMembers)
{
    const QJsonArray chats = jsonArray({QStringLiteral("chats"), source()});
    ASSERT_EQ(chats.size(), m_expected.value(QStringLiteral("chats")).toObject().size());
    QJsonObject group;
    for (const auto &v : chats) {
        if (v.toObject().value(QStringLiteral("id")).toInt() == 13)
            group = v.toObject();
    }
    ASSERT_FALSE(group.isEmpty());
    EXPECT_TRUE(group.value(QStringLiteral("is_group")).toBool());
    EXPECT_EQ(group.value(QStringLiteral("jid")).toString(),
              QStringLiteral("1100024090445_g@groups.kik.com"));
    QStringList members;
    for (const auto &v : group.value(QStringLiteral("members")).toArray())
        members.append(v.toString());
    members.sort();
    EXPECT_EQ(
        members,
        (QStringList{QStringLiteral("anna_x1@talk.kik.com"), QStringLiteral("bob_b2@talk.kik.com"),
                     QStringLiteral("chloe_c3@talk.kik.com"), QStringLiteral("me_owner@talk.kik.com")}));
    EXPECT_EQ(group.value(QStringLiteral("messages")).toInt(), 4);
}

TEST_F(IosSourceCli, MessagesAndBackupCarryEveryMessage)
{
    const QJsonObject expected = m_expected.value(QStringLiteral("messages")).toObject();
    const QJsonArray messages = jsonArray({QStringLiteral("messages"), source()});
    ASSERT_EQ(messages.size(), expected.size());
    const QJsonObject wal = byUid(messages, QStringLiteral("5a7e0000-0000-4000-8000-000000000115"));
    EXPECT_EQ(wal.value(QStringLiteral("body")).toString(), QStringLiteral("also only in the WAL"));
    EXPECT_EQ(wal.value(QStringLiteral("ts")).toInteger(), (978307200LL + 450300002) * 1000);
    const QJsonObject gallery = byUid(messages, QStringLiteral("5a7e0000-0000-4000-8000-000000000104"));
    EXPECT_EQ(gallery.value(QStringLiteral("app_id")).toString(), QStringLiteral("com.kik.ext.gallery"));
    EXPECT_EQ(gallery.value(QStringLiteral("attachment"))
                  .toObject()
                  .value(QStringLiteral("string:file-name"))
                  .toString(),
              QStringLiteral("IMG_0001.JPG"));
    EXPECT_EQ(gallery.value(QStringLiteral("sender")).toString(), QStringLiteral("anna_x1@talk.kik.com"));

    const auto backup = cli({QStringLiteral("--json"), QStringLiteral("--quiet"), QStringLiteral("backup"),
                             source(), QStringLiteral("--db"), QStringLiteral("fromios")});
    ASSERT_EQ(backup.exitCode, 0) << backup.err.constData();
    const QJsonArray stored = jsonArray({QStringLiteral("messages"), QStringLiteral("localdb:fromios")});
    ASSERT_EQ(stored.size(), messages.size());
    for (const auto &v : messages) {
        const QJsonObject m = v.toObject();
        const QString uid = m.value(QStringLiteral("uid")).toString();
        const QJsonObject s = byUid(stored, uid);
        ASSERT_FALSE(s.isEmpty()) << qPrintable(uid);
        for (const char *field : {"chat", "sender", "was_me", "ts", "body", "content_id"}) {
            EXPECT_EQ(s.value(QLatin1String(field)), m.value(QLatin1String(field)))
                << qPrintable(uid) << " " << field;
        }
    }
}

TEST_F(IosSourceCli, FolderWithoutStoreFailsAndCreatesNothing)
{
    QTemporaryDir empty;
    const auto result = cli({QStringLiteral("messages"), QStringLiteral("ios:") + empty.path()});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_FALSE(result.err.isEmpty());
    EXPECT_FALSE(QDir(empty.path()).exists(QStringLiteral("Documents")));
}

// The real 2015 store, read through the ios: source from a copy: the counts
// its notes give, the group's four members, and the copy left as it was (no
// "-wal" or "-shm" made beside it, the store byte for byte the same).
TEST(IosSourceCliRealStore, LoadsTheRealStoreAndLeavesItAsItWas)
{
    const QString real = TestSupport::realFixture(QStringLiteral("ios-kik-store-2015"));
    if (real.isEmpty())
        GTEST_SKIP() << "the real iOS Kik store sample is not present";
    QTemporaryDir root;
    QTemporaryDir work;
    const QString store = work.filePath(QStringLiteral("com.kik.chat/Documents/kik.sqlite"));
    const QByteArray original = TestSupport::readFile(real + QStringLiteral("/Documents/kik.sqlite"));
    TestSupport::writeFile(store, original);
    const QString source = QStringLiteral("ios:") + work.filePath(QStringLiteral("com.kik.chat"));
    auto run = [&](const QString &command) {
        const auto result =
            TestSupport::run(QDir(TestSupport::binDir()).filePath(QStringLiteral("velloran-kik")),
                             {QStringLiteral("--data-root"), root.path(), QStringLiteral("--json"),
                              QStringLiteral("--quiet"), command, source});
        EXPECT_EQ(result.exitCode, 0) << result.err.constData();
        return QJsonDocument::fromJson(result.out).array();
    };
    const QJsonArray chats = run(QStringLiteral("chats"));
    ASSERT_EQ(chats.size(), 6);
    int groups = 0;
    for (const auto &v : chats) {
        const QJsonObject chat = v.toObject();
        if (!chat.value(QStringLiteral("is_group")).toBool()) {
            EXPECT_TRUE(chat.value(QStringLiteral("members")).toArray().isEmpty());
            continue;
        }
        ++groups;
        EXPECT_TRUE(chat.value(QStringLiteral("jid")).toString().endsWith(QLatin1String("@groups.kik.com")));
        EXPECT_EQ(chat.value(QStringLiteral("members")).toArray().size(), 4);
    }
    EXPECT_EQ(groups, 1);
    EXPECT_EQ(run(QStringLiteral("messages")).size(), 60);
    EXPECT_EQ(QDir(QFileInfo(store).absolutePath()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("kik.sqlite")});
    EXPECT_TRUE(TestSupport::readFile(store) == original);
}

// A cancel while the store is read ends the read with the cancellation
// every job throws (the command then exits with the cancel code), not with
// an empty source that a command could take for a store without chats.
TEST_F(IosSourceCli, ACancelledReadThrowsTheCancellation)
{
    TestSupport::ScopedDataRoot root;
    CliContext ctx;
    HeadlessProgress cancelled;
    cancelled.cancel();
    EXPECT_THROW(loadSource(ctx, source(), &cancelled), JobCancelled);
    HeadlessProgress running;
    const LoadedSource loaded = loadSource(ctx, source(), &running);
    ASSERT_NE(loaded.data, nullptr);
    EXPECT_EQ(loaded.data->messages.size(), m_expected.value(QStringLiteral("messages")).toObject().size());
}
