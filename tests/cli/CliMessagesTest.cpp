// Error texts name paths inside the user's source, never the program's
// cache folders where a backup or an archive is copied to be read.
#include "cli/CliMessages.h"
#include "app/DataRoot.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

TEST(CliMessages, CachePathsBecomePathsInsideTheSource)
{
    const TestSupport::ScopedDataRoot root;
    const QString ios = DataRoot::iosCacheFolder().absolutePath();
    const QString android = DataRoot::androidCacheFolder().absolutePath();
    EXPECT_EQ(
        withoutCachePaths(
            QStringLiteral("can not open %1/0a1b2c/Documents/kik.sqlite. file is not a database").arg(ios)),
        QStringLiteral("can not open Documents/kik.sqlite. file is not a database"));
    EXPECT_EQ(
        withoutCachePaths(QStringLiteral("create %1/ab-9f3e/ab-extract/apps/other/x error.").arg(android)),
        QStringLiteral("create apps/other/x error."));
    EXPECT_EQ(withoutCachePaths(QStringLiteral("No room in %1.").arg(android)),
              QStringLiteral("No room in the program's cache."));
    // Paths elsewhere stay as they are.
    const QString plain = QStringLiteral("There is no Kik store (Documents/kik.sqlite) in /home/ann/app.");
    EXPECT_EQ(withoutCachePaths(plain), plain);
    for (const QString &text : {withoutCachePaths(QStringLiteral("x %1/k y").arg(ios)),
                                withoutCachePaths(QStringLiteral("%1/ab-1/ab-extract").arg(android))})
        EXPECT_FALSE(text.contains(QStringLiteral("_cache"))) << qPrintable(text);
}
