#include "cli/ConsoleProgressBar.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>

#include <gtest/gtest.h>

#include <cstdio>

namespace {

QByteArray drawn(bool interactive, const std::function<void(ConsoleProgressBar &)> &steps)
{
    FILE *stream = std::tmpfile();
    {
        ConsoleProgressBar bar(stream, interactive);
        steps(bar);
    }
    std::fflush(stream);
    const long size = std::ftell(stream);
    std::rewind(stream);
    QByteArray out(size, '\0');
    if (size > 0)
        out.resize(qsizetype(std::fread(out.data(), 1, size_t(size), stream)));
    std::fclose(stream);
    return out;
}

} // namespace

TEST(ConsoleProgressBar, LineFormat)
{
    EXPECT_EQ(ConsoleProgressBar::formatLine(0, QString()), QStringLiteral("[--------------------]   0%"));
    EXPECT_EQ(ConsoleProgressBar::formatLine(50, QStringLiteral("Messages: 5/10")),
              QStringLiteral("[##########----------]  50% Messages: 5/10"));
    EXPECT_EQ(ConsoleProgressBar::formatLine(140, QString()), QStringLiteral("[####################] 100%"));
    EXPECT_EQ(ConsoleProgressBar::formatLine(-3, QString()), QStringLiteral("[--------------------]   0%"));
}

TEST(ConsoleProgressBar, PlainOutputPrintsALinePerChange)
{
    const QByteArray out = drawn(false, [](ConsoleProgressBar &bar) {
        bar.update(QStringLiteral("Backing up Kik messages..."), 0, QString());
        bar.update(QString(), 0, QStringLiteral("Messages: 1/200")); // same percent: no line
        bar.update(QString(), 50, QStringLiteral("Messages: 100/200"));
        bar.update(QString(), -1, QStringLiteral("Messages: 101/200")); // keeps 50
        bar.update(QString(), 100, QStringLiteral("<b>done</b>"));
        bar.finish();
    });
    const QList<QByteArray> lines = out.split('\n');
    ASSERT_EQ(lines.size(), 4) << out.constData();
    EXPECT_EQ(lines[0], QByteArray("[--------------------]   0% Backing up Kik messages..."));
    EXPECT_EQ(lines[1],
              QByteArray("[##########----------]  50% Backing up Kik messages... - Messages: 100/200"));
    EXPECT_EQ(lines[2], QByteArray("[####################] 100% Backing up Kik messages... - done"));
    EXPECT_FALSE(out.contains('\r'));
}

TEST(ConsoleProgressBar, AMillionItemsPrintAtMostAHundredLines)
{
    constexpr int n = 1000000;
    QElapsedTimer timer;
    timer.start();
    // Each item reported with its own detail, and a status that changes
    // with every item (as a job naming each file would).
    const QByteArray counted = drawn(false, [](ConsoleProgressBar &bar) {
        for (int i = 1; i <= n; ++i)
            bar.update(QString(), int(qint64(i) * 100 / n), QStringLiteral("Messages: %1/%2").arg(i).arg(n));
        bar.finish();
    });
    EXPECT_LE(counted.count('\n'), 101);
    const QByteArray named = drawn(false, [](ConsoleProgressBar &bar) {
        for (int i = 1; i <= n; ++i)
            bar.update(i % 2 ? QStringLiteral("Copying a") : QStringLiteral("Copying b"), 7, QString());
        bar.finish();
    });
    // A status change alone makes a line at most once a second.
    EXPECT_LE(named.count('\n'), 1 + timer.elapsed() / 1000 + 1) << named.constData();
}

TEST(ConsoleProgressBar, TerminalOutputRedrawsInPlace)
{
    const QByteArray out = drawn(true, [](ConsoleProgressBar &bar) {
        bar.update(QStringLiteral("Loading a long title..."), 10, QString());
        bar.update(QStringLiteral("Short"), 20, QString());
        bar.finish();
    });
    EXPECT_TRUE(out.startsWith("\r[##------------------]  10% Loading a long title..."));
    // The shorter second line is padded so that nothing of the first remains.
    const qsizetype second = out.indexOf('\r', 1);
    ASSERT_GT(second, 0);
    const QByteArray line = out.mid(second + 1, out.size() - second - 2);
    EXPECT_TRUE(line.startsWith("[####----------------]  20% Short"));
    EXPECT_EQ(line.size(), QByteArray("[##------------------]  10% Loading a long title...").size());
    EXPECT_TRUE(out.endsWith('\n'));
}

TEST(ConsoleProgressBar, QuietPrintsNothing)
{
    FILE *stream = std::tmpfile();
    ConsoleProgressBar bar(stream, false, true);
    bar.update(QStringLiteral("x"), 50, QStringLiteral("y"));
    bar.finish();
    EXPECT_EQ(std::ftell(stream), 0);
    std::fclose(stream);
}
