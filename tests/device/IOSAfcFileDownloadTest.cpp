// Copying files and folder trees from an in-test phone: the cache skip,
// early ends, cancellation, names that try to leave the target, progress.
#include "FakeAfcPeer.h"

#include "db/FileCacheIndex.h"
#include "device/IOSAfcFileDownload.h"
#include "jobs/HeadlessProgress.h"
#include "jobs/JobCancelled.h"

#include "support/TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class IOSAfcFileDownloadTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        target = dir.filePath(QStringLiteral("target"));
        QDir().mkpath(target);
    }
    AfcConnection &afc()
    {
        if (!m_afc) {
            m_afc = std::make_unique<AfcConnection>(peer.clientConnection());
            m_afc->setTimeoutMs(2000);
            peer.start();
        }
        return *m_afc;
    }
    FileCacheIndex &cache()
    {
        if (!m_cache)
            m_cache = std::make_unique<FileCacheIndex>(dir.filePath(QStringLiteral("index.db")));
        return *m_cache;
    }
    QString local(const QString &relative) const { return QDir(target).filePath(relative); }
    // Every file below the temporary folder, relative to it.
    QStringList filesBelow(const QString &folder) const
    {
        QStringList files;
        QDir base(folder);
        const std::function<void(const QString &)> walk = [&](const QString &path) {
            for (const QFileInfo &entry : QDir(path).entryInfoList(
                     QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System)) {
                if (entry.isDir() && !entry.isSymLink())
                    walk(entry.absoluteFilePath());
                else
                    files.append(base.relativeFilePath(entry.absoluteFilePath()));
            }
        };
        walk(folder);
        files.sort();
        return files;
    }

    QTemporaryDir dir;
    QString target;
    FakeAfcPeer peer;
    HeadlessProgress progress;
    std::unique_ptr<AfcConnection> m_afc;
    std::unique_ptr<FileCacheIndex> m_cache;
};

TEST_F(IOSAfcFileDownloadTest, UnchangedFileIsSkippedWithTheCacheAndCopiedWithout)
{
    peer.addFile(QStringLiteral("/Documents/a.jpg"), "picture", 1650000000);
    const AfcFileRecord record = afc().fileRecord(QStringLiteral("/Documents/a.jpg"));
    IOSAfcFileDownload download(&progress, &cache());
    download.downloadFileThrow(afc(), record, local(QStringLiteral("a.jpg")), true);
    EXPECT_EQ(cache().lastDate(record.path), 1650000000);
    EXPECT_EQ(TestSupport::readFile(local(QStringLiteral("a.jpg"))), QByteArray("picture"));
    EXPECT_EQ(peer.opens.load(), 1);

    download.downloadFileThrow(afc(), record, local(QStringLiteral("a.jpg")), true);
    EXPECT_EQ(peer.opens.load(), 1);
    EXPECT_EQ(download.skippedFiles(), 1);

    download.downloadFileThrow(afc(), record, local(QStringLiteral("a.jpg")), false);
    EXPECT_EQ(peer.opens.load(), 2);
}

TEST_F(IOSAfcFileDownloadTest, ChangedFileIsCopiedAgain)
{
    peer.addFile(QStringLiteral("/f"), "old", 1650000000);
    IOSAfcFileDownload download(&progress, &cache());
    download.downloadFileThrow(afc(), afc().fileRecord(QStringLiteral("/f")), local(QStringLiteral("f")),
                               true);
    peer.addFile(QStringLiteral("/f"), "newer", 1650000001);
    download.downloadFileThrow(afc(), afc().fileRecord(QStringLiteral("/f")), local(QStringLiteral("f")),
                               true);
    EXPECT_EQ(TestSupport::readFile(local(QStringLiteral("f"))), QByteArray("newer"));
    EXPECT_EQ(cache().lastDate(QStringLiteral("/f")), 1650000001);
}

TEST_F(IOSAfcFileDownloadTest, ZeroLengthFileGivesAnEmptyFileAndACacheEntry)
{
    peer.addFile(QStringLiteral("/empty"), QByteArray(), 1650000000);
    IOSAfcFileDownload download(&progress, &cache());
    download.downloadFileThrow(afc(), afc().fileRecord(QStringLiteral("/empty")),
                               local(QStringLiteral("sub/empty")), true);
    const QFileInfo file(local(QStringLiteral("sub/empty")));
    EXPECT_TRUE(file.isFile());
    EXPECT_EQ(file.size(), 0);
    EXPECT_EQ(cache().lastDate(QStringLiteral("/empty")), 1650000000);
    EXPECT_TRUE(download.incompleteFiles().isEmpty());
}

TEST_F(IOSAfcFileDownloadTest, StatusErrorMidReadKeepsTheShortFileWithoutCacheEntry)
{
    peer.addFile(QStringLiteral("/big"), QByteArray(3 * 65536, 'b'), 1650000000);
    peer.readErrorAfter = 1;
    IOSAfcFileDownload download(&progress, &cache());
    download.downloadFileThrow(afc(), afc().fileRecord(QStringLiteral("/big")), local(QStringLiteral("big")),
                               true);
    EXPECT_TRUE(QFileInfo::exists(local(QStringLiteral("big"))));
    EXPECT_LT(QFileInfo(local(QStringLiteral("big"))).size(), 3 * 65536);
    EXPECT_EQ(cache().lastDate(QStringLiteral("/big")), 0);
    EXPECT_EQ(download.incompleteFiles(), QStringList{QStringLiteral("/big")});
}

TEST_F(IOSAfcFileDownloadTest, CancelMidFileLeavesNoPartialFileAndNoCacheEntry)
{
    peer.addFile(QStringLiteral("/big"), QByteArray(3 * 1024 * 1024, 'c'), 1650000000);
    // The user presses Cancel while the second block is on its way.
    peer.fault = [this](quint64 operation, const QByteArray &) -> std::optional<QByteArray> {
        if (operation == 15 && peer.reads >= 9)
            progress.cancelled = true;
        return std::nullopt;
    };
    IOSAfcFileDownload download(&progress, &cache());
    const AfcFileRecord record = afc().fileRecord(QStringLiteral("/big"));
    EXPECT_THROW(download.downloadFileThrow(afc(), record, local(QStringLiteral("big")), true), JobCancelled);
    EXPECT_FALSE(QFileInfo::exists(local(QStringLiteral("big"))));
    EXPECT_EQ(cache().lastDate(QStringLiteral("/big")), 0);
}

TEST_F(IOSAfcFileDownloadTest, ProgressTextShowsKilobytesWithDigitGrouping)
{
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    peer.addFile(QStringLiteral("/Documents/kik.sqlite"), QByteArray(3000000, 's'));
    IOSAfcFileDownload download(&progress, nullptr);
    download.downloadFileThrow(afc(), afc().fileRecord(QStringLiteral("/Documents/kik.sqlite")),
                               local(QStringLiteral("kik.sqlite")), false);
    QLocale::setDefault(previous);
    ASSERT_FALSE(progress.texts().isEmpty());
    EXPECT_EQ(progress.texts().first(), QStringLiteral("Loading kik.sqlite, 512KB / 2,929KB"));
    EXPECT_EQ(progress.texts().last(), QStringLiteral("Loading kik.sqlite, 2,929KB / 2,929KB"));
}

TEST_F(IOSAfcFileDownloadTest, FolderTreeIsCopiedWithoutLinksDotsOrEmptyFolders)
{
    peer.addFile(QStringLiteral("/Documents/attachments/one"), "1");
    peer.addFile(QStringLiteral("/Documents/attachments/deep/two"), "22");
    peer.addFolder(QStringLiteral("/Documents/attachments/empty"));
    peer.addEntry(QStringLiteral("/Documents/attachments/link"),
                  FakeAfcEntry{QStringLiteral("S_IFLNK"), "target", 1});
    IOSAfcFileDownload download(&progress, &cache());
    download.downloadFolderThrow(afc(), afc().fileRecord(QStringLiteral("/Documents/attachments")), target,
                                 true);
    EXPECT_EQ(filesBelow(target),
              (QStringList{QStringLiteral("attachments/deep/two"), QStringLiteral("attachments/one")}));
}

TEST_F(IOSAfcFileDownloadTest, NamesThatWouldLeaveTheTargetAreSkipped)
{
    peer.addFolder(QStringLiteral("/Documents/media"));
    // The listing names ".." , a path upwards and a name with a NUL inside;
    // every path is said to be a regular file.
    peer.fault = [](quint64 operation, const QByteArray &parameters) -> std::optional<QByteArray> {
        if (operation == 3 && parameters == QByteArray("/Documents/media\0", 17))
            return FakeAfcPeer::packet(2, QByteArray("..\0../../escaped\0..\\evil\0ok\0", 28));
        if (operation == 10 && parameters != QByteArray("/Documents/media\0", 17))
            return FakeAfcPeer::packet(2, QByteArray("st_size\0"
                                                     "2\0st_ifmt\0S_IFREG\0",
                                                     26));
        if (operation == 13)
            return FakeAfcPeer::packet(14, QByteArray("\x09\0\0\0\0\0\0\0", 8));
        if (operation == 15)
            return FakeAfcPeer::packet(2, QByteArray());
        return std::nullopt;
    };
    IOSAfcFileDownload download(&progress, nullptr);
    download.downloadFolderThrow(afc(), afc().fileRecord(QStringLiteral("/Documents/media")), target, false);
    EXPECT_EQ(filesBelow(dir.path()).filter(QStringLiteral("escaped")), QStringList());
    EXPECT_EQ(filesBelow(dir.path()).filter(QStringLiteral("evil")), QStringList());
    EXPECT_EQ(filesBelow(target), QStringList{QStringLiteral("media/ok")});
}

TEST_F(IOSAfcFileDownloadTest, LocalNameRefusesEverythingThatIsNotOneName)
{
    EXPECT_EQ(IOSAfcFileDownload::localName(QStringLiteral("..")), QString());
    EXPECT_EQ(IOSAfcFileDownload::localName(QStringLiteral(".")), QString());
    EXPECT_EQ(IOSAfcFileDownload::localName(QStringLiteral("a/b")), QString());
    EXPECT_EQ(IOSAfcFileDownload::localName(QStringLiteral("a\\b")), QString());
    EXPECT_EQ(IOSAfcFileDownload::localName(QString(QStringLiteral("a")) + QChar(0) + QStringLiteral("b")),
              QString());
    EXPECT_EQ(IOSAfcFileDownload::localName(QStringLiteral("a:b?.jpg")), QStringLiteral("ab.jpg"));
}

TEST_F(IOSAfcFileDownloadTest, FailedListingCopiesNothingAndRaisesNothing)
{
    peer.addFolder(QStringLiteral("/Documents/profpix"));
    peer.fault = [](quint64 operation, const QByteArray &) -> std::optional<QByteArray> {
        if (operation == 3)
            return FakeAfcPeer::status(4);
        return std::nullopt;
    };
    IOSAfcFileDownload download(&progress, nullptr);
    EXPECT_NO_THROW(download.downloadFolderThrow(
        afc(), afc().fileRecord(QStringLiteral("/Documents/profpix")), target, false));
    EXPECT_TRUE(filesBelow(target).isEmpty());
}

TEST_F(IOSAfcFileDownloadTest, FileThatCannotBeOpenedAsksForARestart)
{
    peer.addFile(QStringLiteral("/locked"), "x");
    peer.fault = [](quint64 operation, const QByteArray &) -> std::optional<QByteArray> {
        if (operation == 13)
            return FakeAfcPeer::status(8);
        return std::nullopt;
    };
    IOSAfcFileDownload download(&progress, nullptr);
    try {
        download.downloadFileThrow(afc(), afc().fileRecord(QStringLiteral("/locked")),
                                   local(QStringLiteral("locked")), false);
        FAIL() << "no error";
    } catch (const std::runtime_error &e) {
        EXPECT_STREQ(e.what(), "Please restart your phone to try again.<br/><br/>can not read /locked.");
    }
}

TEST_F(IOSAfcFileDownloadTest, LocalFileThatCannotBeCreatedNamesIt)
{
    peer.addFile(QStringLiteral("/f"), "x");
    TestSupport::writeFile(local(QStringLiteral("plain")), "a file, not a folder");
    IOSAfcFileDownload download(&progress, nullptr);
    const QString path = local(QStringLiteral("plain/f"));
    try {
        download.downloadFileThrow(afc(), afc().fileRecord(QStringLiteral("/f")), path, false);
        FAIL() << "no error";
    } catch (const std::runtime_error &e) {
        EXPECT_TRUE(QString::fromUtf8(e.what()).startsWith(QStringLiteral("can not create ") + path
                                                           + QLatin1Char('.')));
    }
}

TEST_F(IOSAfcFileDownloadTest, PlantedLinkAtTheTargetIsReplacedNotFollowed)
{
    peer.addFile(QStringLiteral("/f"), "device bytes");
    const QString outside = dir.filePath(QStringLiteral("outside"));
    TestSupport::writeFile(outside, "keep me");
    ASSERT_TRUE(QFile::link(outside, local(QStringLiteral("f"))));
    IOSAfcFileDownload download(&progress, nullptr);
    download.downloadFileThrow(afc(), afc().fileRecord(QStringLiteral("/f")), local(QStringLiteral("f")),
                               false);
    EXPECT_EQ(TestSupport::readFile(outside), QByteArray("keep me"));
    EXPECT_EQ(TestSupport::readFile(local(QStringLiteral("f"))), QByteArray("device bytes"));
}

} // namespace
