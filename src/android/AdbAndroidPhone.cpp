// The phone behind adb: the helper app's channels when the phone was
// described by the helper, plain adb otherwise.
#include "android/AdbRunner.h"
#include "android/AdbShellChannel.h"
#include "android/AndroidPhone.h"
#include "android/HelperChannel.h"
#include "android/HelperConnection.h"
#include "app/AppError.h"
#include "app/LogCategories.h"
#include "jobs/JobCancelled.h"
#include "jobs/JobProgress.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QProcess>
#include <QTcpSocket>

namespace {

class AdbPendingRun : public AndroidPendingRun
{
public:
    explicit AdbPendingRun(const QStringList &arguments)
    {
        m_process.setProgram(QStringLiteral("adb"));
        m_process.setArguments(arguments);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(QIODevice::ReadWrite);
        if (!m_process.waitForStarted(kAdbStartTimeoutMs))
            throw AppError(adbBackupStartFailedMessage());
    }
    ~AdbPendingRun() override
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    bool waitForEnd(int timeoutMs, const std::atomic<bool> *cancelled) override
    {
        QElapsedTimer clock;
        clock.start();
        while (m_process.state() != QProcess::NotRunning) {
            if (cancelled && cancelled->load())
                throw JobCancelled();
            if (clock.elapsed() >= timeoutMs)
                return false;
            m_process.waitForFinished(100);
            m_output += m_process.readAll();
            if (m_output.size() > 64 * 1024)
                m_output = m_output.right(64 * 1024);
        }
        m_output += m_process.readAll();
        return true;
    }
    QString failure() const override
    {
        if (m_process.state() != QProcess::NotRunning)
            return QString();
        if (m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0)
            return QString();
        const QString text = QString::fromLocal8Bit(m_output).trimmed();
        return text.isEmpty() ? QStringLiteral("adb ended with status %1.").arg(m_process.exitCode()) : text;
    }

private:
    QProcess m_process;
    QByteArray m_output;
};

class AdbAndroidPhone : public AndroidPhone
{
public:
    explicit AdbAndroidPhone(const AndroidDevice &device) : m_device(device) {}

    const AndroidDevice &device() const override { return m_device; }

    std::unique_ptr<AndroidChannel> openChannel(ChannelPurpose purpose, JobProgress *progress) override
    {
        if (m_device.access == AndroidDevice::Access::AdbOnly)
            return std::make_unique<AdbShellChannel>(m_device.serial, progress);
        const int port = nextChannelPort();
        const QString url = purpose == ChannelPurpose::Download ? HelperConnection::downloadUrl(port)
                                                                : HelperConnection::uploadUrl(port);
        if (purpose == ChannelPurpose::Download)
            qCDebug(lcAndroid, "download %s", qUtf8Printable(url));
        std::unique_ptr<QIODevice> socket = HelperConnection::openChannel(
            m_device, url, HelperConnection::kChannelTimeoutMs, progress ? &progress->cancelled : nullptr);
        return std::make_unique<HelperChannel>(std::move(socket), progress);
    }

    void forceStop(const QString &package) override
    {
        if (!m_device.overWifi)
            adbForceStop(m_device.serial, package);
    }

    std::unique_ptr<AndroidPendingRun> startBackup(const QString &archivePath) override
    {
        return std::make_unique<AdbPendingRun>(QStringList{QStringLiteral("-s"), m_device.serial,
                                                           QStringLiteral("backup"), QStringLiteral("-f"),
                                                           archivePath, QString::fromLatin1(kKikPackage)});
    }

    std::unique_ptr<AndroidPendingRun> startRestore(const QString &archivePath) override
    {
        return std::make_unique<AdbPendingRun>(
            QStringList{QStringLiteral("-s"), m_device.serial, QStringLiteral("restore"), archivePath});
    }

private:
    AndroidDevice m_device;
};

} // namespace

std::unique_ptr<AndroidPhone> makeAndroidPhone(const AndroidDevice &device)
{
    return std::make_unique<AdbAndroidPhone>(device);
}

QString adbBackupStartFailedMessage()
{
    return QStringLiteral(
        "Adb backup failed. Please stop Kik from running on your Android Phone to try again.");
}
