// The helper protocol against scripted peers: replies, errors, bounds and
// the file transfers.
#include "ScriptedPeer.h"

#include "android/AndroidDevice.h"
#include "android/HelperChannel.h"
#include "android/HelperConnection.h"
#include "android/SimpleProtocol.h"
#include "jobs/HeadlessProgress.h"
#include "jobs/JobCancelled.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace simpleprotocol;

namespace {

QByteArray errorLine(const QString &text)
{
    return "$error:" + text.toUtf8().toBase64() + "\n";
}

template <typename E>
QString messageOf(const std::function<void()> &call)
{
    try {
        call();
    } catch (const E &e) {
        return QString::fromUtf8(e.what());
    } catch (const std::exception &e) {
        ADD_FAILURE() << "other exception: " << e.what();
        return QString();
    }
    ADD_FAILURE() << "no exception";
    return QString();
}

} // namespace

TEST(SimpleProtocol, RepliesErrorsAndNullCommand)
{
    const QString text = QStringLiteral("Kein Zugriff: /data/data/kik.android — 拒绝");
    ScriptedPeer peer(errorLine(text) + "\n" + "$ready:\r\n" + "$file:12\n");
    EXPECT_EQ(messageOf<RemoteException>([&] { readReply(&peer, 1000); }), text);
    EXPECT_EQ(messageOf<SocketDataTransferException>([&] { readReply(&peer, 1000); }),
              QStringLiteral("Null command."));
    EXPECT_EQ(readReply(&peer, 1000), QStringLiteral("$ready:"));
    EXPECT_EQ(*peer.sent(), QByteArray());
    EXPECT_EQ(messageOf<LocalException>([&] { expectReply(&peer, QStringLiteral("$sucmd:"), 1000); }),
              QStringLiteral("invalid feedback [$file:12], must be [$sucmd:]"));
    // The peer was told, in its own format.
    EXPECT_EQ(*peer.sent(), errorLine(QStringLiteral("invalid feedback [$file:12], must be [$sucmd:]")));
    // Nothing left: a closed connection, not a hang.
    EXPECT_THROW(readLine(&peer, 1000), SocketDataTransferException);
}

TEST(SimpleProtocol, PeerLengthsAreBoundedBeforeUse)
{
    // A line that never ends.
    ScriptedPeer longLine(QByteArray(kMaxLineBytes + 10, 'a'));
    EXPECT_THROW(readLine(&longLine, 1000), LocalException);
    EXPECT_TRUE(longLine.sent()->startsWith("$error:"));

    ScriptedPeer sizes(QByteArray{});
    EXPECT_EQ(parseSize(&sizes, QStringLiteral("512"), kMaxBlockBytes), 512);
    EXPECT_EQ(parseSize(&sizes, QStringLiteral("0"), kMaxBlockBytes), 0);
    for (const char *bad : {"", "-1", "12x", "0x10", "99999999999999999999999", " ", "1e9"})
        EXPECT_THROW(parseSize(&sizes, QString::fromLatin1(bad), kMaxBlockBytes), LocalException) << bad;
    EXPECT_THROW(parseSize(&sizes, QString::number(kMaxBlockBytes + 1), kMaxBlockBytes), LocalException);
}

TEST(HelperChannel, DownloadWritesBlocksAndAcknowledgesEach)
{
    QTemporaryDir dir;
    const QString local = dir.filePath(QStringLiteral("sub/kikDatabase.db"));
    ScriptedPeer *peer = new ScriptedPeer("$file:10,ignored\n$block:4\nabcd$block:6\nefghij.\n");
    const auto sent = peer->sent();
    HeadlessProgress progress;
    HelperChannel channel(std::unique_ptr<QIODevice>(peer), &progress);
    EXPECT_TRUE(channel.downloadFile(QStringLiteral("/sdcard/Kik/su"), QStringLiteral("kikDatabase.db"),
                                     local, true));
    EXPECT_EQ(TestSupport::readFile(local), "abcdefghij");
    EXPECT_EQ(*sent, "$dloadex:" + QByteArray("/sdcard/Kik/su").toBase64() + ","
                         + QByteArray("kikDatabase.db").toBase64() + "\n.\n.\n$file:\n");
    channel.close();
    EXPECT_TRUE(sent->endsWith("$bye:\n"));
}

TEST(HelperChannel, ManySmallBlocksArriveWholeAndTheProgressEndsAtTheTotal)
{
    // Blocks whose size does not divide the writer's buffers, so blocks are
    // split across buffers, and a short last one.
    QByteArray content;
    for (int i = 0; content.size() < 3 * 1024 * 1024 + 777; ++i)
        content += QByteArray::number(i).rightJustified(8, '0');
    QByteArray script = "$file:" + QByteArray::number(content.size()) + "\n";
    qsizetype blocks = 0;
    for (qsizetype at = 0; at < content.size(); at += 50000, ++blocks) {
        const QByteArray block = content.mid(at, 50000);
        script += "$block:" + QByteArray::number(block.size()) + "\n" + block;
    }
    script += ".\n";
    QTemporaryDir dir;
    const QString local = dir.filePath(QStringLiteral("big.bin"));
    ScriptedPeer *peer = new ScriptedPeer(script);
    const auto sent = peer->sent();
    HeadlessProgress progress;
    HelperChannel channel(std::unique_ptr<QIODevice>(peer), &progress);
    EXPECT_TRUE(channel.downloadFile(QStringLiteral("/sdcard/big.bin"), QString(), local, true));
    QCoreApplication::processEvents();
    EXPECT_EQ(TestSupport::readFile(local), content);
    EXPECT_EQ(sent->count(".\n"), blocks) << "every block is acknowledged";
    ASSERT_FALSE(progress.texts().isEmpty());
    const QString total = QLocale().toString(content.size() / 1024);
    EXPECT_EQ(progress.texts().last(), total + QStringLiteral("KB / ") + total + QStringLiteral("KB"));
}

TEST(HelperChannel, EmptyDownloadLeavesNoFileAndExistingFilesAreKept)
{
    QTemporaryDir dir;
    const QString local = dir.filePath(QStringLiteral("empty"));
    ScriptedPeer *peer = new ScriptedPeer("$file:0\n.\n");
    const auto sent = peer->sent();
    HelperChannel channel(std::unique_ptr<QIODevice>(peer), nullptr);
    EXPECT_FALSE(channel.downloadFile(QStringLiteral("/sdcard/x"), QString(), local, false));
    EXPECT_FALSE(QFile::exists(local));
    EXPECT_EQ(*sent, "$dload:/sdcard/x\n$file:\n");

    // A non-empty file that is there already is not fetched again.
    TestSupport::writeFile(local, "kept");
    EXPECT_TRUE(channel.downloadFile(QStringLiteral("/sdcard/x"), QString(), local, false));
    EXPECT_EQ(*sent, "$dload:/sdcard/x\n$file:\n");
    EXPECT_EQ(TestSupport::readFile(local), "kept");
}

TEST(HelperChannel, HostileOrBrokenDownloadsLeaveNoPartialFile)
{
    struct Case
    {
        QByteArray script;
        const char *what;
    };
    const QList<Case> cases{
        {"$file:4\n$block:99999999999\n", "huge block"},
        {"$file:4\n$block:-5\n", "negative block"},
        {"$file:4\n$block:4\nabcd$block:4\nefgh", "more than announced"},
        {"$file:8\n$block:8\nabc", "connection lost inside a block"},
        {"$file:8\n$garbage:1\n", "unknown line"},
        {"$file:8\n" + errorLine(QStringLiteral("no such file")), "peer error"},
        {"$file:8\n$block:2\nab", "connection lost between blocks"},
        {"$nope\n", "no file header"},
    };
    for (const Case &c : cases) {
        QTemporaryDir dir;
        const QString local = dir.filePath(QStringLiteral("out"));
        HelperChannel channel(std::make_unique<ScriptedPeer>(c.script), nullptr);
        EXPECT_THROW(channel.downloadFile(QStringLiteral("/r"), QString(), local, true), std::runtime_error)
            << c.what;
        EXPECT_FALSE(QFile::exists(local)) << c.what;
    }
}

TEST(HelperChannel, CancelledDownloadRemovesTheFile)
{
    QTemporaryDir dir;
    const QString local = dir.filePath(QStringLiteral("out"));
    HeadlessProgress progress;
    progress.cancelled = true;
    HelperChannel channel(std::make_unique<ScriptedPeer>("$file:4\n$block:4\nabcd.\n"), &progress);
    EXPECT_THROW(channel.downloadFile(QStringLiteral("/r"), QString(), local, true), JobCancelled);
    EXPECT_FALSE(QFile::exists(local));
}

TEST(HelperChannel, UploadSendsBlocksOfHalfAMebibyte)
{
    QTemporaryDir dir;
    const QString empty = dir.filePath(QStringLiteral("empty"));
    TestSupport::writeFile(empty, QByteArray());
    {
        ScriptedPeer *peer = new ScriptedPeer("$file:\n");
        const auto sent = peer->sent();
        HelperChannel channel(std::unique_ptr<QIODevice>(peer), nullptr);
        channel.uploadFile(empty, QStringLiteral("/sdcard/Kik/su/e"));
        EXPECT_EQ(*sent, "$file:/sdcard/Kik/su/e\n.\n");
    }
    const qint64 block = HelperChannel::kUploadBlockBytes;
    QByteArray content(block + 3, 'x');
    content[0] = 'A';
    content[block] = 'B';
    const QString big = dir.filePath(QStringLiteral("big"));
    TestSupport::writeFile(big, content);
    ScriptedPeer *peer = new ScriptedPeer(".\n.\n$file:\n");
    const auto sent = peer->sent();
    HelperChannel channel(std::unique_ptr<QIODevice>(peer), nullptr);
    channel.uploadFile(big, QStringLiteral("/sdcard/b"));
    const QByteArray expected = "$file:/sdcard/b\n$block:" + QByteArray::number(block) + "\n"
                                + content.left(block) + "$block:3\n" + content.mid(block) + ".\n";
    EXPECT_EQ(*sent, expected);

    // A phone that refuses a block stops the upload with its message.
    HelperChannel refusing(std::make_unique<ScriptedPeer>(errorLine(QStringLiteral("disk full"))), nullptr);
    EXPECT_EQ(messageOf<RemoteException>([&] { refusing.uploadFile(big, QStringLiteral("/sdcard/b")); }),
              QStringLiteral("disk full"));
}

TEST(HelperChannel, SuperuserCommandsAndCopies)
{
    ScriptedPeer *peer = new ScriptedPeer("$sucmd:0\n$sucmd:1\n$sucmd:0\n$sucmd:zz\n");
    const auto sent = peer->sent();
    HelperChannel channel(std::unique_ptr<QIODevice>(peer), nullptr);
    EXPECT_EQ(channel.suCopy(QStringLiteral("/data/data/kik.android/databases/kikDatabase.db"),
                             QStringLiteral("/sdcard/Kik/su/a \"b\"")),
              0);
    EXPECT_EQ(*sent,
              "$sucmd:dd if='/data/data/kik.android/databases/kikDatabase.db' of='/sdcard/Kik/su/a \"b\"'\n"
              "$sucmd:chmod 777 '/sdcard/Kik/su/a \"b\"'\n");
    EXPECT_EQ(channel.suCommand(QStringLiteral("true")), 0);
    EXPECT_THROW(channel.suCommand(QStringLiteral("true")), LocalException);
    EXPECT_THROW(channel.suCommand(QStringLiteral("id\nreboot")), std::runtime_error);
    EXPECT_THROW(channel.suCopy(QStringLiteral("/a\nb"), QStringLiteral("/c")), std::runtime_error);
}

TEST(AndroidDevice, DeviceInfoAndDerivedValues)
{
    AndroidDevice device;
    device.serial = QStringLiteral("R58M");
    parseDeviceInfo(
        QStringLiteral("version=31;model=SM-G960F;manufacturer=samsung;imei=356938035643809;uid=abc;"
                       "sdk=10;sdk_id=29;root=1;storage1=/storage/emulated/0/;color=blue;sdk_id2=x"),
        device);
    EXPECT_EQ(device.helperVersion, 31);
    EXPECT_EQ(device.displayName(), QStringLiteral("samsung SM-G960F"));
    EXPECT_EQ(device.imei, QStringLiteral("356938035643809"));
    EXPECT_EQ(device.uid, QStringLiteral("abc"));
    EXPECT_EQ(device.androidVersion, QStringLiteral("10"));
    EXPECT_EQ(device.apiLevel, 29);
    EXPECT_TRUE(device.rooted);
    EXPECT_EQ(device.deviceKey(), QStringLiteral("R58M"));
    EXPECT_EQ(device.stagingFolder(), QStringLiteral("/storage/emulated/0/Kik/su"));
    device.overWifi = true;
    EXPECT_EQ(device.deviceKey(), QStringLiteral("abc"));

    AndroidDevice bare;
    parseDeviceInfo(QStringLiteral("manufacturer=HTC;root=x;sdk_id=;"), bare);
    EXPECT_EQ(bare.displayName(), QStringLiteral("HTC"));
    EXPECT_EQ(bare.helperVersion, 0);
    EXPECT_FALSE(bare.rooted);
    EXPECT_EQ(bare.storageFileUrl(QStringLiteral("Kik/a")).toLocalFile(),
              QStringLiteral("/storage/emulated/0/Kik/a"));
    EXPECT_TRUE(HelperConnection::tooOldMessage().contains(QStringLiteral("too old. 3.1.1 needed")));
}

TEST(AndroidDevice, CacheFolderStaysBelowTheDataRoot)
{
    TestSupport::ScopedDataRoot root;
    AndroidDevice device;
    device.serial = QStringLiteral("R58M");
    device.imei = QStringLiteral("../../evil");
    const QString folder = device.cacheFolder().absolutePath();
    EXPECT_TRUE(folder.startsWith(QDir(root.path()).absoluteFilePath(QStringLiteral("android_cache/"))))
        << qPrintable(folder);
    EXPECT_TRUE(QDir(folder).exists());
    device.imei.clear();
    EXPECT_EQ(device.cacheFolder().dirName(), QStringLiteral("R58M"));
}

TEST(AndroidDevice, ChannelPortsAndWifiAddresses)
{
    EXPECT_EQ(channelPortFor(0, 0, 1), 10001);
    EXPECT_EQ(channelPortFor(7, 59, 99), 45999);
    EXPECT_EQ(channelPortFor(5, 30, 2), 23002);
    for (int i = 0; i < 250; ++i) {
        const int port = nextChannelPort();
        EXPECT_GE(port, 10001);
        EXPECT_LE(port, 45999);
        EXPECT_NE(port % 100, 0);
    }
    EXPECT_EQ(HelperConnection::wifiAddressFrom(QStringLiteral(" 192.168.1.20 ")),
              QStringLiteral("192.168.1.20"));
    EXPECT_EQ(HelperConnection::wifiAddressFrom(QStringLiteral("10.0.0.999")), QStringLiteral("10.0.0.999"));
    EXPECT_EQ(HelperConnection::wifiAddressFrom(QStringLiteral("10.0.0")), QString());
    EXPECT_EQ(HelperConnection::wifiAddressFrom(QStringLiteral("10.0.0.1:49002")), QString());
    EXPECT_EQ(HelperConnection::wifiAddressFrom(QStringLiteral("1234.0.0.1")), QString());
}
