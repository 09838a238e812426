#include "db/FileCacheIndex.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

qint64 scalar(const QString &file, const QString &sql)
{
    Sqlite3DB db;
    db.openThrow(file, Sqlite3DB::ReadOnly);
    Sqlite3Cursor cursor = db.queryThrow(sql);
    return cursor.moveNext() ? cursor.int64At(0) : -1;
}

} // namespace

TEST(FileCacheIndex, NewIndexHoldsExactlyTheManifestTable)
{
    QTemporaryDir tmp;
    const QString file = tmp.filePath(QStringLiteral("com.kik.manifest.db"));
    {
        FileCacheIndex index(file);
        EXPECT_EQ(index.lastDate(QStringLiteral("Documents/kik.sqlite")), 0);
    }
    EXPECT_EQ(scalar(file, QStringLiteral("select count(*) from sqlite_master where type='table'")), 1);
    EXPECT_EQ(scalar(file, QStringLiteral("select count(*) from sqlite_master where "
                                          "type='table' and name='manifest'")),
              1);
}

TEST(FileCacheIndex, SecondDateReplacesFirstInOneRow)
{
    QTemporaryDir tmp;
    const QString file = tmp.filePath(QStringLiteral("i.db"));
    {
        FileCacheIndex index(file);
        index.setLastDate(QStringLiteral("a/b.jpg"), 1000);
        index.setLastDate(QStringLiteral("a/b.jpg"), 2000);
        EXPECT_EQ(index.lastDate(QStringLiteral("a/b.jpg")), 2000);
        EXPECT_EQ(index.lastDate(QStringLiteral("a/c.jpg")), 0);
    }
    EXPECT_EQ(scalar(file, QStringLiteral("select count(*) from manifest")), 1);
    EXPECT_EQ(scalar(file, QStringLiteral("select last_date from manifest")), 2000);
}

TEST(FileCacheIndex, WildcardsAndCaseDoNotMatchOtherFiles)
{
    QTemporaryDir tmp;
    FileCacheIndex index(tmp.filePath(QStringLiteral("i.db")));
    index.setLastDate(QStringLiteral("media/ab.jpg"), 111);
    index.setLastDate(QStringLiteral("media/100%.jpg"), 222);
    EXPECT_EQ(index.lastDate(QStringLiteral("media/a_.jpg")), 0);
    EXPECT_EQ(index.lastDate(QStringLiteral("media/%.jpg")), 0);
    EXPECT_EQ(index.lastDate(QStringLiteral("MEDIA/AB.JPG")), 0);
    EXPECT_EQ(index.lastDate(QStringLiteral("media/ab.jpg")), 111);
    // Storing a name with "_" must not change the file it would match as a pattern.
    index.setLastDate(QStringLiteral("media/a_.jpg"), 333);
    EXPECT_EQ(index.lastDate(QStringLiteral("media/ab.jpg")), 111);
    EXPECT_EQ(index.lastDate(QStringLiteral("media/a_.jpg")), 333);
    EXPECT_EQ(index.lastDate(QStringLiteral("media/100%.jpg")), 222);
}

TEST(FileCacheIndex, ChangesReachTheFileOnDestruction)
{
    QTemporaryDir tmp;
    const QString file = tmp.filePath(QStringLiteral("i.db"));
    {
        FileCacheIndex index(file);
        index.setLastDate(QStringLiteral("x"), 5);
        index.setLastDate(QStringLiteral("y"), 6);
        index.remove(QStringLiteral("y"));
    }
    FileCacheIndex again(file);
    EXPECT_EQ(again.lastDate(QStringLiteral("x")), 5);
    EXPECT_EQ(again.lastDate(QStringLiteral("y")), 0);
}

TEST(FileCacheIndex, BrokenIndexFileAnswersZero)
{
    QTemporaryDir tmp;
    const QString file = tmp.filePath(QStringLiteral("i.db"));
    TestSupport::writeFile(file, QByteArray(4096, 'z'));
    FileCacheIndex index(file);
    EXPECT_EQ(index.lastDate(QStringLiteral("x")), 0);
    index.setLastDate(QStringLiteral("x"), 9); // ignored, no throw
    EXPECT_EQ(index.lastDate(QStringLiteral("x")), 0);
    EXPECT_EQ(TestSupport::readFile(file), QByteArray(4096, 'z'));
}
