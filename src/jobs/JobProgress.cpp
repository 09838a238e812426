#include "jobs/JobProgress.h"

#include <QMetaObject>
#include <QThread>

void JobProgress::updateProgress(const QString &, int, const QString &) {}

void JobProgress::errorOccurred(const QString &) {}

void JobProgress::succeed(const QString &) {}

void JobProgress::tipsWait(const QString &)
{
    waiting = false;
}

void JobProgress::cancel()
{
    cancelled = true;
    Q_EMIT userCacel();
}

namespace JobReport {

void progress(JobProgress *target, const QString &status, int percent, const QString &text)
{
    if (target)
        QMetaObject::invokeMethod(target, "updateProgress", Qt::AutoConnection,
                                  Q_ARG(QString, status), Q_ARG(int, percent), Q_ARG(QString, text));
}

void error(JobProgress *target, const QString &text)
{
    if (target)
        QMetaObject::invokeMethod(target, "errorOccurred", Qt::AutoConnection, Q_ARG(QString, text));
}

void success(JobProgress *target, const QString &text)
{
    if (target)
        QMetaObject::invokeMethod(target, "succeed", Qt::AutoConnection, Q_ARG(QString, text));
}

bool waitForTips(JobProgress *target, const QString &text)
{
    if (!target)
        return true;
    target->waiting = true;
    QMetaObject::invokeMethod(target, "tipsWait", Qt::AutoConnection, Q_ARG(QString, text));
    while (target->waiting && !target->cancelled)
        QThread::msleep(500);
    return !target->cancelled;
}

} // namespace JobReport
