#include "device/backup2tool.h"

#include "app/AppError.h"
#include "app/LogCategories.h"
#include "device/BackupToolText.h"
#include "jobs/JobCancelled.h"

#include <QDateTime>
#include <QProcess>

#include <stdexcept>

namespace {

constexpr int kStartTimeoutMs = 60000;
constexpr int kWatchIntervalMs = 200;
// The tool prints a line per file; only the end of its output matters.
constexpr qsizetype kKeptOutput = 1024 * 1024;

void keepTail(QByteArray &kept, const QByteArray &more)
{
    kept += more;
    if (kept.size() > kKeptOutput)
        kept.remove(0, kept.size() - kKeptOutput);
}

} // namespace

backup2tool::backup2tool(MobileDevicePtr device, const QString &udid, const QDir &backupRoot)
    : m_device(std::move(device)), m_udid(udid), m_root(backupRoot)
{}

QString backup2tool::toolProgram()
{
    const QString custom = qEnvironmentVariable("VELLORAN_IDEVICEBACKUP2");
    return custom.isEmpty() ? QStringLiteral("idevicebackup2") : custom;
}

qint64 backup2tool::estimateSeconds()
{
    try {
        const QList<CFType> usage = m_device->copyValues({QString()}, QStringLiteral("com.apple.disk_usage"));
        const CFType domain = usage.value(0);
        const qint64 used = domain.value(QStringLiteral("TotalDataCapacity")).toInt64()
                            - domain.value(QStringLiteral("AmountDataAvailable")).toInt64();
        return BackupToolText::estimatedSeconds(used);
    } catch (const std::exception &) {
        return 60;
    }
}

void backup2tool::runBackup()
{
    // A cancel that came first starts no tool.
    if (isCancelled())
        throw JobCancelled();
    const qint64 estimate = m_device ? estimateSeconds() : 60;
    // The tool refuses a backup folder that does not exist.
    if (!m_root.mkpath(QStringLiteral(".")))
        throw AppError(
            QStringLiteral("can not create %1.").arg(QDir::toNativeSeparators(m_root.absolutePath())));
    const QStringList arguments = {QStringLiteral("-u"), m_udid, QStringLiteral("backup"),
                                   QStringLiteral("--full"), QDir::toNativeSeparators(m_root.absolutePath())};
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(toolProgram(), arguments);
    if (!process.waitForStarted(kStartTimeoutMs))
        throw AppError(
            "can not start idevicebackup2 process. It comes with the package libimobiledevice-utils.");
    process.closeWriteChannel();
    const qint64 t0 = QDateTime::currentSecsSinceEpoch();
    QByteArray out;
    QByteArray err;
    const auto stop = [&process] {
        process.kill();
        process.waitForFinished(5000);
    };
    if (isCancelled()) {
        stop();
        throw JobCancelled();
    }
    for (;;) {
        const bool finished =
            process.waitForFinished(kWatchIntervalMs) || process.state() == QProcess::NotRunning;
        keepTail(out, process.readAllStandardOutput());
        keepTail(err, process.readAllStandardError());
        if (finished) {
            const QString text =
                QString::fromLocal8Bit(err) + QLatin1Char('\n') + QString::fromLocal8Bit(out);
            qCDebug(lcDevice).noquote() << "idevicebackup2:" << text;
            if (!BackupToolText::succeeded(text))
                throw AppError(text.trimmed());
            return;
        }
        const qint64 elapsed = QDateTime::currentSecsSinceEpoch() - t0;
        m_progress = BackupToolText::progressAfter(elapsed, estimate);
        Q_EMIT update(m_progress, QString(), QStringLiteral("%1 seconds passed").arg(elapsed));
        if (isCancelled()) {
            stop();
            throw JobCancelled();
        }
    }
}
