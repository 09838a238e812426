// Length-framed property-list messages over an in-test socket pair; the
// phone's side is written by hand here.
#include "SocketPairConnection.h"

#include "device/AfcConnection.h"
#include "device/PlistFraming.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

namespace {

QByteArray bigEndian32(quint32 value)
{
    QByteArray bytes;
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes.append(char((value >> shift) & 0xff));
    return bytes;
}

const QByteArray kReplyXml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                             "<key>Status</key><string>Complete</string></dict></plist>";

class PlistFramingTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const auto [client, phone] = SocketPairConnection::makePair();
        ASSERT_GE(client, 0);
        connection = std::make_unique<SocketPairConnection>(client);
        phoneFd = phone;
    }
    void TearDown() override { ::close(phoneFd); }
    void phoneSends(const QByteArray &bytes)
    {
        ASSERT_EQ(::send(phoneFd, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL), bytes.size());
    }
    QByteArray phoneReads(int length)
    {
        QByteArray bytes(length, '\0');
        int total = 0;
        while (total < length) {
            const ssize_t got = ::recv(phoneFd, bytes.data() + total, size_t(length - total), 0);
            if (got <= 0)
                break;
            total += int(got);
        }
        return bytes.left(total);
    }
    QString receiveError(int timeoutMs, const CFType &request = CFType())
    {
        try {
            mobiledevice_recmsg(*connection, request, timeoutMs);
        } catch (const std::runtime_error &e) {
            return QString::fromUtf8(e.what());
        }
        return QString();
    }

    std::unique_ptr<SocketPairConnection> connection;
    int phoneFd = -1;
};

TEST_F(PlistFramingTest, SentMessageIsLengthThenXml)
{
    CFType message = CFType::newDictionary();
    message.setValue(QStringLiteral("Command"), CFType::fromString(QStringLiteral("VendContainer")));
    mobiledevice_sendmsg(*connection, message, false, 1000);
    const QByteArray length = phoneReads(4);
    ASSERT_EQ(length.size(), 4);
    const quint32 n = (quint32(quint8(length[0])) << 24) | (quint32(quint8(length[1])) << 16)
                      | (quint32(quint8(length[2])) << 8) | quint8(length[3]);
    const QByteArray body = phoneReads(int(n));
    EXPECT_TRUE(body.startsWith("<?xml"));
    EXPECT_TRUE(body.contains("<string>VendContainer</string>"));
}

TEST_F(PlistFramingTest, BinaryMessageStartsWithItsMagic)
{
    CFType message = CFType::newArray();
    message.append(CFType::fromString(QStringLiteral("x")));
    mobiledevice_sendmsg(*connection, message, true, 1000);
    phoneReads(4);
    EXPECT_EQ(phoneReads(8), QByteArray("bplist00"));
}

TEST_F(PlistFramingTest, MessageThatSerialisesToNothingSendsNothing)
{
    EXPECT_NO_THROW(mobiledevice_sendmsg(*connection, CFType(), false, 1000));
    EXPECT_EQ(connection->waitSocket(1, true), 0);
    pollfd entry{phoneFd, POLLIN, 0};
    EXPECT_EQ(::poll(&entry, 1, 0), 0);
}

TEST_F(PlistFramingTest, ReceivedXmlAndBinaryRepliesParse)
{
    phoneSends(bigEndian32(quint32(kReplyXml.size())) + kReplyXml);
    EXPECT_EQ(mobiledevice_recmsg(*connection, CFType(), 1000).value(QStringLiteral("Status")).toQString(),
              QStringLiteral("Complete"));
    CFType dict = CFType::newDictionary();
    dict.setValue(QStringLiteral("Status"), CFType::fromString(QStringLiteral("Binary")));
    const QByteArray binary = dict.toPlistData(CFType::BinaryFormat);
    phoneSends(bigEndian32(quint32(binary.size())) + binary);
    EXPECT_EQ(mobiledevice_recmsg(*connection, CFType(), 1000).value(QStringLiteral("Status")).toQString(),
              QStringLiteral("Binary"));
}

TEST_F(PlistFramingTest, ZeroLengthGivesANullValueWithoutError)
{
    phoneSends(bigEndian32(0));
    EXPECT_TRUE(mobiledevice_recmsg(*connection, CFType(), 1000).isNull());
}

TEST_F(PlistFramingTest, BodyThatIsNoPlistGivesANullValue)
{
    phoneSends(bigEndian32(5) + "hello");
    EXPECT_TRUE(mobiledevice_recmsg(*connection, CFType(), 1000).isNull());
}

TEST_F(PlistFramingTest, HugeLengthIsRefusedWithoutWaitingForTheBody)
{
    phoneSends(bigEndian32(0xFFFFFFF0u));
    EXPECT_TRUE(receiveError(60000).startsWith(QStringLiteral("mobiledevice_recmsg(msg) error")));
}

TEST_F(PlistFramingTest, StalledBodyReportsWhatCameAndTheRequest)
{
    CFType request = CFType::newDictionary();
    request.setValue(QStringLiteral("Command"), CFType::fromString(QStringLiteral("VendContainer")));
    phoneSends(bigEndian32(100) + "abc");
    const QString error = receiveError(200, request);
    EXPECT_TRUE(error.startsWith(QStringLiteral("mobiledevice_recmsg(msg) error, received length: 3.\n")))
        << error.toStdString();
    EXPECT_TRUE(error.contains(QStringLiteral("VendContainer")));
}

TEST_F(PlistFramingTest, LengthCutShortByAClosingPhone)
{
    phoneSends(QByteArray("\0\0", 2));
    ::shutdown(phoneFd, SHUT_WR);
    EXPECT_EQ(receiveError(200),
              QStringLiteral("mobiledevice_recmsg(msg-length) error, received length: 2."));
}

TEST_F(PlistFramingTest, ContainerRefusalNamesTheAppWithTheEscapedReply)
{
    const QByteArray refusal = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                               "<key>Error</key><string>ApplicationLookupFailed</string></dict></plist>";
    std::thread phone([&] {
        const QByteArray length = phoneReads(4);
        if (length.size() == 4)
            phoneReads((quint8(length[2]) << 8) | quint8(length[3]));
        phoneSends(bigEndian32(quint32(refusal.size())) + refusal);
    });
    QString error;
    try {
        AfcConnection::vendContainer(*connection, QStringLiteral("com.kik.chat"), 2000);
    } catch (const std::runtime_error &e) {
        error = QString::fromUtf8(e.what());
    }
    phone.join();
    EXPECT_TRUE(error.startsWith(QStringLiteral("can not find com.kik.chat.<br/>&lt;?xml")))
        << error.toStdString();
    EXPECT_TRUE(error.contains(QStringLiteral("&lt;string&gt;ApplicationLookupFailed&lt;/string&gt;")));
    EXPECT_FALSE(error.contains(QLatin1Char('>')) && error.contains(QStringLiteral("<key")));
}

TEST_F(PlistFramingTest, ContainerGrantedRaisesNothing)
{
    std::thread phone([&] {
        const QByteArray length = phoneReads(4);
        if (length.size() == 4)
            phoneReads((quint8(length[2]) << 8) | quint8(length[3]));
        phoneSends(bigEndian32(quint32(kReplyXml.size())) + kReplyXml);
    });
    EXPECT_NO_THROW(AfcConnection::vendContainer(*connection, QStringLiteral("com.kik.chat"), 2000));
    phone.join();
}

} // namespace
