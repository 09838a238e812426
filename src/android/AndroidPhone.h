// A connected Android phone as the load and restore jobs use it: channels
// to its files, force-stopping apps, and Android's own backup and restore.
// makeAndroidPhone is the one place that decides how a phone is reached
// (helper app or plain adb); jobs receive the phone and never create one,
// so tests can hand them any implementation.
#pragma once

#include "android/AndroidChannel.h"
#include "android/AndroidDevice.h"

#include <atomic>
#include <memory>

class JobProgress;

// A phone-side operation that runs on while the job shows a tip.
class AndroidPendingRun
{
public:
    virtual ~AndroidPendingRun() = default;
    // Waits up to `timeoutMs` for the end; true when it ended. Throws
    // JobCancelled when the flag is set meanwhile.
    virtual bool waitForEnd(int timeoutMs, const std::atomic<bool> *cancelled) = 0;
    // After the end: empty when it succeeded, else what went wrong.
    virtual QString failure() const = 0;
};

class AndroidPhone
{
public:
    enum class ChannelPurpose { Download, Upload };

    virtual ~AndroidPhone() = default;
    virtual const AndroidDevice &device() const = 0;
    virtual std::unique_ptr<AndroidChannel> openChannel(ChannelPurpose purpose, JobProgress *progress) = 0;
    virtual void forceStop(const QString &package) = 0;
    // `adb backup` of Kik's data into `archivePath`, and `adb restore`.
    // Throw "Adb backup failed. ..." when adb cannot be started.
    virtual std::unique_ptr<AndroidPendingRun> startBackup(const QString &archivePath) = 0;
    virtual std::unique_ptr<AndroidPendingRun> startRestore(const QString &archivePath) = 0;
};

std::unique_ptr<AndroidPhone> makeAndroidPhone(const AndroidDevice &device);

// The text for an adb that did not start for a backup or restore.
QString adbBackupStartFailedMessage();
