#include "cli/AndroidPhoneCli.h"

#include "android/AdbRunner.h"
#include "android/AndroidConnectWithUSBThread.h"
#include "android/AndroidLoadKikThread.h"
#include "app/AppError.h"
#include "jobs/HeadlessProgress.h"
#include "jobs/JobRunner.h"

#include <QTimer>

namespace AndroidPhoneCli {

namespace {

// Keeps one job's outcome while passing its progress and tips on to the
// command's progress object; the command's cancel and its answer to a tip
// come back to the job.
class StepProgress : public HeadlessProgress
{
public:
    explicit StepProgress(JobProgress *target) : m_target(target)
    {
        follow();
        m_timer.setInterval(100);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { follow(); });
        m_timer.start();
    }
    void updateProgress(const QString &status, int curProgress, const QString &text) override
    {
        HeadlessProgress::updateProgress(status, curProgress, text);
        if (m_target)
            m_target->updateProgress(status, curProgress, text);
        follow();
    }
    void tipsWait(const QString &text) override
    {
        if (!m_target) {
            HeadlessProgress::tipsWait(text);
            return;
        }
        m_target->waiting = true;
        m_target->tipsWait(text);
        m_forwardedTip = true;
        follow();
    }

private:
    void follow()
    {
        if (!m_target)
            return;
        if (m_target->isCancelled())
            cancelled = true;
        if (m_forwardedTip && !m_target->isWaiting()) {
            m_forwardedTip = false;
            waiting = false;
        }
    }

    JobProgress *m_target;
    QTimer m_timer;
    bool m_forwardedTip = false;
};

} // namespace

QString resolveSerial(const QString &value)
{
    QList<AdbDevice> devices;
    try {
        devices = adbDevices();
    } catch (const std::exception &e) {
        throw AppError(QStringLiteral("Cannot list Android phones: adb is missing or failed (%1).")
                           .arg(QString::fromUtf8(e.what()).trimmed()));
    }
    const AdbDevice *chosen = nullptr;
    if (value.compare(QLatin1String("auto"), Qt::CaseInsensitive) == 0) {
        if (devices.isEmpty())
            throw AppError(QStringLiteral("No Android phone is connected."));
        if (devices.size() > 1)
            throw AppError(QStringLiteral("%1 Android phones are connected: name one by its serial.")
                               .arg(devices.size()));
        chosen = &devices.first();
    } else {
        for (const AdbDevice &device : std::as_const(devices)) {
            if (device.serial == value)
                chosen = &device;
        }
        if (!chosen)
            throw AppError(QStringLiteral("No Android phone with the serial %1 is connected.").arg(value));
    }
    if (!chosen->isReady())
        throw AppError(
            QStringLiteral("Can't connect to your Android Phone.<br/><br/>Please try the following:<br/><br/>"
                           "1 Allow USB debugging on your phone and choose \"Always allow from this "
                           "computer\".<br/><br/>"
                           "2 Re-enable USB debugging on your Android Phone.<br/><br/>"
                           "3 Restart your Android Phone.<br/><br/>Error: the phone is %1.")
                .arg(chosen->state));
    return chosen->serial;
}

bool runStep(JobProgress *progress, const std::function<void(JobProgress &)> &body)
{
    StepProgress step(progress);
    if (progress && progress->isCancelled())
        return false;
    body(step);
    if (step.result() == HeadlessProgress::Succeeded)
        return true;
    if (!step.errorText().isEmpty())
        throw AppError(step.errorText());
    return false;
}

bool connect(const QString &serial, JobProgress *progress, AndroidDevice &device)
{
    return runStep(progress, [&](JobProgress &step) {
        AndroidConnectWithUSBThread job(serial, &step);
        JobRunner::runToEnd(job);
        device = job.device();
    });
}

bool load(AndroidPhone &phone, const QDir &archiveFolder, bool fetch, JobProgress *progress)
{
    return runStep(progress, [&](JobProgress &step) {
        AndroidLoadKikThread job(&phone, archiveFolder, fetch, &step);
        JobRunner::runToEnd(job);
    });
}

} // namespace AndroidPhoneCli
