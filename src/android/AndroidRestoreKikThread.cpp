#include "android/AndroidRestoreKikThread.h"

#include "android/AndroidBackup.h"
#include "android/AndroidKikPaths.h"
#include "android/AndroidPhone.h"
#include "android/AndroidRootFiles.h"
#include "android/AndroidShell.h"
#include "app/AppError.h"
#include "app/DiskFull.h"
#include "app/FileUtil.h"
#include "app/TextUtil.h"
#include "app/Translation.h"
#include "jobs/JobCancelled.h"
#include "jobs/JobProgress.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <exception>

namespace {

const QString kNewEnding = QStringLiteral(".velloran-new");
const QStringList kSideEndings{QStringLiteral("-shm"), QStringLiteral("-wal"), QStringLiteral("-journal")};

// A copy of the cache's database folder taken before the merge, put back
// when the run does not complete. The copy lies at `copy`, outside the tree:
// whatever is in the tree goes into the archive for Android's restore.
class DatabaseFolderUndo
{
public:
    DatabaseFolderUndo(const QString &databaseFolder, const QString &copy)
        : m_folder(databaseFolder), m_copy(copy)
    {
        QDir(m_copy).removeRecursively();
        QDir().mkpath(m_copy);
        try {
            for (const QFileInfo &file : QDir(m_folder).entryInfoList(QDir::Files | QDir::Hidden)) {
                if (!copyFileUnlessDiskFull(file.absoluteFilePath(),
                                            m_copy + QLatin1Char('/') + file.fileName()))
                    throw AppError(QStringLiteral("Can not copy %1. %2")
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
            throw AppError(
                QStringLiteral("Can't read Kik data from Android device. Please make sure you have installed "
                               "and verified Kik on Android device."));
        m_tree.mkpath(QString::fromLatin1(AndroidKikPaths::kThumbsFolder));
        DatabaseFolderUndo undo(QFileInfo(database).absolutePath(), m_phone->device().cacheFolder().filePath(
                                                                        QStringLiteral("db-before-restore")));

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
                // Android's restore takes an app's data only after the
                // app's manifest, which only a phone backup carries. A tree
                // read as superuser has none: the restore would be ignored
                // by the phone and the transfer seem to succeed.
                if (!m_tree.exists(QString::fromLatin1(AndroidKikPaths::kPackageFolder)
                                   + QStringLiteral("/_manifest")))
                    throw AppError(
                        QString::fromUtf8(e.what()) + QLatin1Char(' ')
                        + QStringLiteral("Failed to restore history to your root device. Its Kik data was "
                                         "read as superuser, which Android's own restore can not put back, "
                                         "so nothing on the phone was changed. Please try again."));
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
        throw AppError(ids("IDS_ROOT_MUST_HAVE_EXTENAL_STORAGE"));
    std::unique_ptr<AndroidChannel> channel =
        m_phone->openChannel(AndroidPhone::ChannelPurpose::Upload, m_progress);
    const QString staging = device.stagingFolder();
    QList<AndroidUploadItem> replaced;
    try {
        channel->suCommand(QStringLiteral("am force-stop kik.android"));
        AndroidRootFiles::prepareStaging(*channel, staging);
        bool archivable = true;
        for (const AndroidUploadItem &item : std::as_const(m_result.uploads))
            archivable = archivable && AndroidRootFiles::fitsArchive(item.phonePath + kNewEnding);
        if (archivable && AndroidRootFiles::canUnpackArchives(*channel))
            pushArchive(*channel, staging, replaced);
        else
            pushFileByFile(*channel, staging, replaced);
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
        if (!replaced.isEmpty()) {
            QStringList leftovers;
            for (const AndroidUploadItem &item : std::as_const(replaced))
                leftovers << AndroidShell::quote(item.phonePath + kNewEnding);
            try {
                channel->suCommand(QStringLiteral("rm -f %1").arg(leftovers.join(QLatin1Char(' '))));
            } catch (...) {
            }
        }
        AndroidRootFiles::removeStaging(*channel, staging);
        std::rethrow_exception(original);
    }
    AndroidRootFiles::removeStaging(*channel, staging);
    channel->close();
}

void AndroidRestoreKikThread::pushArchive(AndroidChannel &channel, const QString &staging,
                                          QList<AndroidUploadItem> &replaced)
{
    // The archive and its list are written beside the cache's tree and go
    // again when the push ends, however it ends.
    const QString work = m_phone->device().cacheFolder().filePath(QStringLiteral("root-push"));
    struct RemoveWork
    {
        QString path;
        ~RemoveWork() { QDir(path).removeRecursively(); }
    } removeWork{work};
    QDir(work).removeRecursively();
    if (!QDir().mkpath(work))
        throw AppError(QStringLiteral("Can not create %1.").arg(work));

    // The database files are unpacked beside the old ones and take their
    // places only when all of them are complete; every other file goes
    // straight to its place. A path named twice is sent once, the last time.
    QList<AndroidRootFiles::KikFolderFile> files;
    QStringList placed;
    QStringList newDatabaseFiles;
    QHash<QString, qsizetype> seen;
    for (const AndroidUploadItem &item : std::as_const(m_result.uploads)) {
        const QString target = item.mustSucceed ? item.phonePath + kNewEnding : item.phonePath;
        const auto known = seen.constFind(target);
        if (known != seen.cend()) {
            files[*known].localPath = item.localPath;
            continue;
        }
        seen.insert(target, files.size());
        files.append({item.localPath, target});
        if (item.mustSucceed) {
            replaced.append(item);
            newDatabaseFiles << target;
        } else {
            placed << target;
        }
    }
    const QString archive = work + QStringLiteral("/kik.tar");
    AndroidRootFiles::writeKikArchive(files, archive);
    const QString list = work + QStringLiteral("/kik.list");
    if (!placed.isEmpty())
        AndroidRootFiles::writeNameList(placed, list);

    JobReport::progress(m_progress, ids("IDS_SENDING_FILES_TO_ANDROID"), 0, QString());
    if (m_progress && m_progress->isCancelled())
        throw JobCancelled();
    const QString stagedArchive = staging + QStringLiteral("/kik.tar");
    const QString stagedList = placed.isEmpty() ? QString() : staging + QStringLiteral("/kik.list");
    channel.uploadFile(archive, stagedArchive);
    if (!stagedList.isEmpty())
        channel.uploadFile(list, stagedList);
    if (m_progress && m_progress->isCancelled())
        throw JobCancelled();

    // From here on the phone's folder changes: the run goes to its end.
    const QStringList folders = AndroidRootFiles::foldersInKikFolder(placed + newDatabaseFiles);
    if (channel.suCommand(
            AndroidRootFiles::unpackCommand(stagedArchive, stagedList, newDatabaseFiles, folders))
        != 0)
        throw AppError(QStringLiteral("Unpacking %1 into %2 failed.")
                           .arg(stagedArchive, QString::fromLatin1(AndroidRootFiles::kKikDataFolder)));
    putNewFilesInPlace(channel, replaced, false);
    QStringList finals;
    for (const AndroidUploadItem &item : std::as_const(replaced))
        finals << item.phonePath;
    channel.suCommand(AndroidRootFiles::relabelCommand(folders + finals, stagedList));
}

void AndroidRestoreKikThread::pushFileByFile(AndroidChannel &channel, const QString &staging,
                                             QList<AndroidUploadItem> &replaced)
{
    const qsizetype total = m_result.uploads.size();
    for (qsizetype k = 0; k < total; ++k) {
        if (m_progress && m_progress->isCancelled())
            throw JobCancelled();
        const AndroidUploadItem &item = m_result.uploads[k];
        JobReport::progress(m_progress, ids("IDS_SENDING_FILES_TO_ANDROID"), int(k * 100 / total), QString());
        const QString staged = staging + QLatin1Char('/') + md5Hex(item.phonePath);
        channel.uploadFile(item.localPath, staged);
        if (!item.mustSucceed) {
            if (channel.suCopy(staged, item.phonePath) == 0)
                AndroidRootFiles::handToKik(channel, item.phonePath);
            continue;
        }
        // The database files go in beside the old ones first; they take
        // their places only when all of them are complete.
        replaced.append(item);
        if (channel.suCopy(staged, item.phonePath + kNewEnding) != 0)
            throw AppError(QStringLiteral("su_cpfile(%1, %2) failed.").arg(staged, item.phonePath));
    }
    if (m_progress && m_progress->isCancelled())
        throw JobCancelled();
    putNewFilesInPlace(channel, replaced, true);
}

void AndroidRestoreKikThread::putNewFilesInPlace(AndroidChannel &channel,
                                                 const QList<AndroidUploadItem> &replaced, bool handEach)
{
    // The old database's journal files belong to the old database only;
    // they go, then the new files take their places, in one command.
    QSet<QString> databases;
    for (const AndroidUploadItem &item : replaced) {
        bool side = false;
        for (const QString &ending : kSideEndings)
            side = side || item.phonePath.endsWith(ending);
        if (!side)
            databases.insert(item.phonePath);
    }
    QStringList steps;
    QStringList oldSides;
    for (const QString &database : std::as_const(databases)) {
        for (const QString &ending : kSideEndings)
            oldSides << AndroidShell::quote(database + ending);
    }
    if (!oldSides.isEmpty())
        steps << QStringLiteral("rm -f %1").arg(oldSides.join(QLatin1Char(' ')));
    QStringList targets;
    for (const AndroidUploadItem &item : replaced) {
        if (targets.contains(item.phonePath))
            continue;
        targets << item.phonePath;
        steps << QStringLiteral("mv -f %1 %2")
                     .arg(AndroidShell::quote(item.phonePath + kNewEnding),
                          AndroidShell::quote(item.phonePath));
    }
    if (steps.isEmpty())
        return;
    if (channel.suCommand(steps.join(QStringLiteral(" && "))) != 0)
        throw AppError(
            QStringLiteral("cant rename %1 to %2.")
                .arg(targets.join(QStringLiteral(", ")) + kNewEnding, targets.join(QStringLiteral(", "))));
    if (handEach) {
        for (const QString &target : std::as_const(targets))
            AndroidRootFiles::handToKik(channel, target);
    }
}

void AndroidRestoreKikThread::adbRestore()
{
    const AndroidDevice &device = m_phone->device();
    if (device.apiLevel < kMinimumBackupApiLevel)
        throw AppError(ids("IDS_NOT_SUPPORT_ANDROID_40_BELOW"));
    if (device.overWifi)
        throw AppError(ids("IDS_ANDROID_40_ABOVE_USB_MUST"));
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
        throw AppError(QStringLiteral("adb restore failed. %1").arg(adb->failure()));
}
