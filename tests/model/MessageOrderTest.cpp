#include "model/MessageOrder.h"
#include "model/KikDataSet.h"

#include <QRandomGenerator>
#include <QSet>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

struct Pool
{
    std::vector<std::unique_ptr<_KikMessage>> messages;
    std::vector<std::unique_ptr<_KikChat>> chats;

    _KikMessage *add(qint64 id, qint64 key, qint64 seconds, _KikChat *chat = nullptr)
    {
        auto m = std::make_unique<_KikMessage>();
        m->_id = id;
        m->sort_key = key;
        m->ts = QDateTime::fromSecsSinceEpoch(1500000000 + seconds, Qt::UTC);
        m->chat = chat;
        messages.push_back(std::move(m));
        return messages.back().get();
    }
    _KikChat *chat(qint64 id)
    {
        auto c = std::make_unique<_KikChat>();
        c->_id = id;
        chats.push_back(std::move(c));
        return chats.back().get();
    }
};

QList<qint64> ids(const KikMessageList &list)
{
    QList<qint64> out;
    for (const _KikMessage *m : list)
        out.append(m->_id);
    return out;
}

} // namespace

TEST(MessageOrder, CloseMessagesKeepSourceOrder)
{
    Pool pool;
    _KikMessage *a = pool.add(1, 5, 0);
    _KikMessage *b = pool.add(2, 3, 30); // later clock, earlier in the source
    EXPECT_TRUE(lessThan(b, a));
    EXPECT_FALSE(lessThan(a, b));
    KikMessageList list{a, b};
    sortMessages(list);
    EXPECT_EQ(ids(list), QList<qint64>({2, 1}));

    // Far apart in time: time decides.
    _KikMessage *c = pool.add(3, 4, 61 + 30);
    EXPECT_TRUE(lessThan(b, c));
    _KikMessage *d = pool.add(4, 100, -1000);
    EXPECT_TRUE(lessThan(d, a));
    // Exactly 10 ids and 60 seconds still count as close.
    _KikMessage *e = pool.add(5, 15, 60);
    _KikMessage *f = pool.add(6, 5, 0);
    EXPECT_TRUE(lessThan(f, e));
    _KikMessage *g = pool.add(7, 16, -10);
    // 11 ids apart: time decides, and g is ten seconds earlier.
    EXPECT_TRUE(lessThan(g, f));
    EXPECT_FALSE(lessThan(f, g));
}

TEST(MessageOrder, ChatsGroupFirstByChatId)
{
    Pool pool;
    _KikChat *one = pool.chat(1);
    _KikChat *two = pool.chat(2);
    _KikMessage *late = pool.add(1, 1, 1000, one);
    _KikMessage *early = pool.add(2, 2, 0, two);
    EXPECT_TRUE(lessThan(late, early));
    KikMessageList list{early, late};
    sortMessages(list);
    EXPECT_EQ(ids(list), QList<qint64>({1, 2}));
    // Without grouping, time decides.
    sortMessagesByTime(list);
    EXPECT_EQ(ids(list), QList<qint64>({2, 1}));
    // A message without chat falls back to the time rule.
    _KikMessage *loose = pool.add(3, 50, 500);
    EXPECT_TRUE(lessThan(loose, late));
}

TEST(MessageOrder, SortIsStableAndOrdersConsistentInput)
{
    Pool pool;
    KikMessageList list;
    QRandomGenerator random(7);
    for (int i = 0; i < 5000; ++i) // keys and times far apart: a total order by time
        list.append(pool.add(i, i * 100, qint64(random.bounded(1000000)) * 100));
    sortMessages(list);
    for (qsizetype i = 1; i < list.size(); ++i)
        ASSERT_LE(list[i - 1]->ts, list[i]->ts);
    // Equal messages keep their input order.
    KikMessageList same;
    for (int i = 0; i < 50; ++i)
        same.append(pool.add(10000 + i, 7, 0));
    const QList<qint64> before = ids(same);
    sortMessages(same);
    EXPECT_EQ(ids(same), before);
}

TEST(MessageOrder, NonTransitiveInputStaysSafeAndDeterministic)
{
    // Runs of messages whose keys are close but whose clocks disagree make the
    // order cyclic (a < b < c < a). std::sort may read out of bounds on such
    // input; the merge sort must return a permutation, the same every time.
    Pool pool;
    KikMessageList list;
    QRandomGenerator random(2024);
    for (int i = 0; i < 200000; ++i) {
        const qint64 key = i / 3 * 7 + qint64(random.bounded(12));
        const qint64 seconds =
            (i % 3 == 0 ? 0 : 55 * (i % 3)) + qint64(random.bounded(3)) * 40 + (i / 300) * 10;
        list.append(pool.add(i, key, seconds));
    }
    // The input really breaks strict weak ordering: somewhere three messages
    // close together form a cycle, which is what makes std::sort unsafe here.
    bool cycle = false;
    for (qsizetype i = 0; i + 6 < list.size() && !cycle; ++i) {
        for (qsizetype j = i + 1; j < i + 6 && !cycle; ++j) {
            for (qsizetype k = j + 1; k <= i + 6 && !cycle; ++k) {
                const _KikMessage *a = list[i], *b = list[j], *c = list[k];
                cycle = (lessThan(a, b) && lessThan(b, c) && lessThan(c, a))
                        || (lessThan(a, c) && lessThan(c, b) && lessThan(b, a));
            }
        }
    }
    ASSERT_TRUE(cycle) << "the test input must contain an order cycle";
    KikMessageList first = list;
    KikMessageList second = list;
    sortMessages(first);
    sortMessages(second);
    EXPECT_EQ(first, second);
    ASSERT_EQ(first.size(), list.size());
    QSet<_KikMessage *> seen(first.cbegin(), first.cend());
    EXPECT_EQ(seen.size(), list.size());
    for (_KikMessage *m : list)
        ASSERT_TRUE(seen.contains(m));
}

TEST(MessageOrder, ExtremeValuesDoNotOverflow)
{
    Pool pool;
    _KikMessage *a = pool.add(1, std::numeric_limits<qint64>::max(), 0);
    _KikMessage *b = pool.add(2, std::numeric_limits<qint64>::min(), 10);
    // Keys are as far apart as can be: time decides.
    EXPECT_TRUE(lessThan(a, b));
    EXPECT_FALSE(lessThan(b, a));
    _KikMessage *invalid = pool.add(3, 0, 0);
    invalid->ts = QDateTime();
    EXPECT_TRUE(lessThan(invalid, a));
}

TEST(ChatOrder, NewestFirst)
{
    KikDataSet data;
    for (int i = 1; i <= 3; ++i) {
        auto ownedChat = std::make_unique<_KikChat>();
        _KikChat *chat = ownedChat.get();
        chat->_id = i;
        chat->last_ts = QDateTime::fromSecsSinceEpoch(1000 * (i == 2 ? 9 : i), Qt::UTC);
        data.addChat(std::move(ownedChat));
    }
    QList<qint64> order;
    for (const _KikChat *chat : data.chatsNewestFirst())
        order.append(chat->_id);
    EXPECT_EQ(order, QList<qint64>({2, 3, 1}));
}
