#include "android/AndroidLoadKikThread.h"

#include "android/AndroidBackup.h"
#include "android/AndroidKikDb.h"
#include "android/AndroidKikPaths.h"
#include "android/AndroidOffline.h"
#include "android/AndroidPhone.h"
#include "android/AndroidRootFiles.h"
#include "android/AndroidThumbnailBatch.h"
#include "app/AppError.h"
#include "app/DiskFull.h"
#include "app/FileUtil.h"
#include "app/TextUtil.h"
#include "app/Translation.h"
#include "jobs/JobCancelled.h"
#include "jobs/JobProgress.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <cerrno>

namespace {

const QString kPhoneDb = QStringLiteral("/data/data/kik.android/databases/kikDatabase.db");
const QStringList kDbEndings{QString(), QStringLiteral("-journal"), QStringLiteral("-shm"),
                             QStringLiteral("-wal")};

QString backupCheckList()
{
    return QStringLiteral(
        "Can't read Kik data from Android device.<br/><br/>Please check the following:<br/><br/>1 Don't "
        "encrypt "
        "your Android device by password or any 3rd party App.<br/><br/>2 You have installed and verified "
        "Kik "
        "on Android device.<br/><br/>3 Don't set a desktop backup password on your phone. <br/>You can click "
        " "
        "Settings  -&gt; Developer options  -&gt; Desktop backup password on your phone to make the password "
        "blank.<br/><br/>4 Restart your Android device.<br/><br/>5 Stop Kik from running on Android device "
        "to "
        "try again.<br/>To do this:  Go Settings -&gt; Apps -&gt; Running -&gt; Kik and then tap Close "
        "button.<br/><br/>Error:");
}

// True when `path` cannot grow because the disk is full. adb stops writing a
// backup without a word when the disk fills up, leaving a cut archive that
// would otherwise be blamed on the phone.
bool cannotGrow(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    const QByteArray probe(1024 * 1024, '\0');
    errno = 0;
    const bool wrote = file.write(probe) == probe.size() && file.flush();
    const int savedErrno = errno;
    return !wrote && isDiskFullFileError(file, savedErrno);
}

} // namespace

AndroidLoadKikThread::AndroidLoadKikThread(AndroidPhone *phone, const QDir &archiveFolder, bool fetch,
                                           JobProgress *progress, QObject *parent)
    : QThread(parent), m_phone(phone), m_archiveFolder(archiveFolder), m_fetch(fetch), m_progress(progress),
      m_cache(phone->device().cacheFolder().absolutePath())
{}

AndroidLoadKikThread::~AndroidLoadKikThread() = default;

QDir AndroidLoadKikThread::treeFolder() const
{
    return QDir(QDir(m_cache).filePath(QStringLiteral("ab-extract")));
}

QString AndroidLoadKikThread::rootNeededMessage()
{
    return QStringLiteral(
        "This phone needs root access for Kik.<br/><br/>Android 12 and later leave Kik's data out of the "
        "phone's own backups: the phone answered with a backup that holds no Kik data. Kik's messages can "
        "only be read from and written to this phone as superuser (root).");
}

AndroidChannel &AndroidLoadKikThread::channel()
{
    if (!m_channel)
        m_channel = m_phone->openChannel(AndroidPhone::ChannelPurpose::Download, m_progress);
    return *m_channel;
}

void AndroidLoadKikThread::run()
{
    const AndroidDevice &device = m_phone->device();
    try {
        JobReport::progress(m_progress, ids("IDS_LOADING_ADNROID_KIK_FILES"), 99, QString());
        bool fromRoot = false;
        if (m_fetch) {
            if (device.rooted) {
                QString error;
                fromRoot = rootFetch(error);
                if (!fromRoot) {
                    if (!JobReport::waitForTips(m_progress, error))
                        throw JobCancelled();
                    backupFetch();
                }
            } else {
                backupFetch();
            }
        }
        if (!QFileInfo(AndroidKikPaths::databasePath(treeFolder())).isFile())
            throw AppError(
                QStringLiteral("Can't read Kik data from Android device. Please make sure you have installed "
                               "and verified Kik on Android device."));
        if (fromRoot)
            fetchThumbnails();
        removeStagingCopies();
        m_channel.reset();
        JobReport::success(m_progress, QString());
        return;
    } catch (const JobCancelled &) {
    } catch (const std::exception &e) {
        JobReport::error(m_progress, QString::fromUtf8(e.what()));
    }
    removeStagingCopies();
    m_channel.reset();
    QDir(QDir(m_cache).filePath(QStringLiteral("fetch-work"))).removeRecursively();
}

// Removes the copies of Kik's files from the phone's shared storage, where
// every app could read them. A channel that broke with a failed download
// cannot do it: a fresh one is opened then.
void AndroidLoadKikThread::removeStagingCopies()
{
    const AndroidDevice &device = m_phone->device();
    if (!m_channel || !device.rooted || device.externalStorage.isEmpty())
        return;
    if (AndroidRootFiles::removeStaging(*m_channel, device.stagingFolder()))
        return;
    m_channel.reset();
    try {
        m_channel = m_phone->openChannel(AndroidPhone::ChannelPurpose::Download, nullptr);
    } catch (...) {
        return; // the phone is gone; the copies go with its next load
    }
    AndroidRootFiles::removeStaging(*m_channel, device.stagingFolder());
}

// Replaces the cache's tree by a complete fresh one.
void AndroidLoadKikThread::installTree(const QString &freshTree)
{
    const QString tree = treeFolder().absolutePath();
    const QString old = tree + QStringLiteral(".old");
    QDir(old).removeRecursively();
    if (QFileInfo::exists(tree) && !QDir().rename(tree, old))
        throw AppError(QStringLiteral("cant rename %1 to %2.").arg(tree, old));
    if (!QDir().rename(freshTree, tree)) {
        QDir().rename(old, tree);
        throw AppError(QStringLiteral("cant rename %1 to %2.").arg(freshTree, tree));
    }
    QDir(old).removeRecursively();
}

bool AndroidLoadKikThread::rootFetch(QString &errorText)
{
    const AndroidDevice &device = m_phone->device();
    const QString fallback = QLatin1Char(' ') + ids("IDS_ROOT_ROUTINE_FAILED_WILL_TRY_ADBBACKUP");
    if (device.externalStorage.isEmpty()) {
        errorText = ids("IDS_ROOT_MUST_HAVE_EXTENAL_STORAGE") + fallback;
        return false;
    }
    const QString work = QDir(m_cache).filePath(QStringLiteral("fetch-work"));
    try {
        m_phone->forceStop(QString::fromLatin1(kKikPackage));
        QDir(work).removeRecursively();
        const QString staging = device.stagingFolder();
        AndroidChannel &ch = channel();
        AndroidRootFiles::prepareStaging(ch, staging);
        QStringList copied;
        for (const QString &ending : kDbEndings) {
            const int status =
                ch.suCopy(kPhoneDb + ending, staging + QStringLiteral("/kikDatabase.db") + ending);
            if (ending.isEmpty() && status != 0) {
                errorText = ids("IDS_ROOT_INVALID_AUTHORIZATION") + fallback;
                return false;
            }
            // Journal files exist only while Kik writes: a missing one is
            // not fetched.
            if (status == 0)
                copied << ending;
        }
        // A fresh tree keeps the phone's other cached files (thumbnails).
        const QString fresh = work + QStringLiteral("/ab-extract");
        const QString freshDb = fresh + QStringLiteral("/apps/kik.android/db/kikDatabase.db");
        for (const QString &ending : std::as_const(copied))
            ch.downloadFile(staging, QStringLiteral("kikDatabase.db") + ending, freshDb + ending, true);
        if (!QFileInfo(freshDb).isFile()) {
            errorText = ids("IDS_ROOT_CANNOT_FETCH_kikDatabase.db") + fallback;
            return false;
        }
        const QString thumbs = treeFolder().filePath(QString::fromLatin1(AndroidKikPaths::kThumbsFolder));
        if (QFileInfo(thumbs).isDir()) {
            QDir().mkpath(fresh + QStringLiteral("/apps/kik.android/f/staging"));
            QDir().rename(thumbs,
                          fresh + QLatin1Char('/') + QString::fromLatin1(AndroidKikPaths::kThumbsFolder));
        }
        installTree(fresh);
        QDir(work).removeRecursively();
        return true;
    } catch (const JobCancelled &) {
        throw;
    } catch (const DiskFullError &) {
        // The phone's backup would need the same disk: no fallback.
        QDir(work).removeRecursively();
        throw;
    } catch (const std::exception &e) {
        QDir(work).removeRecursively();
        errorText = QString::fromUtf8(e.what()) + fallback;
        return false;
    }
}

QString AndroidLoadKikThread::backupArchivePath() const
{
    QString uid = safeLeafName(m_phone->device().uid);
    if (uid.isEmpty())
        uid = QStringLiteral("android");
    return m_archiveFolder.absoluteFilePath(
        QStringLiteral("%1-%2.ab")
            .arg(uid, QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd_hhmmss"))));
}

void AndroidLoadKikThread::backupFetch()
{
    const AndroidDevice &device = m_phone->device();
    if (device.apiLevel < kMinimumBackupApiLevel)
        throw AppError(ids("IDS_NOT_SUPPORT_ANDROID_40_BELOW"));
    if (device.overWifi)
        throw AppError(ids("IDS_ANDROID_40_ABOVE_USB_MUST"));
    m_archiveFolder.mkpath(QStringLiteral("."));
    m_archivePath = backupArchivePath();
    QFile::remove(m_archivePath);
    JobReport::showTips(m_progress, ids("IDS_ADB_BACKUP_TIPS")
                                        + QStringLiteral("<br/><img src=\":res/adb_backup.png\" />"));
    m_phone->forceStop(QStringLiteral("com.android.backupconfirm"));
    m_phone->forceStop(QString::fromLatin1(kKikPackage));
    const std::atomic<bool> *cancelled = m_progress ? &m_progress->cancelled : nullptr;
    const std::unique_ptr<AndroidPendingRun> adb = m_phone->startBackup(m_archivePath);
    const bool adbEnded = adb->waitForEnd(kBackupWaitMs, cancelled);
    if (!JobReport::waitWhileTipsShown(m_progress, 300))
        throw JobCancelled();

    const QString work = QDir(m_cache).filePath(QStringLiteral("fetch-work"));
    const QString fresh = work + QStringLiteral("/ab-extract");
    QElapsedTimer clock;
    clock.start();
    int attempts = 0;
    QString lastError;
    for (;;) {
        ++attempts;
        if (cancelled && cancelled->load())
            throw JobCancelled();
        if (QFileInfo(m_archivePath).size() > 0) {
            QDir(work).removeRecursively();
            bool extracted = false;
            try {
                // The thumbnails the cached tree already holds (all of them
                // after a restore from it) are linked rather than copied.
                const AndroidBackupReuse reuse{treeFolder().absolutePath(), [](const QString &relative) {
                                                   return relative.startsWith(
                                                       QLatin1String(AndroidKikPaths::kThumbsFolder)
                                                       + QLatin1Char('/'));
                                               }};
                extractAndroidBackup(m_archivePath, QDir(fresh), QString::fromLatin1(kAbCorruptedMessage), {},
                                     reuse);
                extracted = true;
            } catch (const DiskFullError &) {
                QDir(work).removeRecursively();
                QFile::remove(m_archivePath);
                throw;
            } catch (const std::runtime_error &e) {
                lastError = QString::fromUtf8(e.what());
            }
            if (extracted) {
                if (!QFileInfo(AndroidKikPaths::databasePath(QDir(fresh))).isFile()) {
                    // A readable archive without Kik: the phone's backup left
                    // Kik out (Android 12 and later). Waiting cannot change that.
                    QDir(work).removeRecursively();
                    throw AppError(rootNeededMessage());
                }
                installTree(fresh);
                QDir(work).removeRecursively();
                return;
            }
        }
        // Once adb has ended the archive is complete: waiting longer cannot help.
        if (adbEnded || clock.elapsed() >= kBackupWaitMs)
            break;
        QThread::msleep(500);
    }
    QDir(work).removeRecursively();
    // An empty archive is what a phone that refused the backup leaves.
    const bool gotArchive = QFileInfo(m_archivePath).size() > 0;
    if (cannotGrow(m_archivePath)) {
        QFile::remove(m_archivePath);
        throw DiskFullError(m_archivePath);
    }
    QString detail;
    if (gotArchive) {
        QFile::remove(m_archivePath);
        detail = lastError.startsWith(QLatin1String("Your backup file is encrypted"))
                     ? lastError
                     : QString::fromLatin1(kAbCorruptedMessage);
    } else {
        QFile::remove(m_archivePath);
        detail = QStringLiteral("adb-backup -f %1 failed.").arg(m_archivePath);
    }
    throw AppError(backupCheckList() + detail + QStringLiteral(" attempt=%1").arg(attempts));
}

void AndroidLoadKikThread::fetchThumbnails()
{
    const AndroidDevice &device = m_phone->device();
    // The thumbnails the messages name: the image contents of their
    // content ids, read straight from the table (loading every message
    // for them would cost far more than the names).
    QStringList names;
    {
        const QDir tree = treeFolder();
        const QString path = AndroidKikPaths::databasePath(tree);
        AndroidKikDb db(tree, path);
        db.openThrow(path, Sqlite3DB::ReadOnly);
        Sqlite3Cursor c = db.queryThrow(Sqlite3Sql(
            "SELECT [content_string] FROM [KIKContentTable] WHERE [content_type] = 3 AND [content_name] IN "
            "('preview', 'icon', 'png-preview') AND [content_id] IN (SELECT [content_id] FROM "
            "[messagesTable])"));
        QSet<QString> seen;
        while (c.moveNext()) {
            const QString name = AndroidKikPaths::safeName(c.textAt(0));
            if (!name.isEmpty() && !seen.contains(name)) {
                seen.insert(name);
                names << name;
            }
        }
    }
    const QString thumbs = treeFolder().filePath(QString::fromLatin1(AndroidKikPaths::kThumbsFolder));
    QStringList missing;
    for (const QString &name : std::as_const(names)) {
        if (QFileInfo(thumbs + QLatin1Char('/') + name).size() <= 0)
            missing << name;
    }
    // Many missing thumbnails come down as archives; what the phone cannot
    // pack, and what the archives lack when the phone's tar reported a
    // problem, is fetched one by one.
    QStringList batch, oneByOne;
    for (const QString &name : std::as_const(missing))
        (AndroidThumbnailBatch::fitsBatch(name) ? batch : oneByOne) << name;
    if (batch.size() < AndroidThumbnailBatch::kMinimumBatch) {
        oneByOne = missing;
        batch.clear();
    }
    const QString staging = device.stagingFolder();
    const QString phoneFolder = QString::fromLatin1(AndroidKikPaths::kPhoneThumbsFolder).chopped(1);
    const QString work = QDir(m_cache).filePath(QStringLiteral("fetch-work/thumbs"));
    const qsizetype total = missing.size();
    qsizetype done = 0;
    for (qsizetype start = 0; start < batch.size(); start += AndroidThumbnailBatch::kNamesPerArchive) {
        if (m_progress && m_progress->isCancelled())
            throw JobCancelled();
        JobReport::progress(m_progress, QString(), int(done * 100 / total), QString());
        const QStringList part = batch.mid(start, AndroidThumbnailBatch::kNamesPerArchive);
        const AndroidThumbnailBatch::Result got =
            AndroidThumbnailBatch::fetch(channel(), phoneFolder, staging, part, thumbs, work);
        if (!got.packed) {
            oneByOne += batch.mid(start);
            break;
        }
        if (!got.complete) {
            for (const QString &name : part) {
                if (!got.fetched.contains(name))
                    oneByOne << name;
            }
        }
        done += part.size();
    }
    QDir(work).removeRecursively();
    for (qsizetype k = 0; k < oneByOne.size(); ++k) {
        if (m_progress && m_progress->isCancelled())
            throw JobCancelled();
        // Names tried again after an archive count once.
        JobReport::progress(m_progress, QString(), int(std::min(done + k, total) * 100 / total), QString());
        const QString local = thumbs + QLatin1Char('/') + oneByOne[k];
        const QString remote = QString::fromLatin1(AndroidKikPaths::kPhoneThumbsFolder) + oneByOne[k];
        const QString stagingName = md5Hex(remote);
        if (channel().suCopy(remote, staging + QLatin1Char('/') + stagingName) == 0)
            channel().downloadFile(staging, stagingName, local, false);
    }
}
