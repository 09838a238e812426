// Runs the device backup tool (idevicebackup2) for one iPhone as a child
// process, estimates its progress from the space in use on the phone, and
// turns its output into success or an error.
#pragma once

#include "device/MobileDevice.h"

#include <QDir>
#include <QObject>
#include <QString>

#include <atomic>

class backup2tool : public QObject
{
    Q_OBJECT
public:
    backup2tool(MobileDevicePtr device, const QString &udid, const QDir &backupRoot);

    // Runs the backup into backupRoot/<udid>; returns normally on success or
    // when cancelled, throws the tool's output (or why it did not start)
    // otherwise.
    void runBackup();

    // The program started; "idevicebackup2" from PATH unless
    // VELLORAN_IDEVICEBACKUP2 names another.
    static QString toolProgram();

public Q_SLOTS:
    void cancel();

Q_SIGNALS:
    void update(double pg, const QString &status1, const QString &status2);

private:
    qint64 estimateSeconds();

    MobileDevicePtr m_device;
    QString m_udid;
    QDir m_root;
    double m_progress = 0;
    std::atomic<bool> m_cancel{false};
};
