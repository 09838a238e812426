// Bytes moved from a loopback TCP connection into a file past memory, and
// through memory where a descriptor cannot take part.
#include "app/SocketToFile.h"

#include "support/FileSizeLimit.h"

#include <QByteArray>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <thread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using Status = SocketToFile::Status;

namespace {

constexpr int kWaitMs = 10000;

// A connected loopback TCP pair: `receiver` does not block, as Qt's
// sockets; `sender` does.
struct TcpPair
{
    TcpPair()
    {
        const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        auto *generic = reinterpret_cast<sockaddr *>(&address);
        EXPECT_EQ(::bind(listener, generic, length), 0);
        EXPECT_EQ(::listen(listener, 1), 0);
        EXPECT_EQ(::getsockname(listener, generic, &length), 0);
        sender = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        EXPECT_EQ(::connect(sender, generic, length), 0);
        receiver = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        EXPECT_GE(receiver, 0);
        ::close(listener);
    }
    ~TcpPair()
    {
        closeSender();
        if (receiver >= 0)
            ::close(receiver);
    }
    void closeSender()
    {
        if (sender >= 0)
            ::close(sender);
        sender = -1;
    }
    // Ends the receiving side, so that a sender still sending stops: a
    // receive that failed early cannot leave it waiting.
    // Closing it with bytes unread resets the connection.
    void stopReceiving()
    {
        if (receiver >= 0)
            ::close(receiver);
        receiver = -1;
    }
    // Sends `bytes` in pieces of varying size, as a phone's blocks arrive.
    // Stops quietly when the receiving side goes away.
    void sendInPieces(const QByteArray &bytes)
    {
        quint32 seed = 7;
        for (qint64 done = 0; done < bytes.size();) {
            seed = seed * 1103515245u + 12345u;
            const qint64 piece = std::min<qint64>(1 + seed % 200000, bytes.size() - done);
            const ssize_t n = ::send(sender, bytes.constData() + done, size_t(piece), MSG_NOSIGNAL);
            if (n <= 0)
                return;
            done += n;
        }
    }
    int sender = -1;
    int receiver = -1;
};

QByteArray randomBytes(qint64 size)
{
    QByteArray bytes((size + 3) / 4 * 4, Qt::Uninitialized);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(bytes.data()), bytes.size() / 4);
    bytes.truncate(size);
    return bytes;
}

class SocketToFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!SocketToFile(openTarget()).isAvailable())
            GTEST_SKIP() << "this system receives files through memory";
    }
    void TearDown() override
    {
        for (const int fd : m_opened)
            ::close(fd);
    }
    // The target file, open for writing; O_APPEND makes splice refuse it.
    int openTarget(int extraFlags = 0)
    {
        const int fd = ::open(QFile::encodeName(path()).constData(),
                              O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | extraFlags, 0600);
        EXPECT_GE(fd, 0);
        m_opened.push_back(fd);
        return fd;
    }
    QString path() const { return m_dir.filePath(QStringLiteral("received")); }
    QByteArray written() const
    {
        QFile file(path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private:
    QTemporaryDir m_dir;
    std::vector<int> m_opened;
};

} // namespace

TEST_F(SocketToFileTest, MovesEveryByteInOrderThroughAPipeSmallerThanEachPart)
{
    const QByteArray fromSocket = randomBytes(5 * 1024 * 1024 + 123);
    const QByteArray first = randomBytes(1000);
    const QByteArray second = randomBytes(70000);
    TcpPair pair;
    std::thread sender([&] { pair.sendInPieces(fromSocket); });
    {
        // One page of pipe: it is full again and again, and the socket is
        // often empty while the sender is between pieces.
        SocketToFile direct(openTarget(), 4096);
        ASSERT_TRUE(direct.isAvailable());
        EXPECT_EQ(direct.write(first).status, Status::Done);
        EXPECT_EQ(direct.receive(pair.receiver, 2 * 1024 * 1024, kWaitMs).status, Status::Done);
        EXPECT_EQ(direct.write(second).status, Status::Done);
        EXPECT_EQ(direct.receive(pair.receiver, fromSocket.size() - 2 * 1024 * 1024, kWaitMs).status,
                  Status::Done);
        EXPECT_EQ(direct.finish().status, Status::Done);
    }
    pair.stopReceiving();
    sender.join();
    const QByteArray expected =
        first + fromSocket.left(2 * 1024 * 1024) + second + fromSocket.mid(2 * 1024 * 1024);
    const QByteArray got = written();
    ASSERT_EQ(got.size(), expected.size());
    EXPECT_TRUE(got == expected);
}

TEST_F(SocketToFileTest, GoesThroughMemoryWhereASocketOrFileCannotSplice)
{
    const QByteArray fromSocket = randomBytes(3 * 1024 * 1024 + 5);
    // A blocking socket, then a file opened for appending, which splice
    // refuses to write.
    for (const bool blockingSocket : {true, false}) {
        SCOPED_TRACE(blockingSocket ? "blocking socket" : "appending file");
        TcpPair pair;
        if (blockingSocket)
            ::fcntl(pair.receiver, F_SETFL, ::fcntl(pair.receiver, F_GETFL) & ~O_NONBLOCK);
        std::thread sender([&] { pair.sendInPieces(fromSocket); });
        {
            SocketToFile direct(openTarget(blockingSocket ? 0 : O_APPEND));
            EXPECT_EQ(direct.receive(pair.receiver, fromSocket.size(), kWaitMs).status, Status::Done);
            EXPECT_EQ(direct.finish().status, Status::Done);
        }
        pair.stopReceiving();
        sender.join();
        EXPECT_TRUE(written() == fromSocket);
    }
}

TEST_F(SocketToFileTest, TellsAClosedPeerAndASilentOneApart)
{
    TcpPair pair;
    SocketToFile direct(openTarget());
    // Nothing comes: the wait ends after its time.
    EXPECT_EQ(direct.receive(pair.receiver, 10, 50).status, Status::TimedOut);

    ASSERT_EQ(::send(pair.sender, "0123456789", 10, MSG_NOSIGNAL), 10);
    pair.closeSender();
    EXPECT_EQ(direct.receive(pair.receiver, 5000, kWaitMs).status, Status::Closed);
    // What came before the end is written all the same.
    EXPECT_EQ(direct.finish().status, Status::Done);
    EXPECT_EQ(written(), QByteArray("0123456789"));
}

TEST_F(SocketToFileTest, AFullDiskIsReportedWithItsReasonAndNothingWaitsForIt)
{
    const QByteArray fromSocket = randomBytes(4 * 1024 * 1024);
    TcpPair pair;
    std::thread sender([&] { pair.sendInPieces(fromSocket); });
    Status received = Status::Done;
    SocketToFile::Result finished;
    {
        const TestSupport::FileSizeLimit limit(256 * 1024);
        ASSERT_TRUE(limit.ok());
        SocketToFile direct(openTarget(), 64 * 1024);
        received = direct.receive(pair.receiver, fromSocket.size(), kWaitMs).status;
        finished = direct.finish();
    }
    pair.stopReceiving();
    sender.join();
    // The failure may show while the bytes still come, or at the end.
    EXPECT_TRUE(received == Status::FileFailed || received == Status::Done);
    EXPECT_EQ(finished.status, Status::FileFailed);
    EXPECT_EQ(finished.systemError, EFBIG);
    EXPECT_FALSE(finished.error.isEmpty());
    EXPECT_LE(written().size(), 256 * 1024);
}
