// SOURCE kinds android:DIR (an extracted Android backup) and ab:FILE (an
// Android backup archive, unpacked into the data root's "android_cache").
#include "android/AndroidOffline.h"
#include "app/AbortCleanup.h"
#include "app/DataRoot.h"
#include "app/TextUtil.h"
#include "cli/CliSource.h"

#include <QFileInfo>

namespace {

LoadedSource fromLoaded(const AndroidLoaded &loaded, const QString &cacheFolder)
{
    LoadedSource source;
    source.data = loaded.data;
    source.db = loaded.db;
    source.cacheFolder = cacheFolder;
    return source;
}

LoadedSource loadAndroidFolder(const QString &value, CliContext &, JobProgress *)
{
    const QString absolute = QDir(value).absolutePath();
    const QString privateCopy =
        DataRoot::androidCacheFolder().absoluteFilePath(QStringLiteral("folder-") + md5Hex(absolute));
    return fromLoaded(loadAndroidTree(QDir(absolute), privateCopy), QString());
}

LoadedSource loadAbFile(const QString &value, CliContext &, JobProgress *)
{
    const QString absolute = QFileInfo(value).absoluteFilePath();
    const QDir cache(
        DataRoot::androidCacheFolder().absoluteFilePath(QStringLiteral("ab-") + md5Hex(absolute)));
    // A run stopped during the unpack leaves no partial copy in the cache.
    const int cleanup = AbortCleanup::add(cache.absolutePath());
    const AndroidLoaded loaded = loadAndroidBackupFile(absolute, cache);
    AbortCleanup::forget(cleanup);
    return fromLoaded(loaded, cache.absolutePath());
}

const CliSourceRegistration androidRegistration(QStringLiteral("android"), loadAndroidFolder);
const CliSourceRegistration abRegistration(QStringLiteral("ab"), loadAbFile);

} // namespace
