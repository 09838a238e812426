// The device backup's pieces that need no phone: reading the tool's output,
// wording failures, the duration estimate, the work folder and the reuse
// check of a backup left there.
#include "app/DeviceBackupRoot.h"
#include "device/BackupToolText.h"
#include "device/IOSMobileBackupThread.h"
#include "device/MobileDevice.h"
#include "jobs/HeadlessProgress.h"
#include "jobs/JobRunner.h"

#include "support/TestSupport.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

using namespace BackupToolText;

TEST(BackupToolTextTest, SuccessIsTheSuccessLineNotTheExitStatus)
{
    EXPECT_TRUE(succeeded(QStringLiteral("Received 12 files from device.\nBackup Successful.\n")));
    EXPECT_FALSE(succeeded(QStringLiteral("Backup Failed (Error Code 0).\n")));
    EXPECT_FALSE(succeeded(QStringLiteral("No device found.\n")));
    EXPECT_FALSE(succeeded(QStringLiteral("not a Backup Successful. line\n")));
}

TEST(BackupToolTextTest, LostPhoneGetsTheConnectionHelp)
{
    const QString text =
        worded(QStringLiteral("ERROR: Could not receive from mobilebackup2 (-4)\nBackup Aborted."));
    EXPECT_TRUE(text.startsWith(
        QStringLiteral("Connection to device lost. Please try the following solutions: <br/><br/>A:<br/>")));
    EXPECT_TRUE(text.contains(QStringLiteral("B:<br/>Step 1) Delete the lockdown folder")));
    EXPECT_TRUE(text.contains(QStringLiteral("/guides/reset-lockdown-in-itunes.php")));
    EXPECT_TRUE(worded(QStringLiteral("an error: Connection to device lost"))
                    .startsWith(QStringLiteral("Connection to device lost.")));
}

TEST(BackupToolTextTest, UnreachablePhoneGetsTheConnectHelp)
{
    EXPECT_TRUE(worded(QStringLiteral("ERROR: Could not connect to lockdownd, error code -19"))
                    .startsWith(QStringLiteral(
                        "Failed to connect your iPhone. Please try the following solutions: ")));
    EXPECT_TRUE(worded(QStringLiteral("cannot back up until Setup is finished"))
                    .startsWith(QStringLiteral("Failed to connect your iPhone.")));
}

TEST(BackupToolTextTest, OtherFailuresAreEscapedWithTheRestartNote)
{
    EXPECT_EQ(
        worded(QStringLiteral("ERROR: <disk> full")),
        QStringLiteral("ERROR: &lt;disk&gt; full<br/><br/>Note: You can restart your device to try again."));
}

TEST(BackupToolTextTest, DurationEstimate)
{
    EXPECT_EQ(estimatedSeconds(10240LL * 1024 * 1024), 307);
    EXPECT_EQ(estimatedSeconds(0), 60);
    EXPECT_EQ(estimatedSeconds(-5), 60);
    EXPECT_EQ(estimatedSeconds(2 * 1024 * 1024), 1);
    EXPECT_DOUBLE_EQ(progressAfter(0, 307), 0);
    EXPECT_DOUBLE_EQ(progressAfter(307, 307), 99);
    EXPECT_DOUBLE_EQ(progressAfter(5000, 307), 99);
}

class DeviceBackupFolderTest : public ::testing::Test
{
protected:
    // A backup folder as the tool leaves it; `manifest` is the manifest's
    // file name.
    QString makeBackup(const QString &manifest, const QString &state, const QString &version)
    {
        const QString folder = QDir(root.path()).filePath(QStringLiteral("backup"));
        QDir().mkpath(folder);
        TestSupport::writeFile(QDir(folder).filePath(manifest), "manifest");
        TestSupport::writeFile(QDir(folder).filePath(QStringLiteral("Status.plist")),
                               QStringLiteral("<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>"
                                              "<key>SnapshotState</key><string>%1</string></dict></plist>")
                                   .arg(state)
                                   .toUtf8());
        TestSupport::writeFile(QDir(folder).filePath(QStringLiteral("Manifest.plist")),
                               QStringLiteral("<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>"
                                              "<key>Lockdown</key><dict><key>ProductVersion</key>"
                                              "<string>%1</string></dict></dict></plist>")
                                   .arg(version)
                                   .toUtf8());
        return folder;
    }

    TestSupport::ScopedDataRoot root;
};

TEST_F(DeviceBackupFolderTest, FinishedBackupOfTheSameVersionIsReusedInEitherManifestForm)
{
    EXPECT_TRUE(IOSMobileBackupThread::isReusable(
        makeBackup(QStringLiteral("Manifest.db"), QStringLiteral("finished"), QStringLiteral("16.7")),
        QStringLiteral("16.7")));
    EXPECT_TRUE(IOSMobileBackupThread::isReusable(
        makeBackup(QStringLiteral("Manifest.mbdb"), QStringLiteral("finished"), QStringLiteral("9.3")),
        QStringLiteral("9.3")));
}

TEST_F(DeviceBackupFolderTest, UnfinishedOtherVersionOrManifestlessBackupIsNotReused)
{
    const QString folder =
        makeBackup(QStringLiteral("Manifest.db"), QStringLiteral("uploading"), QStringLiteral("16.7"));
    EXPECT_FALSE(IOSMobileBackupThread::isReusable(folder, QStringLiteral("16.7")));
    makeBackup(QStringLiteral("Manifest.db"), QStringLiteral("finished"), QStringLiteral("16.6"));
    EXPECT_FALSE(IOSMobileBackupThread::isReusable(folder, QStringLiteral("16.7")));
    QFile::remove(QDir(folder).filePath(QStringLiteral("Manifest.db")));
    makeBackup(QStringLiteral("Other.db"), QStringLiteral("finished"), QStringLiteral("16.7"));
    EXPECT_FALSE(IOSMobileBackupThread::isReusable(folder, QStringLiteral("16.7")));
}

TEST_F(DeviceBackupFolderTest, WorkFolderLivesBelowTheRememberedBase)
{
    const QDir first = tempBackupRoot();
    EXPECT_EQ(first.dirName(), QStringLiteral("__velloran_iosbk_temp"));
    EXPECT_EQ(QDir(QFileInfo(first.absolutePath()).path()).canonicalPath(),
              QDir(root.path()).canonicalPath());
    const QString pathFile = QDir(root.path()).filePath(QStringLiteral("__velloran_iosbk_temp.path"));
    ASSERT_TRUE(QFile::exists(pathFile));

    // A base named in the path file is used as long as it is a folder.
    const QString other = QDir(root.path()).filePath(QStringLiteral("bigger-volume"));
    QDir().mkpath(other);
    TestSupport::writeFile(pathFile, other.toUtf8());
    EXPECT_EQ(tempBackupRoot().absolutePath(), QDir(other).filePath(QStringLiteral("__velloran_iosbk_temp")));
    TestSupport::writeFile(pathFile, "E:\\old");
    EXPECT_EQ(tempBackupRoot().absolutePath(), first.absolutePath());

    QDir().mkpath(tempBackupRoot().filePath(QStringLiteral("udid")));
    clearTempBackupRoot();
    EXPECT_FALSE(tempBackupRoot().exists());
    EXPECT_GT(freeDiskSpace(QDir(root.path())), 0);
}

// A phone that gives only an identifier; any other call fails.
class NamedOnlyPhone : public MobileDevice
{
public:
    explicit NamedOnlyPhone(const QString &udid) : m_udid(udid) {}
    QString udid() const override { return m_udid; }
    QList<CFType> copyValues(const QStringList &, const QString &) override
    {
        throw std::runtime_error("no session");
    }
    std::unique_ptr<MobileDeviceConnection> startService(const QString &) override
    {
        throw std::runtime_error("no session");
    }

private:
    QString m_udid;
};

TEST_F(DeviceBackupFolderTest, APhoneWithoutAPlainIdentifierLeavesEveryBackupAlone)
{
    // Backups of two other phones, one unfinished, and a file beside the work folder.
    const QDir work = tempBackupRoot();
    TestSupport::writeFile(work.filePath(QStringLiteral("OTHER1/Manifest.db")), "kept");
    TestSupport::writeFile(work.filePath(QStringLiteral("OTHER2/Status.plist")), "kept");
    TestSupport::writeFile(QDir(root.path()).filePath(QStringLiteral("beside.txt")), "kept");
    const QList<MobileDevicePtr> phones{MobileDevicePtr(), std::make_shared<NamedOnlyPhone>(QString()),
                                        std::make_shared<NamedOnlyPhone>(QStringLiteral("..")),
                                        std::make_shared<NamedOnlyPhone>(QStringLiteral("../OTHER1"))};
    for (const MobileDevicePtr &phone : phones) {
        HeadlessProgress progress;
        IOSMobileBackupThread job(phone, &progress, QStringLiteral("16.7"));
        JobRunner::runToEnd(job);
        EXPECT_EQ(progress.result(), HeadlessProgress::Failed);
        EXPECT_TRUE(progress.errorText().contains(QStringLiteral("usable identifier")))
            << progress.errorText().toStdString();
    }
    EXPECT_EQ(TestSupport::readFile(work.filePath(QStringLiteral("OTHER1/Manifest.db"))), "kept");
    EXPECT_EQ(TestSupport::readFile(work.filePath(QStringLiteral("OTHER2/Status.plist"))), "kept");
    EXPECT_EQ(TestSupport::readFile(QDir(root.path()).filePath(QStringLiteral("beside.txt"))), "kept");
}

} // namespace
