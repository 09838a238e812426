// Notices Android phones being plugged in and out: makes sure an adb server
// runs, then polls adb's device list every 3 seconds on a task of Qt's
// global thread pool and reports serials that appear and disappear.
#pragma once

#include "android/AdbDevice.h"

#include <QFuture>
#include <QSet>
#include <QThread>

#include <atomic>
#include <functional>

class AndroidMonitor : public QThread
{
    Q_OBJECT
public:
    // Where the device list comes from; adbDevices unless a test says
    // otherwise. It may throw std::exception: that pass then reports nothing.
    using DeviceSource = std::function<QList<AdbDevice>()>;

    explicit AndroidMonitor(QObject *parent = nullptr);
    AndroidMonitor(DeviceSource source, int intervalMs, QObject *parent = nullptr);
    // Stops the poll task, waits for it, then stops the adb server (only
    // when the monitor uses adb itself).
    ~AndroidMonitor() override;

    void startMonitor();

    // One pass over a device list: emits the arrivals in list order, then
    // the departures. Exposed for tests.
    void applyDeviceList(const QList<AdbDevice> &devices);

Q_SIGNALS:
    void deviceConnected(const AdbDevice &device);
    void deviceDisconnected(const QString &serial);

private:
    void pollLoop();

    std::atomic<bool> m_stop{false};
    QSet<QString> m_known;
    QFuture<void> m_task;
    DeviceSource m_source;
    int m_intervalMs;
    bool m_ownsAdb;
};
