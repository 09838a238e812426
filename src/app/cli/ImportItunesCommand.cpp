// velloran-kik import-itunes DIR [--db NAME]: every Kik chat of an iTunes
// backup into a local database (named after the device when no name is given).
#include "app/Translation.h"
#include "app/cli/CliProgress.h"
#include "app/cli/IosSources.h"
#include "ios/BackupManifest.h"
#include "model/BackupKikMessagesThread.h"
#include "model/LocalDatabases.h"

#include <QJsonObject>

namespace {

int runImportItunes(CliContext &ctx)
{
    CliProgress progress(ctx);
    const ItunesKikLoad load = loadItunesKik(ctx.args.value(0), ctx, &progress);
    progress.checkSignals();
    if (progress.interrupted())
        return CliExit::Cancelled;
    const QString wanted = ctx.has(QStringLiteral("db"))
                               ? ctx.value(QStringLiteral("db"))
                               : load.backup->deviceName() + QStringLiteral("_Backup");
    const LocalDatabases::NameCheck check = LocalDatabases::checkName(wanted);
    if (!check.ok())
        throw CliUsageError(ids(check.errorKey).toStdString());
    BackupKikMessagesThread job(load.source.data->allMessages(),
                                LocalDatabases::folderOf(check.name), &progress);
    const int code = progress.runJob(job);
    if (code != CliExit::Ok)
        return code;
    ctx.printResult(QJsonObject{{QStringLiteral("db"), check.name},
                                {QStringLiteral("messages"), job.handled()}},
                    progress.successText());
    return CliExit::Ok;
}

QList<CliOptionSpec> importOptions()
{
    QList<CliOptionSpec> options;
    for (const CliOptionSpec &o : cliSourceOptions()) {
        if (o.name.startsWith(QLatin1String("password")))
            options << o;
    }
    options.append({QStringLiteral("db"), QStringLiteral("NAME"),
                    QStringLiteral("the local database to import into (default: the device "
                                   "name followed by \"_Backup\")"),
                    false});
    return options;
}

const CliRegistration registration({
    {QStringLiteral("import-itunes")},
    QStringLiteral("DIR"),
    QStringLiteral("Import every Kik chat of an iTunes backup into a local database."),
    importOptions(),
    1,
    1,
    runImportItunes,
});

} // namespace
