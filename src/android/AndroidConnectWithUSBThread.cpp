#include "android/AndroidConnectWithUSBThread.h"

#include "android/AdbDeviceInfo.h"
#include "android/AdbRunner.h"
#include "android/HelperConnection.h"
#include "app/AppError.h"
#include "app/DataRoot.h"
#include "app/Translation.h"
#include "jobs/JobCancelled.h"
#include "jobs/JobProgress.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

AndroidConnectWithUSBThread::AndroidConnectWithUSBThread(const QString &serial, JobProgress *progress,
                                                         QObject *parent)
    : QThread(parent), m_progress(progress)
{
    m_device.serial = serial;
}

QString AndroidConnectWithUSBThread::helperApkResource()
{
    return QStringLiteral(":/res/com.velloran.marrowlink.apk");
}

QString AndroidConnectWithUSBThread::connectHelpFailure(const QString &detail) const
{
    const QString tool = QDir(QCoreApplication::applicationDirPath())
                             .absoluteFilePath(QStringLiteral("VelloranDeviceManager.exe"));
    return QStringLiteral("Please try the following:<br/><br/>")
           + QStringLiteral("1 Go to Google Play on your phone to download and installed the latest version "
                            "Velloran Marrowlink.<br/><br/>")
           + QStringLiteral(
                 "2 click <a href=\"file:///%1\"><b>HERE</b></a> to run Velloran Device Manager and "
                 "then restart your phone to try again.<br/><br/>")
                 .arg(tool)
           + detail;
}

// Installs the helper when its package ships with the program. Returns
// false when it does not: the phone is then served by plain adb.
bool AndroidConnectWithUSBThread::installHelper()
{
    if (!QFile::exists(helperApkResource()))
        return false;
    const QString target = DataRoot::dir().absoluteFilePath(QStringLiteral("com.velloran.marrowlink.apk"));
    QFile::remove(target);
    if (!QFile::copy(helperApkResource(), target))
        throw AppError(QStringLiteral("Can not copy %1.").arg(target));
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
    adbInstall(m_device.serial, target);
    QThread::sleep(5);
    return true;
}

void AndroidConnectWithUSBThread::run()
{
    try {
        JobReport::progress(m_progress, ids("IDS_CHECKING_APK_INSTALL"), -1, QString());
        const QSet<QString> packages = adbListPackages(m_device.serial);
        bool helper = packages.contains(QString::fromLatin1(kHelperPackage));
        if (!packages.isEmpty()) {
            if (!helper && !m_progress->isCancelled()) {
                try {
                    helper = installHelper();
                } catch (const std::exception &e) {
                    JobReport::error(
                        m_progress,
                        QStringLiteral("Please go to Google Play on your Android Phone to download "
                                       "and install Velloran Marrowlink first and then try again. "
                                       "<br/><br/>Error:")
                            + QString::fromUtf8(e.what()));
                    return;
                }
            }
            if (!packages.contains(QString::fromLatin1(kKikPackage))) {
                JobReport::error(m_progress, ids("IDS_NOT_INSTALL_KIK"));
                return;
            }
        }
        if (m_progress->isCancelled())
            return;
        JobReport::progress(m_progress, ids("IDS_GET_ANDROID_DEVICE_INFO"), 99, QString());
        if (!helper) {
            readAdbDeviceInfo(m_device);
        } else {
            try {
                adbForceStop(m_device.serial, QString::fromLatin1(kHelperPackage));
                if (m_progress->isCancelled())
                    return;
                HelperConnection::readDeviceInfo(m_device, &m_progress->cancelled);
            } catch (const std::exception &e) {
                JobReport::error(m_progress, connectHelpFailure(QString::fromUtf8(e.what())));
                return;
            }
        }
        JobReport::success(m_progress, QString());
    } catch (const JobCancelled &) {
    } catch (const std::exception &e) {
        JobReport::error(m_progress, QString::fromUtf8(e.what()));
    }
}
