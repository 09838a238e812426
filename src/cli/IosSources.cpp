// The "ios:DIR" source (a folder laid out like Kik's iOS app folder, read in
// place) and the "itunes:DIR" source (an iTunes backup, whose Kik files are
// first copied into the cache).
#include "cli/IosSources.h"

#include "app/DataRoot.h"
#include "app/TextUtil.h"
#include "app/Translation.h"
#include "cli/CliProgress.h"
#include "cli/CliSignals.h"
#include "cli/ForwardingProgress.h"
#include "ios/BackupManifest.h"
#include "ios/IOSKikDb.h"
#include "ios/IOSLoadKikFromiTunesThread.h"
#include "jobs/HeadlessProgress.h"
#include "jobs/JobRunner.h"

#include <QDir>
#include <QFileInfo>

namespace {

// Reads a Kik folder. A folder of the user's (`input`) is never written:
// its thumbnails and any copy SQLite needs to read the store go into the
// cache; a folder in the cache is read in place. `shownName` names the
// folder in messages (a copy in the cache is named after the backup it came
// from).
LoadedSource readFolder(const QString &value, const QString &shownName, bool input, JobProgress *progress)
{
    const QString folder = QDir(value).absolutePath();
    const QFileInfo store(QDir(folder).filePath(QStringLiteral("Documents/kik.sqlite")));
    // Checked first: opening a missing store would create an empty one.
    if (!store.isFile())
        throw std::runtime_error(QStringLiteral("There is no Kik store (Documents/kik.sqlite) in %1.")
                                     .arg(shownName)
                                     .toStdString());
    LoadedSource source;
    auto db = input ? std::make_shared<IOSKikDb>(
                  folder, IOSKikDb::Access::Input,
                  DataRoot::iosCacheFolder().absoluteFilePath(QStringLiteral("folder-") + md5Hex(folder)))
                    : std::make_shared<IOSKikDb>(folder);
    source.data = std::make_shared<KikDataSet>();
    db->setCancelCheck([progress] {
        if (auto *cli = dynamic_cast<CliProgress *>(progress))
            cli->checkSignals(); // a signal that came while the load runs
        return progress && progress->isCancelled();
    });
    try {
        db->loadAll(*source.data);
    } catch (const IOSKikDb::Cancelled &) {
        // The command sees its progress interrupted and ends as cancelled.
        source.data = std::make_shared<KikDataSet>();
        return source;
    }
    source.db = db;
    source.cacheFolder = folder;
    return source;
}

LoadedSource loadIosFolder(const QString &value, CliContext &, JobProgress *progress)
{
    return readFolder(value, QDir::toNativeSeparators(QDir(value).absolutePath()), true, progress);
}

LoadedSource loadItunes(const QString &value, CliContext &ctx, JobProgress *progress)
{
    return loadItunesKik(value, ctx, progress).source;
}

const CliSourceRegistration iosRegistration(QStringLiteral("ios"), loadIosFolder);
const CliSourceRegistration itunesRegistration(QStringLiteral("itunes"), loadItunes);

} // namespace

ItunesKikLoad loadItunesKik(const QString &dir, CliContext &ctx, JobProgress *progress)
{
    if (!QFileInfo(dir).isDir())
        throw std::runtime_error(QStringLiteral("Cannot find %1").arg(dir).toStdString());
    ItunesKikLoad load;
    load.backup = std::make_unique<BackupManifest>(dir);
    BackupManifest &backup = *load.backup;
    backup.readProperties();
    if (backup.isEncrypted()) {
        const QString password = sourcePassword(ctx);
        if (password.isEmpty())
            throw std::runtime_error(idsPlain("IDS_PWD_IS_NULL").toStdString());
        if (!backup.unlock(password))
            throw std::runtime_error(idsPlain("IDS_INVALID_PASSWORD").toStdString());
    }
    backup.buildIndex();

    const QString cache = DataRoot::iosCacheFolder().filePath(backup.backupKey());
    ForwardingProgress jobProgress(progress);
    IOSLoadKikFromiTunesThread job(&backup, &jobProgress, cache);
    JobRunner::runToEnd(job);
    if (jobProgress.result() != HeadlessProgress::Succeeded) {
        // A job that ends without an error text was cancelled.
        if (!jobProgress.errorText().isEmpty())
            throw std::runtime_error(jobProgress.errorText().toStdString());
        // Cancelled by the user: the command sees its progress interrupted
        // and ends with the cancel exit code; nothing is read.
        if (progress && progress->isCancelled()) {
            load.source.data = std::make_shared<KikDataSet>();
            return load;
        }
        throw std::runtime_error("Cancelled.");
    }
    if (!job.foundData())
        throw std::runtime_error("Found no Kik data in your iTunes Backup.");
    load.source =
        readFolder(job.kikCacheFolder().absolutePath(),
                   QStringLiteral("the backup %1").arg(QDir::toNativeSeparators(dir)), false, progress);
    return load;
}
