// The file threads of the helper channel: every byte arrives in order, and
// a write that fails (here for lack of space) stops the pipe with the
// system's reason instead of losing blocks quietly or hanging.
#include "android/FilePipe.h"
#include "app/DiskFull.h"
#include "support/FileSizeLimit.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace {

QByteArray randomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(11);
    for (char &c : bytes)
        c = char(generator.bounded(256));
    return bytes;
}

} // namespace

TEST(FilePipe, ReaderDeliversTheWholeFileInOrder)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("in.bin"));
    const QByteArray content = randomBytes(3 * 4096 + 1234);
    {
        QFile out(path);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        ASSERT_EQ(out.write(content), content.size());
    }
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    BackgroundFileReader reader(file, 2, 4096);
    QByteArray received;
    int blocks = 0;
    for (QByteArrayView block = reader.next(); !block.isEmpty(); block = reader.next()) {
        EXPECT_LE(block.size(), 4096);
        received.append(block);
        ++blocks;
    }
    EXPECT_FALSE(reader.failed());
    EXPECT_EQ(blocks, 4);
    EXPECT_EQ(received, content);
    // Past the end it stays at the end.
    EXPECT_TRUE(reader.next().isEmpty());
}

TEST(FilePipe, WriterWritesEveryCommittedBlockInOrder)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.bin"));
    const QByteArray content = randomBytes(10 * 1000 + 7);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    {
        BackgroundFileWriter writer(file, 3, 1000);
        for (qsizetype done = 0; done < content.size();) {
            char *buffer = writer.buffer();
            ASSERT_NE(buffer, nullptr);
            const qsizetype n = std::min<qsizetype>(writer.bufferBytes(), content.size() - done);
            std::memcpy(buffer, content.constData() + done, size_t(n));
            writer.commit(n);
            done += n;
        }
        EXPECT_TRUE(writer.finish());
    }
    file.close();
    QFile in(path);
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    EXPECT_EQ(in.readAll(), content);
}

// The file size limit stands for a full disk: writes past it fail with EFBIG.
TEST(FilePipe, AFailedWriteStopsThePipeWithItsReason)
{
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("full.bin")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    auto limit = std::make_unique<TestSupport::FileSizeLimit>(8192);
    ASSERT_TRUE(limit->ok());
    bool finished = true;
    int stoppedAfter = -1;
    int systemError = 0;
    bool diskFull = false;
    {
        BackgroundFileWriter writer(file, 2, 4096);
        // More blocks than the limit takes: the writer must stop taking them.
        for (int k = 0; k < 100; ++k) {
            char *buffer = writer.buffer();
            if (!buffer) {
                stoppedAfter = k;
                break;
            }
            std::memset(buffer, 'x', 4096);
            writer.commit(4096);
        }
        finished = writer.finish();
        systemError = writer.systemError();
        diskFull = isDiskFullFileError(file, systemError);
    }
    limit.reset();
    EXPECT_FALSE(finished);
    // Two blocks fit, the third fails: one more may have been handed out
    // before the failure was known, none after.
    EXPECT_GE(stoppedAfter, 3);
    EXPECT_LE(stoppedAfter, 4);
    EXPECT_EQ(systemError, EFBIG);
    EXPECT_TRUE(diskFull);
    file.close();
    EXPECT_LE(QFile(dir.filePath(QStringLiteral("full.bin"))).size(), 8192);
}
