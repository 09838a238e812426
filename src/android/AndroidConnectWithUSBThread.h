// The job that makes a USB phone usable: checks that Kik is installed,
// installs or checks the helper app (or, without it, settles on plain adb)
// and reads the phone's details into an AndroidDevice.
#pragma once

#include "android/AndroidDevice.h"

#include <QThread>

class JobProgress;

class AndroidConnectWithUSBThread : public QThread
{
    Q_OBJECT
public:
    AndroidConnectWithUSBThread(const QString &serial, JobProgress *progress, QObject *parent = nullptr);

    // The phone's details after a successful run.
    const AndroidDevice &device() const { return m_device; }

    // Where the helper app's package comes from when it ships with the
    // program.
    static QString helperApkResource();

protected:
    void run() override;

private:
    bool installHelper();
    QString connectHelpFailure(const QString &detail) const;

    AndroidDevice m_device;
    JobProgress *m_progress;
};
