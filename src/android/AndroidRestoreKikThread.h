// The job that puts chats from another source onto an Android phone: merges
// them into a copy of the phone's cached Kik database, then brings the
// database and the thumbnails back to the phone, as superuser through a
// channel on rooted phones, else (or when that fails) by Android's restore.
//
// The phone's database is replaced only after every new file is complete on
// the phone; a failed or cancelled run leaves the cache's database as it was.
#pragma once

#include "android/AndroidKikMerge.h"
#include "model/KikRecords.h"

#include <QDir>
#include <QThread>

class AndroidChannel;
class AndroidPhone;
class JobProgress;

class AndroidRestoreKikThread : public QThread
{
    Q_OBJECT
public:
    // `phone` stays owned by the caller and must outlive the job.
    AndroidRestoreKikThread(AndroidPhone *phone, const KikMessageList &messages, JobProgress *progress,
                            QObject *parent = nullptr);

    const AndroidMergeResult &result() const { return m_result; }

    static constexpr int kRestoreWaitMs = 15000;

protected:
    void run() override;

private:
    void pushAsRoot();
    // The new files as one archive (one upload, one unpacking command).
    void pushArchive(AndroidChannel &channel, const QString &staging, QList<AndroidUploadItem> &replaced);
    // One upload and superuser copy per file, for phones without tar.
    void pushFileByFile(AndroidChannel &channel, const QString &staging, QList<AndroidUploadItem> &replaced);
    // `replaced` lists the database files waiting beside the old ones.
    void putNewFilesInPlace(AndroidChannel &channel, const QList<AndroidUploadItem> &replaced, bool handEach);
    void adbRestore();

    AndroidPhone *m_phone;
    KikMessageList m_messages;
    JobProgress *m_progress;
    AndroidMergeResult m_result;
    QDir m_tree;
};
