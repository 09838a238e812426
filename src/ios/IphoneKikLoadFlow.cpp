#include "ios/IphoneKikLoadFlow.h"

#include "device/IOSMobileBackupThread.h"
#include "ios/BackupManifest.h"
#include "ios/BackupSettingsCheck.h"
#include "ios/IOSLoadKikFromiTunesThread.h"
#include "ios/IOSLoadKikMessagesThread.h"
#include "jobs/JobProgress.h"

IphoneKikLoadResult loadKikFromIphone(const MobileDevicePtr &device, IphoneLoadUi &ui)
{
    IphoneKikLoadResult result;
    QString cacheFolder;
    try {
        cacheFolder = IOSLoadKikMessagesThread::deviceCacheFolder(device->udid());
    } catch (const std::exception &e) {
        ui.showError(QString::fromUtf8(e.what()));
        return result;
    }
    {
        std::unique_ptr<JobProgress> progress = ui.newProgress();
        IOSLoadKikMessagesThread job(device, progress.get());
        if (!ui.runJob(job, *progress))
            return result;
        result.kikFolder = job.kikFolder().absolutePath();
        if (!job.needsBackup()) {
            result.loaded = true;
            result.incompleteFiles = job.incompleteFiles();
            return result;
        }
    }

    const BackupSettingsWarning warning = checkBackupSettings(*device, true, false);
    if (!warning.isEmpty()) {
        ui.showWarning(warning);
        return result;
    }
    QString backupFolder;
    {
        std::unique_ptr<JobProgress> progress = ui.newProgress();
        IOSMobileBackupThread job(device, progress.get());
        if (!ui.runJob(job, *progress))
            return result;
        backupFolder = job.deviceBackupFolder();
    }
    BackupManifest backup(backupFolder);
    try {
        backup.readProperties();
        if (backup.isEncrypted() && !ui.unlockBackup(backup))
            return result;
        backup.buildIndex();
    } catch (const std::exception &e) {
        ui.showError(QString::fromUtf8(e.what()));
        return result;
    }
    std::unique_ptr<JobProgress> progress = ui.newProgress();
    IOSLoadKikFromiTunesThread job(&backup, progress.get(), cacheFolder);
    if (!ui.runJob(job, *progress))
        return result;
    if (!job.foundData()) {
        ui.showError(QStringLiteral("Found no Kik data in your iTunes Backup."));
        return result;
    }
    result.loaded = true;
    result.fromBackup = true;
    result.kikFolder = job.kikCacheFolder().absolutePath();
    return result;
}
