#include "ios/IOSLoadKikMessagesThread.h"

#include "app/AppError.h"
#include "app/DataRoot.h"
#include "app/LogCategories.h"
#include "app/Translation.h"
#include "db/FileCacheIndex.h"
#include "device/AfcConnection.h"
#include "device/IOSAfcFileDownload.h"
#include "jobs/JobCancelled.h"
#include "jobs/JobProgress.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>

#include <stdexcept>

namespace {

const QStringList kStoreFiles = {QStringLiteral("kik.sqlite"), QStringLiteral("kik.sqlite-shm"),
                                 QStringLiteral("kik.sqlite-wal")};
const QStringList kMediaFolders = {QStringLiteral("profpix"), QStringLiteral("attachments"),
                                   QStringLiteral("content_manager")};

} // namespace

IOSLoadKikMessagesThread::IOSLoadKikMessagesThread(MobileDevicePtr device, JobProgress *progress,
                                                   QObject *parent)
    : QThread(parent), m_device(std::move(device)), m_progress(progress),
      m_timeoutMs(AfcConnection::kDefaultTimeoutMs)
{}

QString IOSLoadKikMessagesThread::deviceCacheFolder(const QString &udid)
{
    // The id comes from the phone: it names one folder, nothing else.
    const QString name = IOSAfcFileDownload::localName(udid);
    if (name.isEmpty() || name != udid)
        throw AppError(QStringLiteral("The iPhone's unique id \"%1\" cannot name a cache folder.").arg(udid));
    const QString folder = DataRoot::iosCacheFolder().filePath(name);
    QDir().mkpath(folder);
    return folder;
}

QDir IOSLoadKikMessagesThread::kikFolder() const
{
    return QDir(QDir(deviceCacheFolder(m_device->udid())).filePath(QString::fromLatin1(kKikAppId)));
}

void IOSLoadKikMessagesThread::run()
{
    m_needsBackup = false;
    m_incomplete.clear();
    JobReport::progress(m_progress, ids("IDS_LOADING_IOS_KIK"), 99, QString());
    try {
        copyFromContainer();
    } catch (const JobCancelled &) {
        // Cancelled by the user: the dialog is already closing.
    } catch (const std::exception &e) {
        JobReport::error(m_progress, QString::fromUtf8(e.what()));
    }
}

void IOSLoadKikMessagesThread::copyFromContainer()
{
    const QDir kik = kikFolder();
    const QString documents = kik.filePath(QStringLiteral("Documents"));
    if (!QDir().mkpath(documents))
        throw AppError(QStringLiteral("can not create %1.").arg(documents));
    for (const QString &name : kStoreFiles)
        QFile::remove(QDir(documents).filePath(name));

    AfcConnection afc(m_device);
    afc.setTimeoutMs(m_timeoutMs);
    try {
        afc.open(QString::fromLatin1(kKikAppId));
    } catch (const DeviceSessionError &) {
        // Pairing refused, pending or locked: a backup would fail alike.
        throw;
    } catch (const std::exception &e) {
        qCDebug(lcIos).noquote() << "Kik's container is not open to us, falling back to a backup:"
                                 << e.what();
        m_needsBackup = true;
        JobReport::success(m_progress, QString());
        return;
    }

    FileCacheIndex cache(
        QDir(deviceCacheFolder(m_device->udid())).filePath(QStringLiteral("com.kik.manifest.db")));
    IOSAfcFileDownload download(m_progress, &cache);
    for (const QString &name : kStoreFiles) {
        const AfcFileRecord record = afc.fileRecord(QStringLiteral("/Documents/") + name);
        download.downloadFileThrow(afc, record, QDir(documents).filePath(name), false);
    }
    if (!download.incompleteFiles().isEmpty()) {
        // A store cut short must never be read as if it were whole.
        for (const QString &name : kStoreFiles)
            QFile::remove(QDir(documents).filePath(name));
        throw AppError(
            QStringLiteral("The copy of %1 from your iPhone is incomplete: the connection failed while "
                           "reading it. Please reconnect your iPhone and try again.")
                .arg(download.incompleteFiles().join(QStringLiteral(", "))));
    }
    if (QFileInfo(QDir(documents).filePath(QStringLiteral("kik.sqlite"))).size() <= 0)
        throw AppError("Failded to load messages, please reinstall and verify Kik on your "
                       "iPhone to try again.");
    for (const QString &name : kMediaFolders) {
        const AfcFileRecord record = afc.fileRecord(QStringLiteral("/Documents/") + name);
        download.downloadFolderThrow(afc, record, documents, true);
    }
    m_incomplete = download.incompleteFiles();
    afc.close();
    JobReport::success(m_progress, QString());
}
