#include "device/IOSMobileBackupThread.h"

#include "app/DeviceBackupRoot.h"
#include "app/FileUtil.h"
#include "device/BackupToolText.h"
#include "device/backup2tool.h"
#include "jobs/JobCancelled.h"
#include "jobs/JobProgress.h"

#include <QFileInfo>

IOSMobileBackupThread::IOSMobileBackupThread(MobileDevicePtr device, JobProgress *progress,
                                             const QString &productVersion, QObject *parent)
    : QThread(parent), m_device(std::move(device)), m_progress(progress), m_productVersion(productVersion),
      m_backupRoot(tempBackupRoot()),
      m_tool(new backup2tool(m_device, m_device ? m_device->udid() : QString(), m_backupRoot))
{}

IOSMobileBackupThread::~IOSMobileBackupThread()
{
    m_tool->deleteLater();
}

QString IOSMobileBackupThread::deviceBackupFolder() const
{
    return m_backupRoot.filePath(m_device ? m_device->udid() : QString());
}

bool IOSMobileBackupThread::isReusable(const QString &deviceFolder, const QString &productVersion)
{
    const QDir folder(deviceFolder);
    // iOS 10 and later write "Manifest.db", older versions "Manifest.mbdb".
    const bool hasManifest = QFileInfo(folder.filePath(QStringLiteral("Manifest.db"))).isFile()
                             || QFileInfo(folder.filePath(QStringLiteral("Manifest.mbdb"))).isFile();
    if (!hasManifest || !QFileInfo(folder.filePath(QStringLiteral("Status.plist"))).isFile()
        || !QFileInfo(folder.filePath(QStringLiteral("Manifest.plist"))).isFile())
        return false;
    const CFType status = CFType::fromPlistFile(folder.filePath(QStringLiteral("Status.plist")));
    if (status.value(QStringLiteral("SnapshotState")).toText() != QLatin1String("finished"))
        return false;
    const CFType manifest = CFType::fromPlistFile(folder.filePath(QStringLiteral("Manifest.plist")));
    const QString version =
        manifest.value(QStringLiteral("Lockdown")).value(QStringLiteral("ProductVersion")).toText();
    return !productVersion.isEmpty() && version == productVersion;
}

void IOSMobileBackupThread::backupUpdate(double pg, const QString &, const QString &)
{
    if (m_progress)
        m_progress->updateProgress(QString(), int(pg), QString());
}

void IOSMobileBackupThread::run()
{
    JobReport::progress(m_progress, QStringLiteral("Loading data from Device..."), 0, QString());
    // The backup lies in a folder named by the phone's identifier, which the
    // tool chooses too. Without a plain identifier that folder would be the
    // work folder itself (or one outside it), and replacing it would delete
    // the backups of every other phone.
    const QString udid = m_device ? m_device->udid() : QString();
    if (udid.isEmpty() || safeLeafName(udid) != udid) {
        JobReport::error(m_progress,
                         QStringLiteral("The iPhone did not give a usable identifier (%1), so it "
                                        "cannot be backed up. Unplug it, plug it in again and retry.")
                             .arg(udid));
        return;
    }
    const QString folder = deviceBackupFolder();
    if (m_productVersion.isEmpty() && m_device) {
        try {
            m_productVersion =
                m_device->copyValues({QStringLiteral("ProductVersion")}, QString()).value(0).toQString();
        } catch (const std::exception &) {
            // The tool reports an unreachable phone itself.
        }
    }
    if (QFileInfo::exists(folder) && !isReusable(folder, m_productVersion))
        removeTree(folder);
    m_cancelled = false;
    // A cancel before the tool starts leaves the folder as it is: a finished
    // backup there stays for a later run to bring up to date.
    if (m_progress && m_progress->isCancelled()) {
        m_cancelled = true;
        return;
    }
    connect(m_tool, &backup2tool::update, this, &IOSMobileBackupThread::backupUpdate, Qt::QueuedConnection);
    JobProgress *progress = m_progress;
    m_tool->setCancelCheck([progress] { return progress && progress->isCancelled(); });
    try {
        m_tool->runBackup();
        // A cancel that came as the tool ended counts too: that backup is
        // not kept either.
        if (m_progress && m_progress->isCancelled())
            throw JobCancelled();
        JobReport::success(m_progress, QString());
    } catch (const JobCancelled &) {
        // A backup the tool was stopped in is of no use to a later run. The
        // cancel is not reported: the dialog is closing already.
        m_cancelled = true;
        removeTree(folder);
    } catch (const std::exception &e) {
        removeTree(folder);
        JobReport::error(m_progress, BackupToolText::worded(QString::fromUtf8(e.what())));
    }
}
