// The job that copies Kik's store and media folders straight out of Kik's
// app container on a connected iPhone (house_arrest + AFC) into the
// device's cache folder. When the phone does not open the container, the
// job ends with needsBackup() set and the caller falls back to a device
// backup.
#pragma once

#include "device/MobileDevice.h"

#include <QDir>
#include <QStringList>
#include <QThread>

class JobProgress;

class IOSLoadKikMessagesThread : public QThread
{
    Q_OBJECT
public:
    static constexpr const char *kKikAppId = "com.kik.chat";

    IOSLoadKikMessagesThread(MobileDevicePtr device, JobProgress *progress, QObject *parent = nullptr);

    // Data root + "ios_cache/" + the device's unique id (created). Throws
    // when the id is not usable as a folder name.
    static QString deviceCacheFolder(const QString &udid);
    // The copied app folder: device cache folder + "com.kik.chat".
    QDir kikFolder() const;
    bool needsBackup() const { return m_needsBackup; }
    // Media files that ended early; they are copied again next time.
    QStringList incompleteFiles() const { return m_incomplete; }

    // Waits this long for each AFC reply (tests shorten it).
    void setReplyTimeoutMs(int timeoutMs) { m_timeoutMs = timeoutMs; }

protected:
    void run() override;

private:
    void copyFromContainer();

    MobileDevicePtr m_device;
    JobProgress *m_progress;
    bool m_needsBackup = false;
    QStringList m_incomplete;
    int m_timeoutMs;
};
