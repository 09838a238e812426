// The file and superuser operations the load and restore jobs need from a
// phone. Two implementations exist: the helper app's socket protocol and
// plain adb (shell, pull, push); AndroidPhone picks one in one place and
// the jobs never know which they drive.
#pragma once

#include <QString>

class JobProgress;

class AndroidChannel
{
public:
    virtual ~AndroidChannel() = default;

    // Fetches the file `remote` (or the file `name` inside the folder
    // `remote`) into `local`. An existing non-empty `local` is kept unless
    // `overwrite`. Returns true when a non-empty file arrived; an empty one
    // is deleted. A partly received file is deleted on failure and on
    // cancel (JobCancelled).
    virtual bool downloadFile(const QString &remote, const QString &name, const QString &local,
                              bool overwrite) = 0;
    // Sends `local` to the path `remote` (shared storage).
    virtual void uploadFile(const QString &local, const QString &remote) = 0;
    // Runs one shell command line as the superuser; returns its exit status.
    virtual int suCommand(const QString &command) = 0;
    // Ends the channel ("$bye:" for the helper). Safe to call twice.
    virtual void close() = 0;

    // Copies a file as superuser (dd) and makes the copy readable by all;
    // returns the status of the copy. The paths are quoted safely.
    int suCopy(const QString &source, const QString &destination);

protected:
    explicit AndroidChannel(JobProgress *progress) : m_progress(progress) {}
    bool cancelled() const;
    JobProgress *progress() const { return m_progress; }
    // Step 1 of every download: true when an existing file is kept.
    static bool keepExisting(const QString &local, bool overwrite);
    // "Loading %1..." for the file being fetched.
    void reportDownload(const QString &remote, const QString &name) const;

private:
    JobProgress *m_progress;
};

// "%L1KB / %L2KB" with the counts in whole kilobytes.
QString transferDetail(qint64 done, qint64 total);
