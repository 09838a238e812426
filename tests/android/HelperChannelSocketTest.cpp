// The helper channel over a real connection to the emulated helper app:
// files of several blocks go both ways byte for byte, and a phone that goes
// away part-way through a block ends the upload with an error.
#include "AndroidPhoneFixture.h"

#include "android/AndroidChannel.h"
#include "app/AppError.h"

#include <QRandomGenerator>

namespace {

const QString kSerial = QStringLiteral("HELPER1");

QByteArray randomBytes(qint64 size)
{
    QByteArray bytes((size + 3) / 4 * 4, Qt::Uninitialized);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(bytes.data()), bytes.size() / 4);
    bytes.truncate(size);
    return bytes;
}

} // namespace

class HelperChannelSocketTest : public AndroidPhoneTest
{
protected:
    // Starts a rooted phone with the helper app and opens a channel to it.
    void openHelperChannel()
    {
        ASSERT_TRUE(start({kikPhone(kSerial, true, QStringLiteral("installed"))}));
        const AndroidDevice device = connectOk(kSerial);
        ASSERT_EQ(device.access, AndroidDevice::Access::Helper);
        m_phone = makeAndroidPhone(device);
        m_channel = m_phone->openChannel(AndroidPhone::ChannelPurpose::Upload, &m_progress);
        ASSERT_TRUE(m_channel);
    }

    // A local file of `size` random bytes, named `name`.
    QString localFile(const QString &name, qint64 size, QByteArray *content = nullptr)
    {
        const QByteArray bytes = randomBytes(size);
        const QString path = m_dir.filePath(name);
        TestSupport::writeFile(path, bytes);
        if (content)
            *content = bytes;
        return path;
    }

    HeadlessProgress m_progress;
    std::unique_ptr<AndroidPhone> m_phone;
    std::unique_ptr<AndroidChannel> m_channel;
};

TEST_F(HelperChannelSocketTest, FilesOfSeveralBlocksGoBothWaysWhole)
{
    ASSERT_NO_FATAL_FAILURE(openHelperChannel());
    // Two whole blocks and part of a third.
    QByteArray content;
    const QString local = localFile(QStringLiteral("up.bin"), 2 * 512 * 1024 + 4321, &content);
    m_channel->uploadFile(local, QStringLiteral("/sdcard/up.bin"));
    EXPECT_TRUE(TestSupport::readFile(rootOf(kSerial) + QStringLiteral("/sdcard/up.bin")) == content);
    EXPECT_EQ(m_progress.state().text, QStringLiteral("%L1KB / %L1KB").arg(content.size() / 1024));

    const QString back = m_dir.filePath(QStringLiteral("back.bin"));
    EXPECT_TRUE(m_channel->downloadFile(QStringLiteral("/sdcard/up.bin"), QString(), back, true));
    EXPECT_TRUE(TestSupport::readFile(back) == content);

    // An empty file arrives empty, and the channel still answers after it.
    const QString empty = localFile(QStringLiteral("empty.bin"), 0);
    m_channel->uploadFile(empty, QStringLiteral("/sdcard/empty.bin"));
    EXPECT_EQ(QFileInfo(rootOf(kSerial) + QStringLiteral("/sdcard/empty.bin")).size(), 0);
    EXPECT_EQ(m_channel->suCommand(QStringLiteral("true")), 0);
}

TEST_F(HelperChannelSocketTest, PhoneThatGoesAwayMidBlockEndsTheUploadWithAnError)
{
    ASSERT_NO_FATAL_FAILURE(openHelperChannel());
    QByteArray content;
    const QString local = localFile(QStringLiteral("up.bin"), 8 * 1024 * 1024, &content);
    ASSERT_TRUE(m_emulator.set(kSerial, {{QStringLiteral("gone_after_bytes"), 700000}}));

    // The program survives the closed connection (no SIGPIPE) and says so.
    try {
        m_channel->uploadFile(local, QStringLiteral("/sdcard/up.bin"));
        ADD_FAILURE() << "the upload to a phone that went away succeeded";
    } catch (const AppError &e) {
        EXPECT_FALSE(QString::fromUtf8(e.what()).isEmpty());
    }
    // The phone kept the one block it had whole, and nothing of the next.
    EXPECT_TRUE(TestSupport::readFile(rootOf(kSerial) + QStringLiteral("/sdcard/up.bin"))
                == content.left(512 * 1024));
    EXPECT_THROW(m_channel->uploadFile(local, QStringLiteral("/sdcard/again.bin")), AppError);
    EXPECT_FALSE(QFileInfo::exists(rootOf(kSerial) + QStringLiteral("/sdcard/again.bin")));
}

TEST_F(HelperChannelSocketTest, UploadTheHelperMayNotWriteFailsWithThePhonesReason)
{
    ASSERT_NO_FATAL_FAILURE(openHelperChannel());
    const QString local = localFile(QStringLiteral("up.bin"), 3 * 512 * 1024);

    // The helper app runs as its own user: Kik's folder is not its to write.
    const QString target = QStringLiteral("/data/data/kik.android/databases/up.bin");
    try {
        m_channel->uploadFile(local, target);
        ADD_FAILURE() << "the helper wrote into another app's folder";
    } catch (const std::exception &e) {
        EXPECT_TRUE(QString::fromUtf8(e.what()).contains(QStringLiteral("EACCES"))) << e.what();
    }
    EXPECT_FALSE(QFileInfo::exists(rootOf(kSerial) + target));
}
