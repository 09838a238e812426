// The job that merges a list of messages, with their chats, users, members,
// profile pictures and media, into one local database.
#pragma once

#include "model/KikRecords.h"

#include <QThread>

class JobProgress;

class BackupKikMessagesThread : public QThread
{
    Q_OBJECT
public:
    // The messages and everything they point to belong to a data set that
    // outlives the job. They are sorted by time (source order for messages
    // close in sequence and time), without grouping by chat.
    BackupKikMessagesThread(const KikMessageList &messages, const QString &databaseFolder,
                            JobProgress *progress, QObject *parent = nullptr);

    // Number of messages the last successful run handled.
    int handled() const { return m_handled; }

protected:
    void run() override;

private:
    // Returns false when cancelled.
    bool backUp();

    KikMessageList m_messages;
    QString m_folder;
    JobProgress *m_progress;
    int m_handled = 0;
};
