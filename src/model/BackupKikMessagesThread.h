// The job that merges a list of messages, with their chats, users, members,
// profile pictures and media, into one local database.
#pragma once

#include "model/KikRecords.h"

#include <QStringList>
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
    // True when the last run ended because the user cancelled it; it is not
    // reported as an error, and the database is left as it was.
    bool wasCancelled() const { return m_cancelled; }

protected:
    void run() override;

private:
    // Throws JobCancelled once the user cancelled.
    void throwIfCancelled() const;
    // Merges all messages in one transaction; throws JobCancelled when
    // cancelled, AppError on failure (the transaction then rolls back).
    void backUp();

    KikMessageList m_messages;
    QString m_folder;
    JobProgress *m_progress;
    int m_handled = 0;
    bool m_cancelled = false;
    QStringList m_uncommittedMedia; // copied in by a run that did not commit
};
