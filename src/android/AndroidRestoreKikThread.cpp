#include "android/AndroidRestoreKikThread.h"

#include "android/AndroidBackup.h"
#include "android/AndroidKikPaths.h"
#include "android/AndroidPhone.h"
#include "android/AndroidRootFiles.h"
#include "android/AndroidShell.h"
#include "app/DiskFull.h"
#include "app/FileUtil.h"
#include "app/TextUtil.h"
#include "app/Translation.h"
#include "jobs/JobCancelled.h"
#include "jobs/JobProgress.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <exception>

namespace {

const QString kNewEnding = QStringLiteral(".velloran-new");
const QStringList kSideEndings{QStringLiteral("-shm"), QStringLiteral("-wal"), QStringLiteral("-journal")};

[[noreturn]] void fail(const QString &text)
{
    throw std::runtime_error(text.toStdString());
}

// A copy of the cache's database folder taken before the merge, put back
// when the run does not complete.
class DatabaseFolderUndo
{
public:
    explicit DatabaseFolderUndo(const QString &databaseFolder)
        : m_folder(databaseFolder), m_copy(databaseFolder + QStringLiteral(".before-restore"))
    {
        QDir(m_copy).removeRecursively();
        QDir().mkpath(m_copy);
        try {
            for (const QFileInfo &file : QDir(m_folder).entryInfoList(QDir::Files | QDir::Hidden)) {
                if (!copyFileUnlessDiskFull(file.absoluteFilePath(),
                                            m_copy + QLatin1Char('/') + file.fileName()))
                    fail(QStringLiteral("Can not copy %1. %2")
                             .arg(file.absoluteFilePath(), QStringLiteral("copy failed")));
            }
        } catch (...) {
            QDir(m_copy).removeRecursively();
            throw;
        }
    }
    ~DatabaseFolderUndo()
    {
        if (!m_kept) {
            QDir(m_folder).removeRecursively();
            QDir().rename(m_copy, m_folder);
        }
        QDir(m_copy).removeRecursively();
    }
    void keepNewState() { m_kept = true; }

private:
    QString m_folder;
    QString m_copy;
    bool m_kept = false;
};

} // namespace

AndroidRestoreKikThread::AndroidRestoreKikThread(AndroidPhone *phone, const KikMessageList &messages,
                                                 JobProgress *progress, QObject *parent)
    : QThread(parent), m_phone(phone), m_messages(messages), m_progress(progress),
      m_tree(phone->device().cacheFolder().filePath(QStringLiteral("ab-extract")))
{}

void AndroidRestoreKikThread::run()
{
    const QString status = ids("IDS_ANDROID_RESTORING_KIK_MESSAGES");
    try {
        JobReport::progress(m_progress, status, 0, QString());
        const QString database = AndroidKikPaths::databasePath(m_tree);
        if (!QFileInfo(database).isFile())
            fail(
                QStringLiteral("Can't read Kik data from Android device. Please make sure you have installed "
                               "and verified Kik on Android device."));
        m_tree.mkpath(QString::fromLatin1(AndroidKikPaths::kThumbsFolder));
        DatabaseFolderUndo undo(QFileInfo(database).absolutePath());

        AndroidMergeHooks hooks;
        hooks.progress = [&](int percent) { JobReport::progress(m_progress, status, percent, QString()); };
        hooks.cancelled = [this] { return m_progress && m_progress->isCancelled(); };
        m_result = mergeIntoAndroidTree(m_tree, m_messages, hooks);

        if (m_phone->device().rooted) {
            try {
                pushAsRoot();
            } catch (const JobCancelled &) {
                throw;
            } catch (const DiskFullError &) {
                throw; // the phone's restore would need the same disk
            } catch (const std::exception &e) {
                const QString text =
                    QString::fromUtf8(e.what()) + QLatin1Char(' ')
                    + QStringLiteral(
                        "Failed to restore history to your root device. Click \"OK\" button then the "
                        "software will try restoring again in another mode.");
                if (!JobReport::waitForTips(m_progress, text))
                    throw JobCancelled();
                adbRestore();
            }
        } else {
            adbRestore();
        }
        undo.keepNewState();
        JobReport::success(m_progress, ids("IDS_SUC_RESTORE_%1_TO_ANDROID").arg(m_messages.size()));
    } catch (const JobCancelled &) {
    } catch (const std::exception &e) {
        JobReport::error(m_progress, QString::fromUtf8(e.what()));
    }
}

void AndroidRestoreKikThread::pushAsRoot()
{
    const AndroidDevice &device = m_phone->device();
    if (device.externalStorage.isEmpty())
        fail(ids("IDS_ROOT_MUST_HAVE_EXTENAL_STORAGE"));
    std::unique_ptr<AndroidChannel> channel =
        m_phone->openChannel(AndroidPhone::ChannelPurpose::Upload, m_progress);
    const QString staging = device.stagingFolder();
    QList<AndroidUploadItem> replaced;
    try {
        channel->suCommand(QStringLiteral("am force-stop kik.android"));
        AndroidRootFiles::prepareStaging(*channel, staging);
        const qsizetype total = m_result.uploads.size();
        for (qsizetype k = 0; k < total; ++k) {
            if (m_progress && m_progress->isCancelled())
                throw JobCancelled();
            const AndroidUploadItem &item = m_result.uploads[k];
            JobReport::progress(m_progress, ids("IDS_SENDING_FILES_TO_ANDROID"), int(k * 100 / total),
                                QString());
            const QString staged = staging + QLatin1Char('/') + md5Hex(item.phonePath);
            channel->uploadFile(item.localPath, staged);
            if (!item.mustSucceed) {
                if (channel->suCopy(staged, item.phonePath) == 0)
                    AndroidRootFiles::handToKik(*channel, item.phonePath);
                continue;
            }
            // The database files go in beside the old ones first; they take
            // their places only when all of them are complete.
            if (channel->suCopy(staged, item.phonePath + kNewEnding) != 0)
                fail(QStringLiteral("su_cpfile(%1, %2) failed.").arg(staged, item.phonePath));
            replaced.append(item);
        }
        if (m_progress && m_progress->isCancelled())
            throw JobCancelled();
        putNewFilesInPlace(*channel, replaced);
    } catch (...) {
        // A transfer broken off mid-file leaves the channel in the middle of
        // its protocol: the clean-up goes through a fresh one.
        const std::exception_ptr original = std::current_exception();
        channel->close();
        try {
            channel = m_phone->openChannel(AndroidPhone::ChannelPurpose::Upload, nullptr);
        } catch (...) {
            std::rethrow_exception(original); // the phone is gone: nothing to clean up
        }
        for (const AndroidUploadItem &item : std::as_const(replaced)) {
            try {
                channel->suCommand(
                    QStringLiteral("rm -f %1").arg(AndroidShell::quote(item.phonePath + kNewEnding)));
            } catch (...) {
            }
        }
        AndroidRootFiles::removeStaging(*channel, staging);
        std::rethrow_exception(original);
    }
    AndroidRootFiles::removeStaging(*channel, staging);
    channel->close();
}

void AndroidRestoreKikThread::putNewFilesInPlace(AndroidChannel &channel,
                                                 const QList<AndroidUploadItem> &replaced)
{
    // The old database's journal files belong to the old database only.
    QSet<QString> databases;
    for (const AndroidUploadItem &item : replaced) {
        bool side = false;
        for (const QString &ending : kSideEndings)
            side = side || item.phonePath.endsWith(ending);
        if (!side)
            databases.insert(item.phonePath);
    }
    for (const QString &database : std::as_const(databases)) {
        for (const QString &ending : kSideEndings)
            channel.suCommand(QStringLiteral("rm -f %1").arg(AndroidShell::quote(database + ending)));
    }
    for (const AndroidUploadItem &item : replaced) {
        const QString path = AndroidShell::quote(item.phonePath);
        if (channel.suCommand(
                QStringLiteral("mv -f %1 %2").arg(AndroidShell::quote(item.phonePath + kNewEnding), path))
            != 0)
            fail(QStringLiteral("cant rename %1 to %2.").arg(item.phonePath + kNewEnding, item.phonePath));
        AndroidRootFiles::handToKik(channel, item.phonePath);
    }
}

void AndroidRestoreKikThread::adbRestore()
{
    const AndroidDevice &device = m_phone->device();
    if (device.apiLevel < kMinimumBackupApiLevel)
        fail(ids("IDS_NOT_SUPPORT_ANDROID_40_BELOW"));
    if (device.overWifi)
        fail(ids("IDS_ANDROID_40_ABOVE_USB_MUST"));
    QString uid = safeLeafName(device.uid);
    if (uid.isEmpty())
        uid = QStringLiteral("android");
    const QString archive = QDir::temp().absoluteFilePath(
        QStringLiteral("%1-%2.ab").arg(uid).arg(QDateTime::currentMSecsSinceEpoch()));
    struct RemoveArchive
    {
        QString path;
        ~RemoveArchive() { QFile::remove(path); }
    } removeArchive{archive};
    createAndroidBackup(m_tree, archive);
    if (m_progress && m_progress->isCancelled())
        throw JobCancelled();
    JobReport::showTips(m_progress, ids("IDS_ADB_RESTORE_TIPS")
                                        + QStringLiteral("<br/><img src=\":res/adb_restore.png\" />"));
    m_phone->forceStop(QString::fromLatin1(kKikPackage));
    const std::unique_ptr<AndroidPendingRun> adb = m_phone->startRestore(archive);
    if (!JobReport::waitWhileTipsShown(m_progress, 300))
        throw JobCancelled();
    if (adb->waitForEnd(kRestoreWaitMs, m_progress ? &m_progress->cancelled : nullptr)
        && !adb->failure().isEmpty())
        fail(QStringLiteral("adb restore failed. %1").arg(adb->failure()));
}
