// A disk that fills up during a load or a transfer: the job fails with a
// message that says the computer's disk is full and names the folder it
// could not write, tries no other way (none can help), and Kik's folder on
// the phone and the local cache stay as they were.
// The full disk is a file size limit (RLIMIT_FSIZE, SIGXFSZ ignored so a
// write past it fails with EFBIG instead of ending the process), set only
// while the job runs; the emulated phone was started before and is not
// limited.
#include "AndroidPhoneFixture.h"

#include "support/FileSizeLimit.h"

#include <QRandomGenerator>
#include <QRegularExpression>

namespace {

// The paths whose content differs between two snapshots, or that only one holds.
QStringList changedFiles(const QMap<QString, QByteArray> &before, const QMap<QString, QByteArray> &after)
{
    QStringList changed;
    for (auto it = after.cbegin(); it != after.cend(); ++it) {
        if (before.value(it.key()) != it.value())
            changed << it.key();
    }
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        if (!after.contains(it.key()))
            changed << it.key() + QStringLiteral(" (gone)");
    }
    return changed;
}

// The folder a full-disk message names, empty when `text` is no such message.
QString fullDiskFolder(const QString &text)
{
    static const QRegularExpression pattern(
        QStringLiteral("^There is not enough free space on the computer's disk to write (.+)\\. Free some "
                       "space and try again\\.$"));
    const QRegularExpressionMatch match = pattern.match(text);
    return match.hasMatch() ? match.captured(1) : QString();
}

// How many backups the phone was asked for.
int backupRequests(AdbEmulator &emulator, const QString &serial)
{
    int count = 0;
    for (const QJsonValue &entry : emulator.log(serial, QStringLiteral("service")))
        count +=
            entry.toObject().value(QStringLiteral("text")).toString().startsWith(QLatin1String("backup:"));
    return count;
}

} // namespace

TEST_F(AndroidPhoneTest, AFullDiskFailsLoadAndTransferAndChangesNothing)
{
    ASSERT_TRUE(start({kikPhone(QStringLiteral("HELPER1"), true, QStringLiteral("installed")),
                       kikPhone(QStringLiteral("ADBONLY1"), true, QStringLiteral("absent")),
                       kikPhone(QStringLiteral("BACKUP1"), false, QStringLiteral("absent"))}));
    // The phone without root holds a file that cannot be compressed, so its
    // backup archive outgrows the limit below: adb then stops writing the
    // archive without a word and leaves it cut short.
    {
        QDir().mkpath(kikFolder(QStringLiteral("BACKUP1")) + QStringLiteral("/files"));
        QFile noise(kikFolder(QStringLiteral("BACKUP1")) + QStringLiteral("/files/noise.bin"));
        ASSERT_TRUE(noise.open(QIODevice::WriteOnly));
        QByteArray bytes(256 * 1024, Qt::Uninitialized);
        QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(bytes.data()), bytes.size() / 4);
        ASSERT_EQ(noise.write(bytes), bytes.size());
    }
    const QString dataRoot = QDir::toNativeSeparators(m_dataRoot.path());
    const QString archives = QDir::toNativeSeparators(m_dir.filePath(QStringLiteral("archives")));
    // Enough new messages that the merged database outgrows the phone's.
    const QString tree = m_dir.filePath(QStringLiteral("other"));
    const auto made = TestSupport::runPython(
        QStringLiteral("make_android_kik.py"),
        {QStringLiteral("tree"), tree, QStringLiteral("--other"), QStringLiteral("--bulk=20000")});
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
    const AndroidLoaded other = loadAndroidTree(QDir(tree));
    const KikMessageList messages = other.data->allMessages();
    ASSERT_GT(messages.size(), 20000);

    for (const QString &serial :
         {QStringLiteral("HELPER1"), QStringLiteral("ADBONLY1"), QStringLiteral("BACKUP1")}) {
        const bool rooted = serial != QLatin1String("BACKUP1");
        const AndroidDevice device = connectOk(serial);
        const auto phone = makeAndroidPhone(device);
        ASSERT_TRUE(loadsOk(*phone));
        const auto phoneBefore = snapshot(kikFolder(serial));
        const QString cache = device.cacheFolder().filePath(QStringLiteral("ab-extract"));
        const auto cacheBefore = snapshot(cache);
        const qint64 phoneDbSize =
            QFileInfo(kikFolder(serial) + QStringLiteral("/databases/kikDatabase.db")).size();
        ASSERT_GT(phoneDbSize, 8192);

        {
            // No file can hold the phone's database: the load's fetch fails.
            TestSupport::FileSizeLimit full(4096);
            ASSERT_TRUE(full.ok());
            const int backupsBefore = backupRequests(m_emulator, serial);
            HeadlessProgress progress;
            load(*phone, progress);
            EXPECT_EQ(progress.result(), HeadlessProgress::Failed) << qPrintable(serial);
            // A root copy writes below the data root, a phone backup into the
            // archive folder first.
            const QString folder = fullDiskFolder(progress.errorText());
            EXPECT_TRUE(folder.startsWith(rooted ? dataRoot : archives))
                << qPrintable(serial) << ": " << progress.errorText().toStdString();
            // No fallback to the phone's backup: it would need the same disk.
            EXPECT_EQ(backupRequests(m_emulator, serial), backupsBefore + (rooted ? 0 : 1))
                << qPrintable(serial);
            EXPECT_TRUE(progress.tips().isEmpty() || !rooted) << qPrintable(serial);
        }
        EXPECT_EQ(changedFiles(phoneBefore, snapshot(kikFolder(serial))), QStringList())
            << qPrintable(serial) << " after the load";
        EXPECT_EQ(changedFiles(cacheBefore, snapshot(cache)), QStringList())
            << qPrintable(serial) << " after the load";

        {
            // Copies of the phone's database fit, the merged one does not.
            TestSupport::FileSizeLimit full(rlim_t(phoneDbSize) + 64 * 1024);
            ASSERT_TRUE(full.ok());
            const int backupsBefore = backupRequests(m_emulator, serial);
            HeadlessProgress progress;
            restore(*phone, messages, progress);
            EXPECT_EQ(progress.result(), HeadlessProgress::Failed) << qPrintable(serial);
            EXPECT_TRUE(fullDiskFolder(progress.errorText()).startsWith(dataRoot))
                << qPrintable(serial) << ": " << progress.errorText().toStdString();
            EXPECT_EQ(backupRequests(m_emulator, serial), backupsBefore) << qPrintable(serial);
            EXPECT_TRUE(progress.tips().isEmpty()) << qPrintable(serial);
        }
        EXPECT_EQ(changedFiles(phoneBefore, snapshot(kikFolder(serial))), QStringList())
            << qPrintable(serial) << " after the transfer";
        EXPECT_EQ(changedFiles(cacheBefore, snapshot(cache)), QStringList())
            << qPrintable(serial) << " after the transfer";
    }
}

// A helper download that fails on this side must still remove the copy of
// Kik's database the helper staged on the phone's shared storage, where
// every app can read it.
TEST_F(AndroidPhoneTest, AFailedHelperDownloadLeavesNoCopyOnSharedStorage)
{
    ASSERT_TRUE(start({kikPhone(QStringLiteral("HELPER1"), true, QStringLiteral("installed"))}));
    const auto phone = makeAndroidPhone(connectOk(QStringLiteral("HELPER1")));
    const auto before = snapshot(rootOf(QStringLiteral("HELPER1")) + QStringLiteral("/sdcard"));
    {
        TestSupport::FileSizeLimit full(4096);
        ASSERT_TRUE(full.ok());
        HeadlessProgress progress;
        load(*phone, progress);
        EXPECT_EQ(progress.result(), HeadlessProgress::Failed);
    }
    EXPECT_EQ(changedFiles(before, snapshot(rootOf(QStringLiteral("HELPER1")) + QStringLiteral("/sdcard"))),
              QStringList());
}
