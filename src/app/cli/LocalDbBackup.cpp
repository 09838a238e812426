#include "app/cli/LocalDbBackup.h"

#include "app/Translation.h"
#include "app/cli/CliCommand.h"
#include "app/cli/CliProgress.h"
#include "model/BackupKikMessagesThread.h"
#include "model/LocalDatabases.h"

#include <QJsonObject>

QString checkedLocalDbName(const QString &wanted)
{
    const LocalDatabases::NameCheck check = LocalDatabases::checkName(wanted);
    if (!check.ok())
        throw CliUsageError(ids(check.errorKey).toStdString());
    return check.name;
}

int backUpIntoLocalDb(CliContext &ctx, CliProgress &progress, const KikMessageList &messages,
                      const QString &name)
{
    BackupKikMessagesThread job(messages, LocalDatabases::folderOf(name), &progress);
    const int code = progress.runJob(job);
    if (code != CliExit::Ok)
        return code;
    ctx.printResult(QJsonObject{{QStringLiteral("db"), name},
                                {QStringLiteral("messages"), job.handled()}},
                    progress.successText());
    return CliExit::Ok;
}
