// Socket transfers past Qt's buffers, over a connected pair of sockets.
#include "app/DirectSocketIo.h"

#include <QByteArray>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <thread>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

using DirectSocketIo::Status;

namespace {

constexpr int kWaitMs = 10000;

// A connected stream socket pair, closed at the end of the test. Its first
// end does not block, as Qt's sockets.
struct SocketPair
{
    explicit SocketPair(bool nonBlocking = true)
    {
        EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
        if (nonBlocking) {
            EXPECT_EQ(::fcntl(fds[0], F_SETFL, ::fcntl(fds[0], F_GETFL) | O_NONBLOCK), 0);
        }
    }
    ~SocketPair()
    {
        closeEnd(0);
        closeEnd(1);
    }
    void closeEnd(int end)
    {
        if (fds[end] >= 0)
            ::close(fds[end]);
        fds[end] = -1;
    }
    int fds[2] = {-1, -1};
};

QByteArray randomBytes(qint64 size)
{
    QByteArray bytes((size + 3) / 4 * 4, Qt::Uninitialized);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(bytes.data()), bytes.size() / 4);
    bytes.truncate(size);
    return bytes;
}

// Everything that arrives on `fd` until the other end closes.
QByteArray drain(int fd)
{
    QByteArray all;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            return all;
        all.append(buffer, n);
    }
}

bool sigpipePending()
{
    sigset_t pending;
    sigpending(&pending);
    return sigismember(&pending, SIGPIPE) == 1;
}

} // namespace

TEST(DirectSocketIo, ReceiveTakesWhatCameAndTellsTimeoutsFromClosing)
{
    SocketPair pair;
    ASSERT_EQ(::write(pair.fds[1], "hello", 5), 5);
    char buffer[64] = {};
    auto result = DirectSocketIo::receive(pair.fds[0], buffer, sizeof buffer, kWaitMs);
    ASSERT_EQ(result.status, Status::Done);
    EXPECT_EQ(QByteArray(buffer, int(result.bytes)), QByteArray("hello"));

    // Nothing more is coming yet: the wait ends.
    EXPECT_EQ(DirectSocketIo::receive(pair.fds[0], buffer, sizeof buffer, 20).status, Status::TimedOut);

    pair.closeEnd(1);
    EXPECT_EQ(DirectSocketIo::receive(pair.fds[0], buffer, sizeof buffer, kWaitMs).status, Status::Closed);

    // A blocking socket waits no longer either.
    SocketPair blocking(false);
    EXPECT_EQ(DirectSocketIo::receive(blocking.fds[0], buffer, sizeof buffer, 20).status, Status::TimedOut);
    EXPECT_EQ(DirectSocketIo::receive(-1, buffer, sizeof buffer, kWaitMs).status, Status::Unsupported);
}

// Sending from a file, on systems that can.
class DirectSendFile : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!DirectSocketIo::canSendFile())
            GTEST_SKIP() << "this system sends files through memory";
    }
    // A file holding `content`, open for reading.
    QFile &fileWith(const QByteArray &content)
    {
        m_file.setFileName(m_dir.filePath(QStringLiteral("f")));
        EXPECT_TRUE(m_file.open(QIODevice::ReadWrite));
        EXPECT_EQ(m_file.write(content), content.size());
        EXPECT_TRUE(m_file.flush());
        return m_file;
    }

private:
    QTemporaryDir m_dir;
    QFile m_file;
};

TEST_F(DirectSendFile, SendsExactlyTheRangeAsked)
{
    const QByteArray content = randomBytes(3 * 1024 * 1024 + 17);
    QFile &file = fileWith(content);

    SocketPair pair;
    QByteArray received;
    std::thread reader([&] { received = drain(pair.fds[1]); });
    // More than the socket holds, so that the call waits for room.
    const auto result =
        DirectSocketIo::sendFile(pair.fds[0], file.handle(), 1001, 2 * 1024 * 1024 + 5, kWaitMs);
    pair.closeEnd(0);
    reader.join();
    EXPECT_EQ(result.status, Status::Done);
    EXPECT_EQ(result.bytes, 2 * 1024 * 1024 + 5);
    EXPECT_TRUE(received == content.mid(1001, 2 * 1024 * 1024 + 5)) << received.size();
}

TEST_F(DirectSendFile, StopsAtTheEndOfTheFileAndWhenThePeerStalls)
{
    QFile &file = fileWith(randomBytes(8 * 1024 * 1024));

    SocketPair pair;
    std::thread reader([&] { drain(pair.fds[1]); });
    const auto shortFile =
        DirectSocketIo::sendFile(pair.fds[0], file.handle(), file.size() - 10, 100, kWaitMs);
    pair.closeEnd(0);
    reader.join();
    EXPECT_EQ(shortFile.status, Status::Failed);
    EXPECT_EQ(shortFile.bytes, 10);
    EXPECT_FALSE(shortFile.error.isEmpty());

    // A peer that reads nothing: the socket fills and the wait ends.
    SocketPair stalled;
    const auto full = DirectSocketIo::sendFile(stalled.fds[0], file.handle(), 0, file.size(), 50);
    EXPECT_EQ(full.status, Status::TimedOut);
    EXPECT_GT(full.bytes, 0);
    EXPECT_LT(full.bytes, file.size());

    // sendfile() on a blocking socket could wait without limit: refused.
    SocketPair blocking(false);
    EXPECT_EQ(DirectSocketIo::sendFile(blocking.fds[0], file.handle(), 0, 10, 50).status,
              Status::Unsupported);
}

TEST_F(DirectSendFile, APeerThatWentAwayIsAnErrorNotASignal)
{
    QFile &file = fileWith(QByteArray(100000, 'x'));

    SocketPair pair;
    pair.closeEnd(1);
    // Without care this raises SIGPIPE, which ends the test program.
    const auto result = DirectSocketIo::sendFile(pair.fds[0], file.handle(), 0, file.size(), kWaitMs);
    EXPECT_EQ(result.status, Status::Closed);
    EXPECT_FALSE(sigpipePending());
    sigset_t mask;
    pthread_sigmask(SIG_SETMASK, nullptr, &mask);
    EXPECT_EQ(sigismember(&mask, SIGPIPE), 0) << "SIGPIPE stays blocked";
}
