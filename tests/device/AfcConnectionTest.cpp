// The AFC client against an in-test phone: records, listings, reads, and the
// replies a broken or hostile phone may send.
#include "FakeAfcPeer.h"

#include "device/AfcConnection.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

QByteArray le64(quint64 value)
{
    QByteArray bytes;
    for (int i = 0; i < 8; ++i)
        bytes.append(char((value >> (8 * i)) & 0xff));
    return bytes;
}

// A reply header announcing `entire` bytes, with nothing after it.
QByteArray bareHeader(quint64 entire, quint64 operation)
{
    return QByteArray("CFA6LPAA") + le64(entire) + le64(40) + le64(0) + le64(operation);
}

class AfcConnectionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        peer.addFile(QStringLiteral("/Documents/kik.sqlite"), QByteArray(1000, 'k'), 1700000000);
        peer.addFolder(QStringLiteral("/Documents/attachments"));
        peer.addEntry(QStringLiteral("/Documents/link"), FakeAfcEntry{QStringLiteral("S_IFLNK"), {}, 1});
    }
    AfcConnection &afc()
    {
        if (!m_afc) {
            m_afc = std::make_unique<AfcConnection>(peer.clientConnection());
            m_afc->setTimeoutMs(300);
            peer.start();
        }
        return *m_afc;
    }
    QString requestError(quint64 operation)
    {
        try {
            afc().request(operation, QByteArray("/\0", 2));
        } catch (const std::runtime_error &e) {
            return QString::fromUtf8(e.what());
        }
        return QString();
    }

    FakeAfcPeer peer;
    std::unique_ptr<AfcConnection> m_afc;
};

TEST_F(AfcConnectionTest, FileRecordCarriesSizeKindAndTimeInMilliseconds)
{
    const AfcFileRecord record = afc().fileRecord(QStringLiteral("/Documents/kik.sqlite"));
    EXPECT_EQ(record.path, QStringLiteral("/Documents/kik.sqlite"));
    EXPECT_EQ(record.size, 1000);
    EXPECT_TRUE(record.isFile());
    EXPECT_FALSE(record.isFolder());
    // 1700000000 s + 123456789 ns: the nanoseconds are cut to milliseconds.
    EXPECT_EQ(record.modified.toMSecsSinceEpoch(), 1700000000123LL);
    EXPECT_EQ(record.name(), QStringLiteral("kik.sqlite"));
}

TEST_F(AfcConnectionTest, MissingPathGivesAnEmptyRecordThatIsNeitherFileNorFolder)
{
    const AfcFileRecord record = afc().fileRecord(QStringLiteral("/nothing"));
    EXPECT_TRUE(record.path.isEmpty());
    EXPECT_FALSE(record.isFile());
    EXPECT_FALSE(record.isFolder());
    EXPECT_FALSE(record.modified.isValid());
}

TEST_F(AfcConnectionTest, ListingLeavesOutDotsLinksAndNamesWithSlashes)
{
    peer.fault = [](quint64 operation, const QByteArray &parameters) -> std::optional<QByteArray> {
        if (operation == 3 && parameters == QByteArray("/Documents\0", 11))
            return FakeAfcPeer::packet(2,
                                       QByteArray(".\0..\0kik.sqlite\0attachments\0link\0../../etc\0", 43));
        return std::nullopt;
    };
    QStringList names;
    for (const AfcFileRecord &record : afc().listRecords(QStringLiteral("/Documents")))
        names.append(record.name());
    EXPECT_EQ(names, (QStringList{QStringLiteral("kik.sqlite"), QStringLiteral("attachments")}));
}

TEST_F(AfcConnectionTest, RecordsOfManyPathsStayInStepAcrossStatusErrors)
{
    QStringList paths;
    for (int i = 0; i < 100; ++i) {
        if (i % 3 != 0)
            peer.addFile(QStringLiteral("/many/f%1").arg(i), QByteArray(i, 'x'));
        paths.append(QStringLiteral("/many/f%1").arg(i));
    }
    const QList<AfcFileRecord> records = afc().fileRecords(paths);
    ASSERT_EQ(records.size(), 100);
    for (int i = 0; i < 100; ++i) {
        if (i % 3 == 0) {
            EXPECT_FALSE(records[i].isFile()) << i;
        } else {
            EXPECT_EQ(records[i].path, paths[i]);
            EXPECT_EQ(records[i].size, i);
        }
    }
    // The connection is still in step afterwards.
    EXPECT_EQ(afc().fileRecord(QStringLiteral("/many/f1")).size, 1);
}

TEST_F(AfcConnectionTest, BrokenReplyInABatchEmptiesTheRest)
{
    for (int i = 0; i < 50; ++i)
        peer.addFile(QStringLiteral("/b/f%1").arg(i), "x");
    auto infos = std::make_shared<std::atomic<int>>(0);
    peer.fault = [infos](quint64 operation, const QByteArray &) -> std::optional<QByteArray> {
        if (operation == 10 && ++*infos == 10)
            return bareHeader(0x7FFFFFFFFFFFULL, 2);
        return std::nullopt;
    };
    QStringList paths;
    for (int i = 0; i < 50; ++i)
        paths.append(QStringLiteral("/b/f%1").arg(i));
    const QList<AfcFileRecord> records = afc().fileRecords(paths);
    ASSERT_EQ(records.size(), 50);
    EXPECT_TRUE(records[8].isFile());
    for (int i = 9; i < 50; ++i)
        EXPECT_FALSE(records[i].isFile()) << i;
}

TEST_F(AfcConnectionTest, FailedListingIsEmpty)
{
    EXPECT_TRUE(afc().listRecords(QStringLiteral("/Documents/kik.sqlite")).isEmpty());
    EXPECT_TRUE(afc().listRecords(QStringLiteral("/missing")).isEmpty());
}

TEST_F(AfcConnectionTest, ReadsAFileInChunksToItsEnd)
{
    const QByteArray data = QByteArray(200000, 'a') + QByteArray(7, 'z');
    peer.addFile(QStringLiteral("/big"), data);
    AfcOpenFile file(afc(), QStringLiteral("/big"));
    ASSERT_TRUE(file.isOpen());
    QByteArray buffer(300000, '\0');
    EXPECT_EQ(file.read(buffer.data(), buffer.size()), data.size());
    EXPECT_EQ(buffer.left(data.size()), data);
    // 200,007 bytes in requests of at most 64 KiB, then one empty answer.
    EXPECT_EQ(peer.reads.load(), 5);
}

TEST_F(AfcConnectionTest, OpenOfAMissingFileFails)
{
    EXPECT_EQ(afc().openRead(QStringLiteral("/missing")), 0u);
}

TEST_F(AfcConnectionTest, ReplyLargerThanAskedIsAReadErrorNotAnOverflow)
{
    peer.addFile(QStringLiteral("/f"), QByteArray(100, 'x'));
    peer.fault = [](quint64 operation, const QByteArray &) -> std::optional<QByteArray> {
        if (operation == 15)
            return FakeAfcPeer::packet(2, QByteArray(5000, 'y'));
        return std::nullopt;
    };
    AfcOpenFile file(afc(), QStringLiteral("/f"));
    ASSERT_TRUE(file.isOpen());
    char buffer[16];
    EXPECT_EQ(file.read(buffer, sizeof buffer), -1);
}

TEST_F(AfcConnectionTest, StatusErrorSaysItsCode)
{
    peer.fault = [](quint64, const QByteArray &) -> std::optional<QByteArray> {
        return FakeAfcPeer::status(0xFFFFFFFFFFFFFFF8ULL);
    };
    EXPECT_EQ(requestError(3),
              QStringLiteral("read AFC failed, received AFC_OP_STATUS, param1=18446744073709551608."));
}

TEST_F(AfcConnectionTest, UnknownReplyOperationIsAnError)
{
    peer.fault = [](quint64, const QByteArray &) -> std::optional<QByteArray> {
        return FakeAfcPeer::packet(77, le64(5));
    };
    EXPECT_EQ(requestError(3),
              QStringLiteral("read AFC failed, Unknown operation code received 77, param1=5."));
}

TEST_F(AfcConnectionTest, HostileLengthIsRefusedBeforeAllocatingAndBreaksTheConnection)
{
    peer.fault = [](quint64, const QByteArray &) -> std::optional<QByteArray> {
        return bareHeader(0x7FFFFFFFFFFFULL, 2);
    };
    EXPECT_TRUE(requestError(3).contains(QStringLiteral("announces")));
    // The stream is out of step now: the next request fails at once.
    peer.fault = nullptr;
    EXPECT_FALSE(requestError(3).isEmpty());
    EXPECT_EQ(afc().fileRecord(QStringLiteral("/Documents/kik.sqlite")).size, 0);
}

TEST_F(AfcConnectionTest, LengthBelowTheHeaderMeansNoPayload)
{
    peer.fault = [](quint64, const QByteArray &) -> std::optional<QByteArray> { return bareHeader(12, 2); };
    EXPECT_TRUE(afc().request(3, QByteArray("/\0", 2)).isEmpty());
}

TEST_F(AfcConnectionTest, WrongMagicIsAHeaderError)
{
    peer.fault = [](quint64, const QByteArray &) -> std::optional<QByteArray> {
        QByteArray reply = FakeAfcPeer::status(0);
        reply[0] = 'X';
        return reply;
    };
    EXPECT_EQ(requestError(3), QStringLiteral("read AFC header failed."));
}

TEST_F(AfcConnectionTest, StalledPhoneEndsInAHeaderErrorWithinTheTimeout)
{
    peer.fault = [](quint64, const QByteArray &) -> std::optional<QByteArray> { return QByteArray(); };
    EXPECT_EQ(requestError(3), QStringLiteral("read AFC header failed."));
}

TEST_F(AfcConnectionTest, ShortBodyIsABlockError)
{
    peer.fault = [](quint64, const QByteArray &) -> std::optional<QByteArray> {
        return bareHeader(40 + 100, 2) + QByteArray(10, 'x');
    };
    EXPECT_EQ(requestError(3), QStringLiteral("read AFC file block data failed."));
}

} // namespace
