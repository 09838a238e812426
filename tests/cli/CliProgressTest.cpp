#include "cli/CliProgress.h"
#include "cli/CliCommand.h"
#include "cli/CliSignals.h"

#include <QCoreApplication>
#include <QThread>

#include <csignal>

#include <gtest/gtest.h>

namespace {

class TipJob : public QThread
{
public:
    explicit TipJob(JobProgress *progress) : m_progress(progress) {}
    bool goOn = false;

protected:
    void run() override
    {
        goOn = JobReport::waitForTips(m_progress, QStringLiteral("<b>Unlock</b> the phone"));
        JobReport::success(m_progress, QStringLiteral("ok"));
    }

private:
    JobProgress *m_progress;
};

CliContext quietContext(bool yes)
{
    CliContext ctx;
    ctx.global.quiet = true;
    ctx.global.yes = yes;
    return ctx;
}

} // namespace

TEST(CliProgress, YesAnswersTipsAtOnce)
{
    const CliContext ctx = quietContext(true);
    CliProgress progress(ctx);
    TipJob job(&progress);
    EXPECT_EQ(progress.runJob(job), CliExit::Ok);
    EXPECT_TRUE(job.goOn);
    EXPECT_EQ(progress.tips().size(), 1);
    EXPECT_EQ(progress.successText(), QStringLiteral("ok"));
}

TEST(CliProgress, TerminateSignalBecomesCancel)
{
    const CliContext ctx = quietContext(true);
    CliProgress progress(ctx);
    int emitted = 0;
    QObject::connect(&progress, &JobProgress::userCacel, [&emitted] { ++emitted; });
    std::raise(SIGTERM); // handled: the process goes on
    // The handler only notes the signal; the progress object acts on it.
    while (!progress.interrupted())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    EXPECT_TRUE(progress.isCancelled());
    EXPECT_EQ(emitted, 1);
    TipJob job(&progress);
    EXPECT_EQ(progress.runJob(job), CliExit::Cancelled) << "a cancelled run starts no job";
    EXPECT_FALSE(job.isFinished());
    EXPECT_FALSE(job.goOn);
    CliSignals::clearStop();
}

TEST(CliProgress, FailedJobGivesExitOne)
{
    const CliContext ctx = quietContext(true);
    CliProgress progress(ctx);
    QThread *job =
        QThread::create([&progress] { JobReport::error(&progress, QStringLiteral("Disk <br/>full")); });
    EXPECT_EQ(progress.runJob(*job), CliExit::Failed);
    delete job;
    EXPECT_EQ(progress.errorText(), QStringLiteral("Disk <br/>full"));
    EXPECT_FALSE(progress.interrupted());
}
