#include "cli/LocalDbBackup.h"

#include "app/AbortCleanup.h"
#include "app/FileUtil.h"
#include "app/Translation.h"
#include "cli/CliCommand.h"
#include "cli/CliProgress.h"
#include "model/BackupKikMessagesThread.h"
#include "model/LocalDatabases.h"

#include <QFileInfo>
#include <QJsonObject>
#include <QRegularExpression>

QString checkedLocalDbName(const QString &wanted)
{
    const LocalDatabases::NameCheck check = LocalDatabases::checkName(wanted);
    if (!check.ok())
        throw CliUsageError(ids(check.errorKey).toStdString());
    const qsizetype bytes = check.name.toUtf8().size();
    if (bytes > kMaxLocalDbNameBytes)
        throw CliUsageError(QStringLiteral("The database name is too long (%1 bytes); a local "
                                           "database name has at most %2 bytes.")
                                .arg(bytes)
                                .arg(kMaxLocalDbNameBytes)
                                .toStdString());
    return check.name;
}

QString existingLocalDbFolder(const QString &wanted, QString *name)
{
    const LocalDatabases::NameCheck check = LocalDatabases::checkName(wanted);
    if (!check.ok())
        throw CliUsageError(ids(check.errorKey).toStdString());
    const QString folder = LocalDatabases::folderOf(check.name);
    if (!LocalDatabases::exists(folder))
        throw std::runtime_error(
            QStringLiteral("There is no local database named \"%1\".").arg(check.name).toStdString());
    if (name)
        *name = check.name;
    return folder;
}

QString defaultLocalDbName(const QString &deviceName)
{
    static const QRegularExpression unwanted(
        QStringLiteral("[\\\\/:*\\?\"<>|\\x{0}-\\x{1f}\\x{7f}-\\x{9f}]"));
    QString base = deviceName;
    base.replace(unwanted, QStringLiteral(" "));
    base = base.simplified();
    if (base.isEmpty() || base == QLatin1String(".") || base == QLatin1String(".."))
        base = QStringLiteral("iPhone");
    const QString suffix = QStringLiteral("_Backup");
    return shortenFileName(base, kMaxLocalDbNameBytes - int(suffix.size())) + suffix;
}

int backUpIntoLocalDb(CliContext &ctx, CliProgress &progress, const KikMessageList &messages,
                      const QString &name)
{
    const QString folder = LocalDatabases::folderOf(name);
    // A new database that a stop cuts short goes as a whole (the job removes
    // it itself when it can end in time).
    const int cleanup = QFileInfo::exists(folder) ? 0 : AbortCleanup::add(folder);
    BackupKikMessagesThread job(messages, folder, &progress);
    const int code = progress.runJob(job);
    if (cleanup)
        AbortCleanup::forget(cleanup);
    if (code != CliExit::Ok)
        return code;
    ctx.printResult(QJsonObject{{QStringLiteral("db"), name}, {QStringLiteral("messages"), job.handled()}},
                    progress.successText());
    return CliExit::Ok;
}
