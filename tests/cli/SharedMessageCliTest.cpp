// A message Kik's iOS store links to two chats, backed up and copied from a
// shell: every local database it reaches shows it in both chats.
#include "support/TestSupport.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class SharedMessageCli : public ::testing::Test
{
protected:
    QJsonArray json(const QStringList &args)
    {
        const auto result =
            TestSupport::run(QDir(TestSupport::binDir()).filePath(QStringLiteral("velloran-kik")),
                             QStringList{QStringLiteral("--data-root"), m_root.path(),
                                         QStringLiteral("--json"), QStringLiteral("--quiet")}
                                 + args);
        EXPECT_EQ(result.exitCode, 0)
            << args.join(QLatin1Char(' ')).toStdString() << ": " << result.err.constData();
        return QJsonDocument::fromJson(result.out).array();
    }
    // Partner jid -> message count, from `chats`.
    QMap<QString, int> chatCounts(const QString &source)
    {
        QMap<QString, int> counts;
        for (const auto &v : json({QStringLiteral("chats"), source})) {
            const QJsonObject chat = v.toObject();
            counts.insert(chat.value(QStringLiteral("jid")).toString(),
                          chat.value(QStringLiteral("messages")).toInt());
        }
        return counts;
    }
    // The uids `messages --chat JID` lists.
    QSet<QString> uidsOf(const QString &source, const QString &jid)
    {
        QSet<QString> uids;
        for (const auto &v : json({QStringLiteral("messages"), source, QStringLiteral("--chat"), jid}))
            uids.insert(v.toObject().value(QStringLiteral("uid")).toString());
        return uids;
    }
    QTemporaryDir m_root;
};

} // namespace

TEST_F(SharedMessageCli, RealStoreBackedUpAndCopiedKeepsTheSharedMessageInBothChats)
{
    const QString real = TestSupport::realFixture(QStringLiteral("ios-kik-store-2015"));
    if (real.isEmpty())
        GTEST_SKIP() << "the real iOS Kik store sample is not present";
    QTemporaryDir work;
    const QString app = work.filePath(QStringLiteral("com.kik.chat"));
    TestSupport::writeFile(app + QStringLiteral("/Documents/kik.sqlite"),
                           TestSupport::readFile(real + QStringLiteral("/Documents/kik.sqlite")));
    const QString ios = QStringLiteral("ios:") + app;

    const QMap<QString, int> source = chatCounts(ios);
    ASSERT_EQ(source.size(), 6);
    QString group;
    for (auto it = source.cbegin(); it != source.cend(); ++it) {
        if (it.key().endsWith(QLatin1String("@groups.kik.com")))
            group = it.key();
    }
    ASSERT_FALSE(group.isEmpty());
    EXPECT_EQ(source.value(group), 44);
    // The one message linked to two chats: in the group and in one other chat.
    QString other;
    QString sharedUid;
    const QSet<QString> groupUids = uidsOf(ios, group);
    EXPECT_EQ(groupUids.size(), 44);
    for (auto it = source.cbegin(); it != source.cend(); ++it) {
        if (it.key() == group)
            continue;
        const QSet<QString> both = uidsOf(ios, it.key()).intersect(groupUids);
        if (!both.isEmpty()) {
            ASSERT_TRUE(other.isEmpty()) << "one message only is shared";
            ASSERT_EQ(both.size(), 1);
            other = it.key();
            sharedUid = *both.cbegin();
        }
    }
    ASSERT_FALSE(sharedUid.isEmpty());

    json({QStringLiteral("backup"), ios, QStringLiteral("--db"), QStringLiteral("first")});
    json({QStringLiteral("backup"), QStringLiteral("localdb:first"), QStringLiteral("--db"),
          QStringLiteral("second")});
    for (const QString &db : {QStringLiteral("localdb:first"), QStringLiteral("localdb:second")}) {
        SCOPED_TRACE(db.toStdString());
        EXPECT_EQ(chatCounts(db), source);
        EXPECT_EQ(json({QStringLiteral("messages"), db}).size(), 60);
        EXPECT_TRUE(uidsOf(db, group).contains(sharedUid));
        EXPECT_TRUE(uidsOf(db, other).contains(sharedUid));
    }
}
