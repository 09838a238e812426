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
        QMetaObject::invokeMethod(target, "updateProgress", Qt::AutoConnection, Q_ARG(QString, status),
                                  Q_ARG(int, percent), Q_ARG(QString, text));
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
    showTips(target, text);
    return waitWhileTipsShown(target, 500);
}

void showTips(JobProgress *target, const QString &text)
{
    if (!target)
        return;
    target->waiting = true;
    QMetaObject::invokeMethod(target, "tipsWait", Qt::AutoConnection, Q_ARG(QString, text));
}

bool waitWhileTipsShown(JobProgress *target, int stepMs)
{
    if (!target)
        return true;
    while (target->waiting && !target->cancelled)
        QThread::msleep(stepMs);
    return !target->cancelled;
}

} // namespace JobReport
