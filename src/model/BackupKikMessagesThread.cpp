#include "model/BackupKikMessagesThread.h"

#include "app/FileUtil.h"
#include "app/Translation.h"
#include "jobs/JobCancelled.h"
#include "jobs/JobProgress.h"
#include "model/KikLocalDb.h"
#include "model/MessageOrder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <exception>

namespace {
constexpr qsizetype kReportEvery = 97;
}

BackupKikMessagesThread::BackupKikMessagesThread(const KikMessageList &messages,
                                                 const QString &databaseFolder, JobProgress *progress,
                                                 QObject *parent)
    : QThread(parent), m_messages(messages), m_folder(databaseFolder), m_progress(progress)
{
    sortMessagesByTime(m_messages);
}

void BackupKikMessagesThread::throwIfCancelled() const
{
    if (m_progress && m_progress->isCancelled())
        throw JobCancelled();
}

void BackupKikMessagesThread::backUp()
{
    throwIfCancelled();
    KikLocalDb db(m_folder);
    try {
        db.ensureOpen();
        // Rolls back when it goes out of scope uncommitted.
        Sqlite3Transaction tran(db);
        const qsizetype n = m_messages.size();
        int shownPercent = -1;
        for (qsizetype i = 0; i < n; ++i) {
            throwIfCancelled();
            // Every change of the percent is shown, and the count at least
            // every kReportEvery messages: a queued call per message would
            // cost a large backup a quarter of its time for nothing a person
            // can see.
            const int percent = int((i + 1) * 100 / n);
            if (percent != shownPercent || (i + 1) % kReportEvery == 0 || i + 1 == n) {
                shownPercent = percent;
                JobReport::progress(m_progress, QString(), percent,
                                    QStringLiteral("Messages: %1/%2").arg(i + 1).arg(n));
            }
            db.mergeMessage(m_messages[i]);
        }
        // A cancel while the last message was merged still leaves all as
        // before.
        throwIfCancelled();
        tran.commit();
    } catch (...) {
        // Nothing was committed: the media copied in for it are of no use.
        m_uncommittedMedia = db.copiedMedia();
        throw;
    }
    db.updateLastTimes();
}

void BackupKikMessagesThread::run()
{
    m_cancelled = false;
    m_uncommittedMedia.clear();
    JobReport::progress(m_progress, ids("IDS_BACKING_UP_KIK_MESSAGES"), 0, QString());
    if (m_folder.trimmed().isEmpty()) {
        // An empty path would mean the current folder.
        JobReport::error(m_progress, QStringLiteral("No local database folder was given."));
        return;
    }
    // What this run creates is removed again when the run does not complete,
    // so that a failed or cancelled backup leaves nothing behind: the whole
    // folder when it is new, else the media files it copied in, and a
    // database file and media folders it added to a folder that held none
    // (which would otherwise be listed as an empty database).
    const bool folderExisted = QFileInfo::exists(m_folder);
    const QDir folder(m_folder);
    const QString dbFile = folder.filePath(QString::fromLatin1(KikLocalDb::kDbFileName));
    const bool dbExisted = QFileInfo::exists(dbFile);
    QStringList newMediaFolders;
    for (const char *name : {"thumbs", "prof", "files"}) {
        const QString path = folder.filePath(QString::fromLatin1(name));
        if (!QFileInfo::exists(path))
            newMediaFolders.append(path);
    }
    bool done = false;
    try {
        backUp();
        done = true;
        m_handled = int(m_messages.size());
        JobReport::success(m_progress, ids("IDS_SUC_BACKUP_%1_MESSAGES").arg(m_messages.size()));
    } catch (const JobCancelled &) {
        // The user stopped it: cleaned up below like a failure, not reported.
        m_cancelled = true;
    } catch (const std::exception &error) {
        JobReport::error(m_progress, QString::fromUtf8(error.what()));
    }
    if (done)
        return;
    for (const QString &file : std::as_const(m_uncommittedMedia))
        QFile::remove(file);
    if (dbExisted)
        return;
    if (!folderExisted) {
        removeTree(m_folder);
        return;
    }
    QFile::remove(dbFile);
    QFile::remove(dbFile + QStringLiteral("-journal"));
    for (const QString &path : newMediaFolders)
        removeTree(path);
}
