#include "model/KikDataSet.h"
#include "model/AppleTime.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

namespace {

int g_destroyed = 0;

struct CountedUser : _KikUser
{
    ~CountedUser() override { ++g_destroyed; }
};

} // namespace

TEST(KikDataSet, OwnsAndReplacesRecords)
{
    g_destroyed = 0;
    {
        KikDataSet data;
        auto first = std::make_unique<CountedUser>();
        first->_id = 5;
        data.addUser(std::move(first));
        auto second = std::make_unique<CountedUser>();
        second->_id = 5;
        _KikUser *const kept = second.get();
        EXPECT_EQ(data.addUser(std::move(second)), kept);
        EXPECT_EQ(g_destroyed, 1); // the replaced record is deleted
        EXPECT_EQ(data.user(5), kept);
        EXPECT_EQ(data.addUser(nullptr), nullptr);
        EXPECT_EQ(data.users.size(), 1);
        EXPECT_EQ(g_destroyed, 1);
        EXPECT_EQ(data.user(6), nullptr);
    }
    EXPECT_EQ(g_destroyed, 2);
}

TEST(AppleTime, Conversions)
{
    EXPECT_EQ(AppleTime::toDateTime(0).toMSecsSinceEpoch(), qint64(978307200) * 1000);
    // Truncated to whole seconds.
    EXPECT_EQ(AppleTime::toDateTime(1.9).toMSecsSinceEpoch(), qint64(978307201) * 1000);
    EXPECT_EQ(AppleTime::toDateTime(-1.5).toMSecsSinceEpoch(), qint64(978307199) * 1000);
    EXPECT_EQ(AppleTime::toMsSince1970(10.5), qint64(978307210500));
    EXPECT_EQ(AppleTime::fromMsSince1970(qint64(978307260) * 1000 + 999), 60);
    EXPECT_EQ(AppleTime::fromSecondsSince1970(978307200), 0);
    EXPECT_FALSE(AppleTime::toDateTime(std::nan("")).isValid());
    EXPECT_FALSE(AppleTime::toDateTime(std::numeric_limits<double>::infinity()).isValid());
    EXPECT_FALSE(AppleTime::toDateTime(1e300).isValid());
    EXPECT_EQ(AppleTime::toMsSince1970(1e300), 0);
    EXPECT_EQ(AppleTime::toDateTime(0).timeSpec(), Qt::UTC);
}

TEST(KikRecords, LinkingAMessageToChatsKeepsEveryChat)
{
    _KikChat a, b, c;
    _KikMessage m;
    linkMessageToChat(&a, &m);
    linkMessageToChat(&b, &m);
    linkMessageToChat(&a, &m);
    linkMessageToChat(&b, &m);
    EXPECT_EQ(m.chat, &b) << "the last link names the message's chat";
    EXPECT_EQ(m.more_chats, QList<_KikChat *>{&a});
    EXPECT_EQ(a.messages, KikMessageList{&m});
    EXPECT_EQ(b.messages, KikMessageList{&m});
    EXPECT_EQ(chatsOf(&m), (QList<_KikChat *>{&a, &b}));
    linkMessageToChat(nullptr, &m);
    linkMessageToChat(&c, &m);
    EXPECT_EQ(chatsOf(&m), (QList<_KikChat *>{&a, &b, &c}));
}
