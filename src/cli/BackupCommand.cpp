// velloran-kik backup SOURCE --db NAME.
#include "cli/CliOutput.h"
#include "cli/CliProgress.h"
#include "cli/CliSource.h"
#include "cli/LocalDbBackup.h"
#include "model/LocalDatabases.h"

namespace {

int runBackup(CliContext &ctx)
{
    if (!ctx.has(QStringLiteral("db")))
        throw CliUsageError("--db NAME is required");
    const QString name = checkedLocalDbName(ctx.value(QStringLiteral("db")));
    checkCliOutput(LocalDatabases::folderOf(name), OutputPath::Kind::Folder,
                   sourceInputPaths(ctx, ctx.args.value(0)));
    CliProgress progress(ctx);
    const LoadedSource source = loadSource(ctx, ctx.args.value(0), &progress);
    progress.checkSignals();
    if (progress.interrupted())
        return CliExit::Cancelled;
    return backUpIntoLocalDb(ctx, progress, selectedMessages(source, ctx), name);
}

QList<CliOptionSpec> backupOptions()
{
    QList<CliOptionSpec> options = cliSourceOptions();
    options.append({QStringLiteral("db"), QStringLiteral("NAME"),
                    QStringLiteral("the local database to back up into (created when new)"), false});
    return options;
}

const CliRegistration registration({
    {QStringLiteral("backup")},
    QStringLiteral("SOURCE"),
    QStringLiteral("Back the messages of a source up into a local database."),
    backupOptions(),
    1,
    1,
    runBackup,
});

} // namespace
