#include "android/AndroidMonitor.h"

#include "android/AdbRunner.h"
#include "app/LogCategories.h"

#include <QDebug>
#include <QtConcurrent/QtConcurrentRun>

namespace {

constexpr int kPollIntervalMs = 3000;
constexpr int kSleepStepMs = 100;

} // namespace

AndroidMonitor::AndroidMonitor(QObject *parent)
    : AndroidMonitor([] { return adbDevices(); }, kPollIntervalMs, parent)
{
    m_ownsAdb = true;
}

AndroidMonitor::AndroidMonitor(DeviceSource source, int intervalMs, QObject *parent)
    : QThread(parent), m_source(std::move(source)), m_intervalMs(intervalMs), m_ownsAdb(false)
{
    qRegisterMetaType<AdbDevice>();
}

AndroidMonitor::~AndroidMonitor()
{
    qCDebug(lcAndroid, "device monitor stopping");
    m_stop = true;
    m_task.waitForFinished();
    if (m_ownsAdb)
        adbKillServer();
    qCDebug(lcAndroid, "device monitor stopped");
}

void AndroidMonitor::startMonitor()
{
    m_task = QtConcurrent::run([this] { pollLoop(); });
}

void AndroidMonitor::applyDeviceList(const QList<AdbDevice> &devices)
{
    QSet<QString> current;
    for (const AdbDevice &device : devices) {
        current.insert(device.serial);
        if (!m_known.contains(device.serial)) {
            m_known.insert(device.serial);
            Q_EMIT deviceConnected(device);
        }
    }
    const QSet<QString> gone = m_known - current;
    for (const QString &serial : gone) {
        m_known.remove(serial);
        Q_EMIT deviceDisconnected(serial);
    }
}

void AndroidMonitor::pollLoop()
{
    // The maker's driver tool exists only on Windows; elsewhere adb's own
    // server start is all there is.
    if (m_ownsAdb)
        adbStartServer();
    while (!m_stop) {
        try {
            applyDeviceList(m_source());
        } catch (const std::exception &) {
            // adb missing or failing: this pass reports nothing, the next tries again.
        }
        for (int slept = 0; slept < m_intervalMs && !m_stop; slept += kSleepStepMs)
            QThread::msleep(kSleepStepMs);
    }
}
