// Loading Kik from a connected iPhone, as the window and the command-line
// tool both do it: copy from Kik's app container; when the phone does not
// open it, check the backup settings, make a device backup and extract Kik
// from it into the same cache folder. What needs a window (progress
// displays, the password question, warnings) goes through IphoneLoadUi.
#pragma once

#include "device/MobileDevice.h"

#include <QString>

#include <memory>

class BackupManifest;
class JobProgress;
class QThread;
struct BackupSettingsWarning;

class IphoneLoadUi
{
public:
    virtual ~IphoneLoadUi() = default;

    // A progress object for the next job.
    virtual std::unique_ptr<JobProgress> newProgress() = 0;
    // Runs the job to its end under that progress; true when it ended
    // with success (false after an error the progress showed, or a cancel).
    virtual bool runJob(QThread &job, JobProgress &progress) = 0;
    // Unlocks an encrypted backup (asks for its password); false to stop.
    virtual bool unlockBackup(BackupManifest &backup) = 0;
    virtual void showWarning(const BackupSettingsWarning &warning) = 0;
    virtual void showError(const QString &text) = 0;
};

struct IphoneKikLoadResult
{
    bool loaded = false;     // the Kik folder is ready to be read
    QString kikFolder;       // cache folder + "com.kik.chat"
    bool fromBackup = false; // copied out of a device backup
    QStringList incompleteFiles;
};

IphoneKikLoadResult loadKikFromIphone(const MobileDevicePtr &device, IphoneLoadUi &ui);
