#include "android/AndroidConnectWithWiFiThread.h"

#include "android/HelperConnection.h"
#include "app/Translation.h"
#include "jobs/JobCancelled.h"
#include "jobs/JobProgress.h"

AndroidConnectWithWiFiThread::AndroidConnectWithWiFiThread(const QString &address, JobProgress *progress,
                                                           QObject *parent)
    : QThread(parent), m_progress(progress)
{
    m_device.overWifi = true;
    m_device.address = address;
    m_device.controlPort = kHelperWifiControlPort;
}

void AndroidConnectWithWiFiThread::run()
{
    try {
        JobReport::progress(m_progress, ids("IDS_GET_ANDROID_DEVICE_INFO"), 99, QString());
        HelperConnection::readDeviceInfo(m_device, &m_progress->cancelled);
        JobReport::success(m_progress, QString());
    } catch (const JobCancelled &) {
    } catch (const std::exception &e) {
        JobReport::error(m_progress, QString::fromUtf8(e.what()));
    }
}
