// velloran-kik clear-cache: removes the phones' cache files and the device
// backup work folder, as the window's Clear Cache command does.
#include "app/CacheFiles.h"
#include "app/Translation.h"
#include "cli/CliCommand.h"

#include <QJsonObject>

namespace {

int runClearCache(CliContext &ctx)
{
    clearCacheFiles();
    ctx.printResult(QJsonObject(), ids("IDS_SUC_CLEAR_CACHE"));
    return CliExit::Ok;
}

const CliRegistration registration({
    {QStringLiteral("clear-cache")},
    QString(),
    QStringLiteral("Remove the cache files read from phones and the device backup work folder."),
    {},
    0,
    0,
    runClearCache,
});

} // namespace
