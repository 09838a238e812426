// Copying Kik's store and media out of an iTunes backup.
#include "ios/IOSLoadKikFromiTunesThread.h"

#include "app/AppError.h"
#include "app/FileUtil.h"
#include "app/Translation.h"
#include "ios/BackupManifest.h"
#include "jobs/JobCancelled.h"
#include "jobs/JobProgress.h"

#include <QFileInfo>
#include <QRegularExpression>

namespace {

const QString kNoKikData =
    QStringLiteral("Found no Kik data in your iTunes Backup. Please check if you have installed and verified "
                   "Kik Messenger on your iPhone.");

// Shortest time between two progress detail lines of the copy.
constexpr qint64 kReportIntervalMs = 100;

bool isMediaFolder(const QString &name)
{
    return name == QLatin1String("attachments") || name == QLatin1String("content_manager")
           || name == QLatin1String("profpix");
}

const BackupFileNode *childPath(const BackupFileNode *node, const QStringList &names)
{
    for (const QString &name : names) {
        if (!node)
            return nullptr;
        node = node->child(name);
    }
    return node;
}

// The store file of a folder node, or null.
const BackupFileNode *storeFile(const BackupFileNode *folder)
{
    const BackupFileNode *store = folder ? folder->child(QStringLiteral("kik.sqlite")) : nullptr;
    return store && store->hasRecord && store->record.isFile() ? store : nullptr;
}

} // namespace

IOSLoadKikFromiTunesThread::IOSLoadKikFromiTunesThread(BackupManifest *backup, JobProgress *progress,
                                                       const QString &cacheFolder, QObject *parent)
    : QThread(parent), m_backup(backup), m_progress(progress), m_cacheFolder(cacheFolder)
{
    if (m_cacheFolder.isEmpty())
        m_cacheFolder =
            QDir(QDir::tempPath()).filePath(QStringLiteral("velloran-itunes_cache/") + backup->backupKey());
}

QDir IOSLoadKikFromiTunesThread::kikCacheFolder() const
{
    return QDir(QDir(m_cacheFolder).filePath(QStringLiteral("com.kik.chat")));
}

const BackupFileNode *IOSLoadKikFromiTunesThread::findStoreFolder(const BackupManifest &backup)
{
    const BackupFileNode *app =
        childPath(backup.topLevelNode(QStringLiteral("Applications")), {QStringLiteral("com.kik.chat")});
    const BackupFileNode *documents = childPath(app, {QStringLiteral("Documents")});
    if (storeFile(documents))
        return documents;
    // Kik 15 and later: "cores/private/<32 hex digits>/kik.sqlite" in the
    // app-group container; the core whose store changed last wins.
    static const QRegularExpression coreName(QStringLiteral("^[0-9a-fA-F]{32}$"));
    const BackupFileNode *cores =
        childPath(backup.topLevelNode(QStringLiteral("AppDomainGroup")),
                  {QStringLiteral("group.com.kik.chat"), QStringLiteral("cores"), QStringLiteral("private")});
    const BackupFileNode *newest = nullptr;
    if (cores) {
        for (const BackupFileNode *core : cores->children) {
            const BackupFileNode *store = storeFile(core);
            if (!store || !coreName.match(core->name).hasMatch())
                continue;
            if (!newest || store->record.modifiedTime > storeFile(newest)->record.modifiedTime)
                newest = core;
        }
    }
    if (newest)
        return newest;
    // An app container without a store still counts as Kik being there: the
    // run then ends without data.
    return documents ? documents : nullptr;
}

void IOSLoadKikFromiTunesThread::run()
{
    m_foundData = false;
    m_reportTimer.invalidate();
    JobReport::progress(m_progress, ids("IDS_LOADING_ITUNES_BACKUP"), 99, QString());
    const BackupFileNode *storeFolder = findStoreFolder(*m_backup);
    const bool hasApp =
        childPath(m_backup->topLevelNode(QStringLiteral("Applications")), {QStringLiteral("com.kik.chat")})
        != nullptr;
    if (!storeFolder && !hasApp) {
        JobReport::error(m_progress, kNoKikData);
        return;
    }
    try {
        if (!QDir().mkpath(m_cacheFolder))
            throw AppError(QStringLiteral("can not create %1.").arg(m_cacheFolder));
        const QString documents = kikCacheFolder().filePath(QStringLiteral("Documents"));
        if (QFileInfo::exists(documents))
            removeTree(documents);
        if (!QDir().mkpath(documents))
            throw AppError(QStringLiteral("can not create %1.").arg(documents));
        if (storeFolder)
            copyStoreFolder(storeFolder, documents);
        m_foundData = QFileInfo(QDir(documents).filePath(QStringLiteral("kik.sqlite"))).size() > 0;
        JobReport::success(m_progress, QString());
    } catch (const JobCancelled &) {
        removeTree(m_cacheFolder);
        m_foundData = false;
    } catch (const std::exception &e) {
        removeTree(m_cacheFolder);
        m_foundData = false;
        JobReport::error(m_progress, QString::fromUtf8(e.what()));
    }
}

void IOSLoadKikFromiTunesThread::copyStoreFolder(const BackupFileNode *storeFolder, const QString &documents)
{
    // The store and its "-shm"/"-wal" companions replace older copies; media
    // already cached is kept.
    for (const BackupFileNode *child : storeFolder->children) {
        if (isMediaFolder(child->name))
            extractNode(child, documents, false);
        else if (child->name.startsWith(QLatin1String("kik.sqlite")))
            extractNode(child, documents, true);
    }
}

void IOSLoadKikFromiTunesThread::extractNode(const BackupFileNode *node, const QString &folder,
                                             bool overwrite)
{
    // The detail line names the node being copied; with thousands of small
    // files it is refreshed a few times a second rather than for each one,
    // which no one could read and which would cost the copy a good part of
    // its time. Cancellation is still checked at every node.
    if (!m_reportTimer.isValid() || m_reportTimer.elapsed() >= kReportIntervalMs) {
        m_reportTimer.start();
        JobReport::progress(m_progress, QString(), -1, ids("IDS_CACHING_BACKUP_FILE_%1").arg(node->name));
    }
    if (m_progress && m_progress->isCancelled())
        throw JobCancelled();
    // Names come from the backup: one that is not a plain file name is
    // skipped rather than allowed to point outside the cache folder.
    const QString leaf = safeLeafName(node->name);
    if (leaf.isEmpty() || leaf != sanitiseFileName(node->name))
        return;
    const QString destination = QDir(folder).filePath(leaf);
    if (node->isDir()) {
        if (!QDir().mkpath(destination))
            throw AppError(QStringLiteral("can not create %1.").arg(destination));
        for (const BackupFileNode *child : node->children)
            extractNode(child, destination, overwrite);
        return;
    }
    if (node->record.isLink())
        return;
    const QString source = m_backup->contentPath(node->record);
    if (source.isEmpty() || !QFileInfo::exists(source))
        return; // a record without its file: skipped silently
    const QFileInfo existing(destination);
    if (!overwrite && existing.exists() && existing.size() > 0)
        return;
    m_backup->extractFile(node->record, destination);
    if (m_progress && m_progress->isCancelled())
        throw JobCancelled();
}
