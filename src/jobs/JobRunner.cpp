#include "jobs/JobRunner.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>

namespace JobRunner {

void runToEnd(QThread &job)
{
    QEventLoop loop;
    QObject::connect(&job, &QThread::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    job.start();
    if (!job.isFinished())
        loop.exec();
    job.wait();
    // Calls queued just before the end are still waiting in the queue.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

} // namespace JobRunner
