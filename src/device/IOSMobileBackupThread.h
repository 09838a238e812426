// The job that makes a full backup of a connected iPhone into the backup
// work folder (backupRoot()/<udid>), reusing a finished backup of the same
// iOS version there, so that Kik can be read from it like an iTunes backup.
// A cancel stops the backup tool; the folder is then removed (a backup the
// tool was stopped in is no use) and nothing is reported. A cancel before
// the tool starts leaves the folder as it was.
#pragma once

#include "device/MobileDevice.h"

#include <QDir>
#include <QThread>

class JobProgress;
class backup2tool;

class IOSMobileBackupThread : public QThread
{
    Q_OBJECT
public:
    // An empty product version is read from the phone when the job runs.
    IOSMobileBackupThread(MobileDevicePtr device, JobProgress *progress,
                          const QString &productVersion = QString(), QObject *parent = nullptr);
    ~IOSMobileBackupThread() override;

    QDir backupRoot() const { return m_backupRoot; }
    QString deviceBackupFolder() const;
    // True when the run ended because the user cancelled it: nothing was
    // reported, and the backup folder was removed.
    bool wasCancelled() const { return m_cancelled; }

    // True when the folder holds a finished backup of this iOS version
    // (either manifest form) that the tool may bring up to date.
    static bool isReusable(const QString &deviceFolder, const QString &productVersion);

public Q_SLOTS:
    void backupUpdate(double pg, const QString &status1, const QString &status2);

protected:
    void run() override;

private:
    MobileDevicePtr m_device;
    JobProgress *m_progress;
    QString m_productVersion;
    QDir m_backupRoot;
    backup2tool *m_tool;
    bool m_cancelled = false;
};
