#include "android/AndroidOffline.h"

#include "android/AndroidBackup.h"
#include "android/AndroidKikPaths.h"
#include "app/AppError.h"
#include "app/FileUtil.h"
#include "db/SqliteInput.h"
#include "jobs/JobCancelled.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <filesystem>
#include <stdexcept>

namespace {

void requireDatabase(const QString &path, const QString &where)
{
    if (!QFileInfo(path).isFile())
        throw AppError(QStringLiteral("No Kik database in %1 (expected %2).")
                           .arg(where, QString::fromLatin1(AndroidKikPaths::kDefaultDatabase)));
}

} // namespace

AndroidLoaded loadAndroidTree(const QDir &root, const QString &privateFolder)
{
    AndroidLoaded loaded;
    loaded.databasePath = AndroidKikPaths::databasePath(root);
    requireDatabase(loaded.databasePath, root.absolutePath());
    loaded.db = std::make_shared<AndroidKikDb>(root, loaded.databasePath);
    // Reading only: a read-only connection adds no indexes and never folds
    // a -wal file into the database. In a tree of the user's, even the
    // "-shm" and "-wal" SQLite makes for a database in WAL mode stay away.
    if (privateFolder.isEmpty())
        loaded.db->openThrow(loaded.databasePath, Sqlite3DB::ReadOnly);
    else
        SqliteInput::open(*loaded.db, loaded.databasePath, privateFolder);
    loaded.data = std::make_shared<KikDataSet>();
    loaded.db->loadAll(*loaded.data);
    return loaded;
}

AndroidLoaded loadAndroidBackupFile(const QString &archivePath, const QDir &cacheFolder)
{
    const QString tree = cacheFolder.absoluteFilePath(QStringLiteral("ab-extract"));
    QDir(tree).removeRecursively();
    // Only Kik's own files are unpacked: other apps' entries (however many,
    // however deep) are neither written nor able to stop the reading.
    const QString package = QString::fromLatin1(AndroidKikPaths::kPackageFolder);
    extractAndroidBackup(archivePath, QDir(tree), QString::fromLatin1(kAbCorruptedMessage),
                         [&package](const QString &relative) {
                             return relative == package || relative.startsWith(package + QLatin1Char('/'));
                         });
    return loadAndroidTree(QDir(tree));
}

AndroidOfflineResult transferToAndroidBackup(const KikMessageList &messages, const QString &phoneArchive,
                                             const QString &outArchive, const AndroidMergeHooks &hooks)
{
    const QFileInfo in(phoneArchive), out(outArchive);
    if (!in.isFile())
        throw AppError(QStringLiteral("open %1 error. %2").arg(phoneArchive, QStringLiteral("No such file")));
    if (in.absoluteFilePath() == out.absoluteFilePath())
        throw AppError(
            QStringLiteral("The new archive must not replace the phone's archive %1.").arg(phoneArchive));
    QDir().mkpath(out.absolutePath());
    // Work beside the output: the unpacked tree can be as big as the phone's
    // media, which the system's temporary folder may not hold.
    QTemporaryDir work(out.absolutePath() + QStringLiteral("/.velloran-transfer-XXXXXX"));
    if (!work.isValid())
        throw AppError(QStringLiteral("Cannot create a work folder beside %1.").arg(outArchive));
    const QDir tree(work.filePath(QStringLiteral("ab-extract")));
    extractAndroidBackup(phoneArchive, tree, QString::fromLatin1(kAbCorruptedMessage));
    if (hooks.cancelled && hooks.cancelled())
        throw JobCancelled();
    requireDatabase(AndroidKikPaths::databasePath(tree), phoneArchive);

    AndroidOfflineResult result;
    result.merge = mergeIntoAndroidTree(tree, messages, hooks);
    const QString partial = work.filePath(QStringLiteral("new.ab"));
    result.entries = createAndroidBackup(tree, partial);
    // A cancel that arrives while packing still keeps the new archive away.
    if (hooks.cancelled && hooks.cancelled())
        throw JobCancelled();
    std::error_code error;
    std::filesystem::rename(std::filesystem::path(partial.toStdWString()),
                            std::filesystem::path(out.absoluteFilePath().toStdWString()), error);
    if (error)
        throw AppError(QStringLiteral("cant rename %1 to %2.").arg(partial, outArchive));
    return result;
}
