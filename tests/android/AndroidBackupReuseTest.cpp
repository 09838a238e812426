// Extraction that links files equal to those of an earlier extraction.
#include "android/AndroidBackup.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>

using namespace TestSupport;

namespace {

const QString kCorrupt = QStringLiteral("ab file data is corrupted.");
const QString kThumbs = QStringLiteral("apps/kik.android/f/staging/thumbs/");

std::uintmax_t linkCount(const QString &path)
{
    std::error_code error;
    const std::uintmax_t count = std::filesystem::hard_link_count(path.toStdString(), error);
    return error ? 0 : count;
}

bool sameFile(const QString &a, const QString &b)
{
    std::error_code error;
    return std::filesystem::equivalent(a.toStdString(), b.toStdString(), error) && !error;
}

AndroidBackupReuse thumbsOf(const QString &folder)
{
    return {folder, [](const QString &relative) { return relative.startsWith(kThumbs); }};
}

class AndroidBackupReuseTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        const QString tree = path(QStringLiteral("tree"));
        writeFile(tree + QStringLiteral("/apps/kik.android/_manifest"), QByteArrayLiteral("manifest"));
        writeFile(tree + QStringLiteral("/apps/kik.android/db/kikDatabase.db"),
                  QByteArrayLiteral("database"));
        writeFile(tree + QStringLiteral("/") + kThumbs + QStringLiteral("same"),
                  QByteArrayLiteral("same jpeg"));
        writeFile(tree + QStringLiteral("/") + kThumbs + QStringLiteral("changed"),
                  QByteArrayLiteral("new jpeg"));
        writeFile(tree + QStringLiteral("/") + kThumbs + QStringLiteral("empty"), QByteArray());
        writeFile(tree + QStringLiteral("/") + kThumbs + QStringLiteral("viaLink"),
                  QByteArrayLiteral("linked"));
        // The archive is written by Python's tarfile and zlib.
        const auto r = runPython(QStringLiteral("make_android_kik.py"),
                                 {QStringLiteral("ab"), tree, path(QStringLiteral("phone.ab"))});
        ASSERT_EQ(r.exitCode, 0) << r.err.constData();

        // The earlier extraction: equal in part, one file changed since, one
        // missing, one a symbolic link to a file with the archive's content.
        const QString earlier = path(QStringLiteral("earlier"));
        writeFile(earlier + QStringLiteral("/apps/kik.android/db/kikDatabase.db"),
                  QByteArrayLiteral("database"));
        writeFile(earlier + QStringLiteral("/") + kThumbs + QStringLiteral("same"),
                  QByteArrayLiteral("same jpeg"));
        writeFile(earlier + QStringLiteral("/") + kThumbs + QStringLiteral("changed"),
                  QByteArrayLiteral("old jpeg"));
        writeFile(path(QStringLiteral("outside")), QByteArrayLiteral("linked"));
        ASSERT_TRUE(QFile::link(path(QStringLiteral("outside")),
                                earlier + QStringLiteral("/") + kThumbs + QStringLiteral("viaLink")));
    }

    QString path(const QString &name) const { return m_dir.filePath(name); }

    // Every file of the archive, read back from `folder`.
    void expectArchiveContent(const QString &folder) const
    {
        EXPECT_EQ(readFile(folder + QStringLiteral("/apps/kik.android/_manifest")), "manifest");
        EXPECT_EQ(readFile(folder + QStringLiteral("/apps/kik.android/db/kikDatabase.db")), "database");
        EXPECT_EQ(readFile(folder + QStringLiteral("/") + kThumbs + QStringLiteral("same")), "same jpeg");
        EXPECT_EQ(readFile(folder + QStringLiteral("/") + kThumbs + QStringLiteral("changed")), "new jpeg");
        EXPECT_TRUE(QFileInfo::exists(folder + QStringLiteral("/") + kThumbs + QStringLiteral("empty")));
        EXPECT_EQ(readFile(folder + QStringLiteral("/") + kThumbs + QStringLiteral("viaLink")), "linked");
        EXPECT_FALSE(
            QFileInfo(folder + QStringLiteral("/") + kThumbs + QStringLiteral("viaLink")).isSymLink());
    }

    QTemporaryDir m_dir;
};

} // namespace

TEST_F(AndroidBackupReuseTest, LinksOnlyEqualFilesTheCallerAllowsIntoANewFolder)
{
    const QString earlier = path(QStringLiteral("earlier"));
    const QString fresh = path(QStringLiteral("fresh"));
    EXPECT_EQ(
        extractAndroidBackup(path(QStringLiteral("phone.ab")), QDir(fresh), kCorrupt, {}, thumbsOf(earlier)),
        6);
    expectArchiveContent(fresh);
    // The equal thumbnail is the earlier file under a second name.
    EXPECT_TRUE(sameFile(fresh + QStringLiteral("/") + kThumbs + QStringLiteral("same"),
                         earlier + QStringLiteral("/") + kThumbs + QStringLiteral("same")));
    EXPECT_EQ(linkCount(earlier + QStringLiteral("/") + kThumbs + QStringLiteral("same")), 2u);
    // A changed file, a file the caller leaves out (the database, though
    // equal) and a file the earlier folder lacks are written anew; the
    // earlier ones keep their content.
    EXPECT_EQ(linkCount(fresh + QStringLiteral("/") + kThumbs + QStringLiteral("changed")), 1u);
    EXPECT_EQ(readFile(earlier + QStringLiteral("/") + kThumbs + QStringLiteral("changed")), "old jpeg");
    EXPECT_EQ(linkCount(fresh + QStringLiteral("/apps/kik.android/db/kikDatabase.db")), 1u);
    EXPECT_EQ(linkCount(fresh + QStringLiteral("/") + kThumbs + QStringLiteral("empty")), 1u);
    // A symbolic link in the earlier folder is never linked to.
    EXPECT_EQ(linkCount(path(QStringLiteral("outside"))), 1u);
    EXPECT_EQ(linkCount(fresh + QStringLiteral("/") + kThumbs + QStringLiteral("viaLink")), 1u);

    // Removing the earlier folder, as a reload does, leaves the new one whole.
    ASSERT_TRUE(QDir(earlier).removeRecursively());
    expectArchiveContent(fresh);
}

TEST_F(AndroidBackupReuseTest, AnExistingDestinationGetsNoLinks)
{
    const QString earlier = path(QStringLiteral("earlier"));
    const QString existing = path(QStringLiteral("existing"));
    writeFile(existing + QStringLiteral("/") + kThumbs + QStringLiteral("same"), QByteArrayLiteral("stale"));
    EXPECT_EQ(extractAndroidBackup(path(QStringLiteral("phone.ab")), QDir(existing), kCorrupt, {},
                                   thumbsOf(earlier)),
              6);
    expectArchiveContent(existing);
    EXPECT_EQ(linkCount(earlier + QStringLiteral("/") + kThumbs + QStringLiteral("same")), 1u);
}

TEST_F(AndroidBackupReuseTest, ADamagedArchiveLeavesTheEarlierFolderAsItWas)
{
    const QString earlier = path(QStringLiteral("earlier"));
    const QString fresh = path(QStringLiteral("fresh"));
    QByteArray ab = readFile(path(QStringLiteral("phone.ab")));
    ab.chop(ab.size() / 3);
    writeFile(path(QStringLiteral("cut.ab")), ab);
    EXPECT_THROW(
        extractAndroidBackup(path(QStringLiteral("cut.ab")), QDir(fresh), kCorrupt, {}, thumbsOf(earlier)),
        std::exception);
    EXPECT_FALSE(QFileInfo::exists(fresh));
    EXPECT_EQ(readFile(earlier + QStringLiteral("/") + kThumbs + QStringLiteral("same")), "same jpeg");
    EXPECT_EQ(linkCount(earlier + QStringLiteral("/") + kThumbs + QStringLiteral("same")), 1u);
}
