#include "android/AndroidChannel.h"

#include "android/AndroidShell.h"
#include "app/Translation.h"
#include "jobs/JobProgress.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

int AndroidChannel::suCopy(const QString &source, const QString &destination)
{
    const int status = suCommand(AndroidShell::copyCommand(source, destination));
    suCommand(AndroidShell::chmodCommand(destination));
    return status;
}

bool AndroidChannel::cancelled() const
{
    return m_progress && m_progress->isCancelled();
}

bool AndroidChannel::keepExisting(const QString &local, bool overwrite)
{
    const QFileInfo info(local);
    if (info.exists()) {
        if (!overwrite && info.size() > 0)
            return true;
        QFile::remove(local);
    }
    QDir().mkpath(info.absolutePath());
    return false;
}

void AndroidChannel::reportDownload(const QString &remote, const QString &name) const
{
    QString shown = QFileInfo(remote).fileName();
    if (!name.isEmpty())
        shown += QLatin1Char('/') + name;
    JobReport::progress(m_progress, ids("IDS_DOWNLOADING_FILE_%1").arg(shown), -1, QString());
}

QString transferDetail(qint64 done, qint64 total)
{
    return QStringLiteral("%L1KB / %L2KB").arg(done / 1024).arg(total / 1024);
}
