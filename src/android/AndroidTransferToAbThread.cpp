#include "android/AndroidTransferToAbThread.h"

#include "app/Translation.h"
#include "jobs/JobCancelled.h"
#include "jobs/JobProgress.h"

AndroidTransferToAbThread::AndroidTransferToAbThread(const KikMessageList &messages,
                                                     const QString &phoneArchive, const QString &outArchive,
                                                     JobProgress *progress, QObject *parent)
    : QThread(parent), m_messages(messages), m_phoneArchive(phoneArchive), m_outArchive(outArchive),
      m_progress(progress)
{}

void AndroidTransferToAbThread::run()
{
    const QString status = ids("IDS_ANDROID_RESTORING_KIK_MESSAGES");
    AndroidMergeHooks hooks;
    hooks.progress = [&](int percent) { JobReport::progress(m_progress, status, percent, QString()); };
    hooks.cancelled = [this] { return m_progress && m_progress->isCancelled(); };
    try {
        JobReport::progress(m_progress, status, 0, QString());
        m_result = transferToAndroidBackup(m_messages, m_phoneArchive, m_outArchive, hooks);
        JobReport::progress(m_progress, status, 100, QString());
        JobReport::success(m_progress, ids("IDS_SUC_RESTORE_%1_TO_ANDROID").arg(m_messages.size()));
    } catch (const JobCancelled &) {
        // Nothing to report: transferToAndroidBackup kept the new archive away.
    } catch (const std::exception &e) {
        JobReport::error(m_progress, QString::fromUtf8(e.what()));
    }
}
