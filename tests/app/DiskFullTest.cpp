// Telling a full disk from other write failures, and a copy that runs out
// of space. The file size limit (RLIMIT_FSIZE, SIGXFSZ ignored) stands for a
// full disk: writes past it fail with EFBIG.
#include "app/DiskFull.h"

#include "support/FileSizeLimit.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>

namespace {

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

} // namespace

TEST(DiskFull, MessageNamesTheFolder)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("sub/x.db"));
    const QString text = diskFullMessage(file);
    EXPECT_EQ(text,
              QStringLiteral("There is not enough free space on the computer's disk to write %1. Free some "
                             "space and try again.")
                  .arg(QDir::toNativeSeparators(dir.filePath(QStringLiteral("sub")))));
    EXPECT_TRUE(isDiskFullMessage(text));
    EXPECT_FALSE(isDiskFullMessage(QStringLiteral("disk I/O error")));
    const DiskFullError error(file);
    EXPECT_EQ(QString::fromUtf8(error.what()), text);
    EXPECT_TRUE(isDiskFullErrno(ENOSPC));
    EXPECT_TRUE(isDiskFullErrno(EFBIG));
    EXPECT_FALSE(isDiskFullErrno(EACCES));
    EXPECT_FALSE(isDiskFullErrno(0));
}

TEST(DiskFull, CopyCopiesOrTellsAFullDiskAndLeavesNoPart)
{
    QTemporaryDir dir;
    const QString from = dir.filePath(QStringLiteral("from.bin"));
    writeFile(from, QByteArray(64 * 1024, 'k'));
    const QString copy = dir.filePath(QStringLiteral("copy.bin"));
    EXPECT_TRUE(copyFileUnlessDiskFull(from, copy));
    QFile copied(copy);
    ASSERT_TRUE(copied.open(QIODevice::ReadOnly));
    EXPECT_EQ(copied.readAll(), QByteArray(64 * 1024, 'k'));
    // An existing target is not overwritten; a missing source copies nothing.
    EXPECT_FALSE(copyFileUnlessDiskFull(from, copy));
    EXPECT_FALSE(
        copyFileUnlessDiskFull(dir.filePath(QStringLiteral("none")), dir.filePath(QStringLiteral("n2"))));
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("n2"))));

    const QString cut = dir.filePath(QStringLiteral("cut.bin"));
    QString message;
    {
        TestSupport::FileSizeLimit full(4096);
        ASSERT_TRUE(full.ok());
        try {
            copyFileUnlessDiskFull(from, cut);
        } catch (const DiskFullError &e) {
            message = QString::fromUtf8(e.what());
        }
    }
    EXPECT_EQ(message, diskFullMessage(cut));
    EXPECT_FALSE(QFile::exists(cut));
}
