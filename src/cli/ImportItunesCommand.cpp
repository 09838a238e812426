// velloran-kik import-itunes DIR [--db NAME]: every Kik chat of an iTunes
// backup into a local database (named after the device when no name is given).
#include "app/DataRoot.h"
#include "cli/CliOutput.h"
#include "cli/CliProgress.h"
#include "cli/IosSources.h"
#include "cli/LocalDbBackup.h"
#include "ios/BackupManifest.h"

namespace {

int runImportItunes(CliContext &ctx)
{
    QStringList inputs{ctx.args.value(0)};
    if (ctx.has(QStringLiteral("password-file")))
        inputs << ctx.value(QStringLiteral("password-file"));
    // The data root (caches, the new database) never lies inside the backup.
    checkCliOutput(DataRoot::path(), OutputPath::Kind::Folder, inputs);
    if (ctx.has(QStringLiteral("db")))
        checkedLocalDbName(ctx.value(QStringLiteral("db")));
    CliProgress progress(ctx);
    const ItunesKikLoad load = loadItunesKik(ctx.args.value(0), ctx, &progress);
    progress.checkSignals();
    if (progress.interrupted())
        return CliExit::Cancelled;
    const QString wanted = ctx.has(QStringLiteral("db")) ? ctx.value(QStringLiteral("db"))
                                                         : defaultLocalDbName(load.backup->deviceName());
    return backUpIntoLocalDb(ctx, progress, load.source.data->allMessages(), checkedLocalDbName(wanted));
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
