#include "android/AdbShellChannel.h"

#include "android/AdbRunner.h"
#include "android/AndroidShell.h"
#include "app/AppError.h"
#include "app/LogCategories.h"
#include "app/Translation.h"
#include "jobs/JobCancelled.h"
#include "jobs/JobProgress.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>

AdbShellChannel::AdbShellChannel(const QString &serial, JobProgress *progress)
    : AndroidChannel(progress), m_serial(serial)
{}

bool AdbShellChannel::downloadFile(const QString &remote, const QString &name, const QString &local,
                                   bool overwrite)
{
    if (keepExisting(local, overwrite))
        return true;
    reportDownload(remote, name);
    QString path = remote;
    if (!name.isEmpty())
        path = (remote.endsWith(QLatin1Char('/')) ? remote : remote + QLatin1Char('/')) + name;
    const std::atomic<bool> *flag = progress() ? &progress()->cancelled : nullptr;
    try {
        adbPull(m_serial, path, local, flag);
    } catch (...) {
        QFile::remove(local);
        throw;
    }
    if (QFileInfo(local).size() > 0)
        return true;
    QFile::remove(local);
    qCDebug(lcAndroid, "file is empty, %s, rx=%s", qUtf8Printable(name), qUtf8Printable(remote));
    return false;
}

void AdbShellChannel::uploadFile(const QString &local, const QString &remote)
{
    if (cancelled())
        throw JobCancelled();
    if (!QFileInfo(local).isFile())
        throw AppError(QStringLiteral("open %1 failed. %2").arg(local, QStringLiteral("No such file")));
    JobReport::progress(progress(), ids("IDS_UPLOADING_FILE_%1").arg(QFileInfo(local).fileName()), -1,
                        QString());
    adbPush(m_serial, local, remote, progress() ? &progress()->cancelled : nullptr);
}

int AdbShellChannel::suCommand(const QString &command)
{
    const AdbRun run = adbShell(m_serial, AndroidShell::suWrapped(command),
                                {kAdbCommandTimeoutMs, progress() ? &progress()->cancelled : nullptr});
    if (!run.finished)
        throw AppError(QStringLiteral("The phone did not run the command. %1").arg(run.err.trimmed()));
    qCDebug(lcAndroid, "su command, %s return %d.", qUtf8Printable(command), run.exitCode);
    return run.exitCode;
}
