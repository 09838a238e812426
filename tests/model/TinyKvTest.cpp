#include "model/TinyKv.h"

#include <QRandomGenerator>
#include <QtEndian>

#include <gtest/gtest.h>

namespace {

QByteArray u32(quint32 v)
{
    char b[4];
    qToLittleEndian(v, b);
    return QByteArray(b, 4);
}

QByteArray str(const QByteArray &s)
{
    return u32(quint32(s.size())) + s;
}

} // namespace

TEST(TinyKv, EncodesTheDocumentedBytes)
{
    QVariantMap map;
    map.insert(QStringLiteral("string:file-name"), QStringLiteral("a.jpg"));
    const QByteArray expected = QByteArray("tinykv") + str("string:file-name") + "s" + str("a.jpg");
    EXPECT_EQ(encodeAttachmentMap(map), expected);
    EXPECT_EQ(encodeAttachmentMap({}), QByteArray("tinykv"));
    EXPECT_TRUE(decodeAttachmentMap("tinykv").isEmpty());
}

TEST(TinyKv, EveryTagRoundTrips)
{
    QVariantMap nested;
    nested.insert(QStringLiteral("k"), QStringLiteral("v"));
    QVariantMap map;
    map.insert(QStringLiteral("string:title"), QStringLiteral("Ünïcode 😀"));
    map.insert(QStringLiteral("i"), 42);
    map.insert(QStringLiteral("neg"), -7);
    map.insert(QStringLiteral("bool"), true);
    map.insert(QStringLiteral("l"), qint64(1) << 40);
    map.insert(QStringLiteral("d"), 3.25);
    map.insert(QStringLiteral("v"), QByteArray("\x00\x01\x02", 3));
    map.insert(QStringLiteral("map"), nested);
    map.insert(QStringLiteral("list"), QVariantList{1, QStringLiteral("two"), nested});
    map.insert(QStringLiteral("strings"), QStringList{QStringLiteral("a"), QStringLiteral("b")});
    map.insert(QStringLiteral("null"), QVariant());

    const QVariantMap back = decodeAttachmentMap(encodeAttachmentMap(map));
    ASSERT_EQ(back.size(), map.size());
    EXPECT_EQ(back.value(QStringLiteral("string:title")).toString(), QStringLiteral("Ünïcode 😀"));
    EXPECT_EQ(back.value(QStringLiteral("i")).typeId(), QMetaType::Int);
    EXPECT_EQ(back.value(QStringLiteral("i")).toInt(), 42);
    EXPECT_EQ(back.value(QStringLiteral("neg")).toInt(), -7);
    EXPECT_EQ(back.value(QStringLiteral("bool")).toInt(), 1);
    EXPECT_EQ(back.value(QStringLiteral("l")).typeId(), QMetaType::LongLong);
    EXPECT_EQ(back.value(QStringLiteral("l")).toLongLong(), qint64(1) << 40);
    EXPECT_DOUBLE_EQ(back.value(QStringLiteral("d")).toDouble(), 3.25);
    EXPECT_EQ(back.value(QStringLiteral("v")).toByteArray(), QByteArray("\x00\x01\x02", 3));
    EXPECT_EQ(back.value(QStringLiteral("map")).toMap(), nested);
    const QVariantList list = back.value(QStringLiteral("list")).toList();
    ASSERT_EQ(list.size(), 3);
    EXPECT_EQ(list[1].toString(), QStringLiteral("two"));
    EXPECT_EQ(list[2].toMap(), nested);
    EXPECT_EQ(back.value(QStringLiteral("strings")).toStringList(),
              QStringList({QStringLiteral("a"), QStringLiteral("b")}));
    EXPECT_TRUE(back.contains(QStringLiteral("null")));
    EXPECT_FALSE(back.value(QStringLiteral("null")).isValid());
}

TEST(TinyKv, MalformedDataNeverReadsPastTheEnd)
{
    EXPECT_TRUE(decodeAttachmentMap(QByteArray()).isEmpty());
    EXPECT_TRUE(decodeAttachmentMap("tinyk").isEmpty());
    EXPECT_TRUE(decodeAttachmentMap("garbage that is long enough").isEmpty());

    const QByteArray good = QByteArray("tinykv") + str("a") + "s" + str("x");
    // A key cut short ends reading and keeps what was read.
    QVariantMap partial = decodeAttachmentMap(good + u32(100) + "ab");
    ASSERT_EQ(partial.size(), 1);
    EXPECT_EQ(partial.value(QStringLiteral("a")).toString(), QStringLiteral("x"));
    partial = decodeAttachmentMap(good + "\x01\x00");
    EXPECT_EQ(partial.size(), 1);
    // A value that cannot be read empties the whole result.
    EXPECT_TRUE(decodeAttachmentMap(good + str("b") + "?").isEmpty());
    EXPECT_TRUE(decodeAttachmentMap(good + str("b")).isEmpty());
    EXPECT_TRUE(decodeAttachmentMap(good + str("b") + "s" + u32(0xffffffffu) + "x").isEmpty());
    EXPECT_TRUE(decodeAttachmentMap(good + str("b") + "l" + "1234").isEmpty());
    // A list whose count exceeds its payload is refused without allocating by it.
    EXPECT_TRUE(decodeAttachmentMap(good + str("b") + "[" + str(u32(0x7fffffff) + "i")).isEmpty());
}

TEST(TinyKv, DeepNestingIsRefused)
{
    QByteArray inner = QByteArray("tinykv");
    for (int i = 0; i < 5000; ++i)
        inner = QByteArray("tinykv") + str("k") + "{" + str(inner);
    EXPECT_TRUE(decodeAttachmentMap(inner).isEmpty());

    QVariantMap shallow;
    QVariantMap level;
    level.insert(QStringLiteral("x"), 1);
    for (int i = 0; i < 10; ++i) {
        QVariantMap up;
        up.insert(QStringLiteral("n"), level);
        level = up;
    }
    EXPECT_EQ(decodeAttachmentMap(encodeAttachmentMap(level)), level);
}

TEST(TinyKv, RandomAndTruncatedInputDoesNotCrash)
{
    QVariantMap map;
    map.insert(QStringLiteral("string:file-url"), QStringLiteral("http://example.com/x"));
    map.insert(QStringLiteral("image:preview"), QStringLiteral("p.jpg"));
    map.insert(QStringLiteral("extra:list"), QVariantList{1, 2.5, QStringLiteral("s")});
    const QByteArray encoded = encodeAttachmentMap(map);
    for (qsizetype n = 0; n <= encoded.size(); ++n) {
        const QVariantMap decoded = decodeAttachmentMap(encoded.left(n));
        EXPECT_LE(decoded.size(), map.size());
    }
    QRandomGenerator random(1234);
    for (int round = 0; round < 2000; ++round) {
        QByteArray data = encoded;
        const int flips = 1 + int(random.bounded(4));
        for (int f = 0; f < flips; ++f)
            data[qsizetype(random.bounded(int(data.size())))] = char(random.bounded(256));
        decodeAttachmentMap(data);
        QByteArray noise(qsizetype(random.bounded(64)), Qt::Uninitialized);
        for (char &c : noise)
            c = char(random.bounded(256));
        decodeAttachmentMap(QByteArray("tinykv") + noise);
    }
}
