// The offline transfer as a job: merges messages into the Kik database
// inside a phone's backup archive and writes a new archive for adb restore.
// Reports, cancels and cleans up like every other job.
#pragma once

#include "android/AndroidOffline.h"

#include <QThread>

class JobProgress;

class AndroidTransferToAbThread : public QThread
{
    Q_OBJECT
public:
    AndroidTransferToAbThread(const KikMessageList &messages, const QString &phoneArchive,
                              const QString &outArchive, JobProgress *progress, QObject *parent = nullptr);

    // What the merge did, after a successful run.
    const AndroidOfflineResult &result() const { return m_result; }

protected:
    void run() override;

private:
    KikMessageList m_messages;
    QString m_phoneArchive;
    QString m_outArchive;
    JobProgress *m_progress;
    AndroidOfflineResult m_result;
};
