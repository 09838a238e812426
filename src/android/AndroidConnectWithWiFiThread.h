// The job that reaches a rooted phone's helper app over WiFi and reads its
// details.
#pragma once

#include "android/AndroidDevice.h"

#include <QThread>

class JobProgress;

class AndroidConnectWithWiFiThread : public QThread
{
    Q_OBJECT
public:
    AndroidConnectWithWiFiThread(const QString &address, JobProgress *progress, QObject *parent = nullptr);

    const AndroidDevice &device() const { return m_device; }

protected:
    void run() override;

private:
    AndroidDevice m_device;
    JobProgress *m_progress;
};
