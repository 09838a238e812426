// Runs the device backup tool (idevicebackup2) for one iPhone as a child
// process, estimates its progress from the space in use on the phone, and
// turns its output into success or an error.
#pragma once

#include "device/MobileDevice.h"

#include <QDir>
#include <QObject>
#include <QString>

#include <functional>

class backup2tool : public QObject
{
    Q_OBJECT
public:
    backup2tool(MobileDevicePtr device, const QString &udid, const QDir &backupRoot);

    // Asked before the tool starts and while it runs (five times a
    // second): when it answers true, the tool is stopped and
    // runBackup throws JobCancelled.
    void setCancelCheck(std::function<bool()> cancelled) { m_cancelled = std::move(cancelled); }

    // Runs the backup into backupRoot/<udid>; returns normally on success,
    // throws JobCancelled when cancelled and AppError with the tool's output
    // (or why it did not start) otherwise.
    void runBackup();

    // The program started; "idevicebackup2" from PATH unless
    // VELLORAN_IDEVICEBACKUP2 names another.
    static QString toolProgram();

Q_SIGNALS:
    void update(double pg, const QString &status1, const QString &status2);

private:
    qint64 estimateSeconds();
    bool isCancelled() const { return m_cancelled && m_cancelled(); }

    MobileDevicePtr m_device;
    QString m_udid;
    QDir m_root;
    double m_progress = 0;
    std::function<bool()> m_cancelled;
};
