// Unpacking the archive of thumbnails a phone's tar made: only the wanted
// regular files land in the folder, whole or not at all.
#include "android/AndroidThumbnailBatch.h"
#include "app/DiskFull.h"
#include "support/FileSizeLimit.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class ThumbnailUnpackTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    QString archive(bool cut)
    {
        const QString path = m_dir.filePath(cut ? QStringLiteral("cut.tar") : QStringLiteral("thumbs.tar"));
        QStringList args{QStringLiteral("thumbs-tar"), path};
        if (cut)
            args << QStringLiteral("--cut");
        const auto made = TestSupport::runPython(QStringLiteral("make_android_kik.py"), args);
        EXPECT_EQ(made.exitCode, 0) << made.err.toStdString();
        return path;
    }

    AndroidThumbnailBatch::Result unpack(const QString &archivePath)
    {
        return AndroidThumbnailBatch::unpack(archivePath, kWanted, folder(), work());
    }

    QString folder() const { return m_dir.filePath(QStringLiteral("cache/thumbs")); }
    QString work() const { return m_dir.filePath(QStringLiteral("work")); }
    QStringList landed() const { return QDir(folder()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot); }
    QStringList leftInWork() const { return QDir(work()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot); }

    const QSet<QString> kWanted{QStringLiteral("thumb-a"), QStringLiteral("thumb-c"),
                                QStringLiteral("thumb-d"), QStringLiteral("thumb-e"),
                                QStringLiteral("thumb-z")};
    QTemporaryDir m_dir;
};

} // namespace

TEST_F(ThumbnailUnpackTest, OnlyWantedRegularFilesLandAndTheRestIsSkipped)
{
    // An earlier empty download of a wanted name is replaced.
    TestSupport::writeFile(folder() + QStringLiteral("/thumb-z"), QByteArray());
    const auto result = unpack(archive(false));
    EXPECT_TRUE(result.complete);
    // "thumb-e" is empty on the phone: done with, but not kept (as a
    // single download would not keep it); "thumb-c" is a link and
    // "thumb-d" a folder there, "../thumb-c" a path, "thumb-b" not asked.
    EXPECT_EQ(result.fetched, (QSet<QString>{QStringLiteral("thumb-a"), QStringLiteral("thumb-e"),
                                             QStringLiteral("thumb-z")}));
    EXPECT_EQ(landed(), (QStringList{QStringLiteral("thumb-a"), QStringLiteral("thumb-z")}));
    EXPECT_EQ(TestSupport::readFile(folder() + QStringLiteral("/thumb-a")), QByteArray("alpha"));
    EXPECT_EQ(TestSupport::readFile(folder() + QStringLiteral("/thumb-z")), QByteArray(20000, 'z'));
    EXPECT_FALSE(QFileInfo::exists(m_dir.filePath(QStringLiteral("cache/thumb-c"))));
    EXPECT_TRUE(leftInWork().isEmpty()) << leftInWork().join(QLatin1Char(' ')).toStdString();
}

TEST_F(ThumbnailUnpackTest, BrokenArchivesKeepOnlyWholeFiles)
{
    const auto cut = unpack(archive(true));
    EXPECT_FALSE(cut.complete);
    EXPECT_EQ(cut.fetched, (QSet<QString>{QStringLiteral("thumb-a"), QStringLiteral("thumb-e")}));
    EXPECT_EQ(landed(), QStringList{QStringLiteral("thumb-a")});
    EXPECT_TRUE(leftInWork().isEmpty()) << leftInWork().join(QLatin1Char(' ')).toStdString();

    const QString junk = m_dir.filePath(QStringLiteral("junk.tar"));
    TestSupport::writeFile(junk, QByteArray("this is not an archive").repeated(100));
    const auto none = unpack(junk);
    EXPECT_FALSE(none.complete);
    EXPECT_TRUE(none.fetched.isEmpty());
    const auto absent = unpack(m_dir.filePath(QStringLiteral("absent.tar")));
    EXPECT_FALSE(absent.complete);
    EXPECT_EQ(landed(), QStringList{QStringLiteral("thumb-a")});
}

TEST_F(ThumbnailUnpackTest, FullDiskIsReportedAsSuchAndLeavesNoPartialFile)
{
    const QString path = archive(false);
    TestSupport::FileSizeLimit limit(10000);
    ASSERT_TRUE(limit.ok());
    EXPECT_THROW(unpack(path), DiskFullError);
    EXPECT_FALSE(QFileInfo::exists(folder() + QStringLiteral("/thumb-z")));
    EXPECT_TRUE(leftInWork().isEmpty()) << leftInWork().join(QLatin1Char(' ')).toStdString();
}

TEST(ThumbnailBatchNames, OnlyPlainNamesTravelInTheList)
{
    EXPECT_TRUE(AndroidThumbnailBatch::fitsBatch(QStringLiteral("2d9d8e4d510b7d790a0435ddb7918d8f")));
    EXPECT_TRUE(AndroidThumbnailBatch::fitsBatch(QStringLiteral("thumb-t_1.jpg")));
    for (const QString &name : {QString(), QStringLiteral("-T"), QStringLiteral(".hidden"),
                                QStringLiteral("a/b"), QStringLiteral("a b"), QStringLiteral("a\nb"),
                                QStringLiteral("caf\u00e9"), QString(101, QLatin1Char('x'))})
        EXPECT_FALSE(AndroidThumbnailBatch::fitsBatch(name)) << name.toStdString();
}
