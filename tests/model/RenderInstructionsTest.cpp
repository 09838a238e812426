#include "model/RenderInstructions.h"

#include <QRandomGenerator>

#include <gtest/gtest.h>

namespace {

// One record with 2-byte fields whose second byte holds the value.
QByteArray record(int start, int end, const QByteArray &key, const QByteArray &value)
{
    QByteArray out;
    auto field = [&out](int v) {
        out.append('\0');
        out.append(char(qint8(v)));
    };
    field(0);
    field(start);
    field(end);
    field(int(key.size()));
    out.append(key);
    field(int(value.size()));
    out.append(value);
    return out;
}

QString tags(const QString &key, const std::optional<QString> &value)
{
    return value ? QStringLiteral("[E:%1]").arg(*value) : QStringLiteral("[%1]").arg(key);
}

} // namespace

// A record's end lies k - 1 past the token's end for a key of k characters,
// and every later position is counted with the keys before it: the copy
// resumes at end - (sum of (k - 1)).
TEST(RenderInstructions, ReplacesMarkedRanges)
{
    const QString body = QStringLiteral("hi :) there");
    const QByteArray data = record(3, 6, ":)", "smile");
    EXPECT_EQ(applyRenderInstructions(body, data, tags, false), QStringLiteral("hi [E:smile] there"));
    EXPECT_EQ(applyRenderInstructions(body, record(3, 6, ":)", ""), tags, false),
              QStringLiteral("hi [:)] there"));
}

TEST(RenderInstructions, ShiftAccumulatesOverRecords)
{
    // Two 2-character tokens: the second record's positions count the first
    // token as one character.
    const QString body = QStringLiteral("a:)b:(c");
    const QByteArray data = record(1, 4, ":)", "s") + record(5, 8, ":(", "f");
    EXPECT_EQ(applyRenderInstructions(body, data, tags, false), QStringLiteral("a[E:s]b[E:f]c"));
}

TEST(RenderInstructions, EscapesOnlyTheCopiedText)
{
    const QString body = QStringLiteral("<b> :) &");
    const QString out = applyRenderInstructions(
        body, record(4, 7, ":)", "x"),
        [](const QString &, const std::optional<QString> &) { return QStringLiteral("<img/>"); }, true);
    EXPECT_EQ(out, QStringLiteral("&lt;b&gt; <img/> &amp;"));
}

TEST(RenderInstructions, BadRecordsStopReadingAndKeepTheBody)
{
    const QString body = QStringLiteral("plain body");
    EXPECT_EQ(applyRenderInstructions(body, QByteArray(), tags, false), body);
    EXPECT_EQ(applyRenderInstructions(body, record(5, 2, "x", "y"), tags, false), body);
    // A negative key length ends reading.
    EXPECT_EQ(applyRenderInstructions(body, record(0, 2, "", "").replace(7, 1, "\xff"), tags, false), body);
    // Truncated data: no record is read in full.
    const QByteArray full = record(0, 9, "plain", "P");
    for (qsizetype n = 0; n < full.size(); ++n)
        EXPECT_EQ(applyRenderInstructions(body, full.left(n), tags, false), body) << n;
    EXPECT_EQ(applyRenderInstructions(body, full, tags, false), QStringLiteral("[E:P] body"));
}

TEST(RenderInstructions, PositionsOutsideTheBodyAreClamped)
{
    const QString body = QStringLiteral("abc");
    EXPECT_EQ(applyRenderInstructions(body, record(100, 120, "k", "v"), tags, false),
              QStringLiteral("abc[E:v]"));
    EXPECT_EQ(applyRenderInstructions(body, record(-100, -50, "k", "v"), tags, false),
              QStringLiteral("[E:v]abc"));
    QRandomGenerator random(99);
    for (int round = 0; round < 3000; ++round) {
        QByteArray noise(qsizetype(random.bounded(80)), Qt::Uninitialized);
        for (char &c : noise)
            c = char(random.bounded(256));
        const QString out = applyRenderInstructions(body, noise, tags, true);
        EXPECT_LT(out.size(), 100000);
    }
}
