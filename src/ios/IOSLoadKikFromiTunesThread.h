// The job that copies Kik's files out of an indexed (and, when encrypted,
// unlocked) iTunes backup into a cache folder laid out like Kik's app folder
// ("com.kik.chat/Documents/kik.sqlite" with its media folders), decrypting
// them when the backup is encrypted.
#pragma once

#include <QDir>
#include <QElapsedTimer>
#include <QThread>

class BackupManifest;
struct BackupFileNode;
class JobProgress;

class IOSLoadKikFromiTunesThread : public QThread
{
    Q_OBJECT
public:
    // An empty `cacheFolder` means the system temporary folder +
    // "velloran-itunes_cache/" + the backup's key.
    IOSLoadKikFromiTunesThread(BackupManifest *backup, JobProgress *progress,
                               const QString &cacheFolder = QString(), QObject *parent = nullptr);

    QString cacheFolder() const { return m_cacheFolder; }
    // The copied app folder: cache folder + "com.kik.chat".
    QDir kikCacheFolder() const;
    // True after a run that produced a non-empty kik.sqlite.
    bool foundData() const { return m_foundData; }

    // Where the store lives in the backup: the "Documents" node of the app
    // container when it holds a store, else the newest core folder of the
    // app-group container; null when the backup has neither.
    static const BackupFileNode *findStoreFolder(const BackupManifest &backup);

protected:
    void run() override;

private:
    void copyStoreFolder(const BackupFileNode *storeFolder, const QString &documents);
    void extractNode(const BackupFileNode *node, const QString &folder, bool overwrite);

    BackupManifest *m_backup;
    JobProgress *m_progress;
    QString m_cacheFolder;
    bool m_foundData = false;
    QElapsedTimer m_reportTimer;
};
