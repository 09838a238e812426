// The SOURCE kind adb:SERIAL: a connected Android phone, connected and
// loaded as the window does (the phone's Kik data fetched afresh into its
// cache folder), then read from the cache.
#include "android/AndroidOffline.h"
#include "android/AndroidPhone.h"
#include "cli/AndroidPhoneCli.h"
#include "cli/CliSource.h"

namespace {

LoadedSource loadAdbPhone(const QString &value, CliContext &, JobProgress *progress)
{
    LoadedSource source;
    source.data = std::make_shared<KikDataSet>();
    const QString serial = AndroidPhoneCli::resolveSerial(value);
    AndroidDevice device;
    if (!AndroidPhoneCli::connect(serial, progress, device))
        return source; // cancelled: the command sees its progress interrupted
    const std::unique_ptr<AndroidPhone> phone = makeAndroidPhone(device);
    const QDir cache = device.cacheFolder();
    if (!AndroidPhoneCli::load(*phone, QDir(cache.filePath(QStringLiteral("abfiles"))), true, progress))
        return source;
    const AndroidLoaded loaded = loadAndroidTree(QDir(cache.filePath(QStringLiteral("ab-extract"))));
    source.data = loaded.data;
    source.db = loaded.db;
    source.cacheFolder = cache.absolutePath();
    return source;
}

const CliSourceRegistration registration(QStringLiteral("adb"), loadAdbPhone);

} // namespace
