// The job that brings Kik's data from an Android phone into the phone's
// cache folder ("ab-extract" below it): as superuser through a channel on
// rooted phones, else (or when that fails) through Android's own backup.
// The cache is replaced only by a complete fetch; a failed or cancelled
// load leaves it as it was.
#pragma once

#include "android/AndroidChannel.h"

#include <QDir>
#include <QThread>

#include <memory>

class AndroidPhone;
class JobProgress;

class AndroidLoadKikThread : public QThread
{
    Q_OBJECT
public:
    // `phone` stays owned by the caller and must outlive the job.
    AndroidLoadKikThread(AndroidPhone *phone, const QDir &archiveFolder, bool fetch, JobProgress *progress,
                         QObject *parent = nullptr);
    ~AndroidLoadKikThread() override;

    // The extracted tree: cache folder + "ab-extract".
    QDir treeFolder() const;

    // Seconds the job waits for adb backup, and then for a usable archive.
    static constexpr int kBackupWaitMs = 90000;

    static QString rootNeededMessage();

protected:
    void run() override;

private:
    bool rootFetch(QString &errorText);
    void backupFetch();
    void fetchThumbnails();
    void removeStagingCopies();
    AndroidChannel &channel();
    QString backupArchivePath() const;
    void installTree(const QString &freshTree);

    AndroidPhone *m_phone;
    QDir m_archiveFolder;
    bool m_fetch;
    JobProgress *m_progress;
    std::unique_ptr<AndroidChannel> m_channel;
    QString m_archivePath;
    QString m_cache;
};
