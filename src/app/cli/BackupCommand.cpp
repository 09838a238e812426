// velloran-kik backup SOURCE --db NAME.
#include "app/Translation.h"
#include "app/cli/CliProgress.h"
#include "app/cli/CliSource.h"
#include "model/BackupKikMessagesThread.h"
#include "model/LocalDatabases.h"

#include <QJsonObject>

namespace {

int runBackup(CliContext &ctx)
{
    if (!ctx.has(QStringLiteral("db")))
        throw CliUsageError("--db NAME is required");
    const LocalDatabases::NameCheck check =
        LocalDatabases::checkName(ctx.value(QStringLiteral("db")));
    if (!check.ok())
        throw CliUsageError(ids(check.errorKey).toStdString());
    CliProgress progress(ctx);
    const LoadedSource source = loadSource(ctx, ctx.args.value(0), &progress);
    progress.checkSignals();
    if (progress.interrupted())
        return CliExit::Cancelled;
    const KikMessageList messages = selectedMessages(source, ctx);
    BackupKikMessagesThread job(messages, LocalDatabases::folderOf(check.name), &progress);
    const int code = progress.runJob(job);
    if (code != CliExit::Ok)
        return code;
    ctx.printResult(QJsonObject{{QStringLiteral("db"), check.name},
                                {QStringLiteral("messages"), job.handled()}},
                    progress.successText());
    return CliExit::Ok;
}

QList<CliOptionSpec> backupOptions()
{
    QList<CliOptionSpec> options = cliSourceOptions();
    options.append({QStringLiteral("db"), QStringLiteral("NAME"),
                    QStringLiteral("the local database to back up into (created when new)"),
                    false});
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
