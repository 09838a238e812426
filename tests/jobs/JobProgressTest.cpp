#include "jobs/HeadlessProgress.h"
#include "jobs/JobRunner.h"
#include "jobs/ProgressState.h"

#include <QCoreApplication>
#include <QThread>

#include <functional>
#include <stdexcept>

#include <gtest/gtest.h>

namespace {

// A job that runs a function and reports failures the way every job does.
class FnJob : public QThread
{
public:
    FnJob(JobProgress *progress, std::function<void(JobProgress *)> body)
        : m_progress(progress), m_body(std::move(body))
    {}

protected:
    void run() override
    {
        try {
            m_body(m_progress);
        } catch (const std::exception &error) {
            JobReport::error(m_progress, QString::fromUtf8(error.what()));
        }
    }

private:
    JobProgress *m_progress;
    std::function<void(JobProgress *)> m_body;
};

} // namespace

TEST(ProgressState, TextRules)
{
    ProgressState state;
    state.update(QStringLiteral("Loading"), 40, QString());
    EXPECT_EQ(state.text, QStringLiteral("Progress:40%"));
    EXPECT_EQ(state.status, QStringLiteral("Loading"));
    state.update(QString(), -1, QString());
    EXPECT_EQ(state.percent, 40) << "a negative percent keeps the bar";
    EXPECT_EQ(state.text, QStringLiteral("Progress:40%"));
    EXPECT_EQ(state.status, QStringLiteral("Loading")) << "an empty status keeps the title";
    state.update(QStringLiteral("Next"), 75, QStringLiteral("Messages: 3/4"));
    EXPECT_EQ(state.text, QStringLiteral("Messages: 3/4"));
    EXPECT_EQ(state.percent, 75);
    EXPECT_EQ(state.status, QStringLiteral("Next"));
}

TEST(HeadlessProgress, ExceptionReachesErrorWithUtf8Text)
{
    HeadlessProgress progress;
    FnJob job(&progress, [](JobProgress *) {
        throw std::runtime_error(QStringLiteral("Fehler: Datei „ä“ 日本").toStdString());
    });
    JobRunner::runToEnd(job);
    EXPECT_EQ(progress.result(), HeadlessProgress::Failed);
    EXPECT_EQ(progress.errorText(), QStringLiteral("Fehler: Datei „ä“ 日本"));
    EXPECT_TRUE(progress.isCancelled()) << "a dialog ended with 0 counts as cancelled";
}

TEST(HeadlessProgress, EveryQueuedCallArrivesInOrder)
{
    HeadlessProgress progress;
    FnJob job(&progress, [](JobProgress *p) {
        for (int i = 0; i <= 100; ++i)
            JobReport::progress(p, QString(), i, QStringLiteral("item %1").arg(i));
        JobReport::success(p, QStringLiteral("done"));
        JobReport::progress(p, QString(), 5, QStringLiteral("late"));
    });
    JobRunner::runToEnd(job);
    EXPECT_EQ(progress.result(), HeadlessProgress::Succeeded);
    EXPECT_EQ(progress.successText(), QStringLiteral("done"));
    ASSERT_EQ(progress.updates(), 101) << "calls after the end have no effect";
    EXPECT_EQ(progress.texts().last(), QStringLiteral("item 100"));
    EXPECT_EQ(progress.state().percent, 100);
    EXPECT_FALSE(progress.isCancelled());
}

TEST(HeadlessProgress, AMillionReportsKeepOnlyTheLastTexts)
{
    HeadlessProgress progress;
    for (int i = 1; i <= 1000000; ++i)
        progress.updateProgress(QString(), i / 10000, QStringLiteral("item %1").arg(i));
    EXPECT_EQ(progress.updates(), 1000000);
    EXPECT_EQ(progress.texts().size(), HeadlessProgress::kKeptTexts);
    EXPECT_EQ(progress.texts().last(), QStringLiteral("item 1000000"));
    EXPECT_EQ(progress.texts().first(),
              QStringLiteral("item %1").arg(1000000 - HeadlessProgress::kKeptTexts + 1));
}

TEST(HeadlessProgress, TipWaitsUntilAnswered)
{
    HeadlessProgress progress;
    progress.answerTipsAtOnce = false;
    bool goOn = false;
    FnJob job(&progress, [&goOn](JobProgress *p) {
        goOn = JobReport::waitForTips(p, QStringLiteral("Unlock the phone"));
        JobReport::success(p, QString());
    });
    job.start();
    while (progress.tips().isEmpty())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    EXPECT_TRUE(progress.isWaiting());
    EXPECT_FALSE(job.isFinished());
    progress.answerTip();
    job.wait();
    QCoreApplication::processEvents();
    EXPECT_TRUE(goOn);
    EXPECT_EQ(progress.tips(), QStringList{QStringLiteral("Unlock the phone")});
    EXPECT_EQ(progress.result(), HeadlessProgress::Succeeded);
}

TEST(HeadlessProgress, CancelEndsTipWaitAndEmitsSignal)
{
    HeadlessProgress progress;
    progress.answerTipsAtOnce = false;
    int emitted = 0;
    QObject::connect(&progress, &JobProgress::userCacel, [&emitted] { ++emitted; });
    bool goOn = true;
    FnJob job(&progress, [&goOn](JobProgress *p) { goOn = JobReport::waitForTips(p, QStringLiteral("t")); });
    job.start();
    while (progress.tips().isEmpty())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    progress.cancel();
    job.wait();
    EXPECT_FALSE(goOn);
    EXPECT_EQ(emitted, 1);
    EXPECT_EQ(progress.result(), HeadlessProgress::Failed);
    EXPECT_TRUE(progress.errorText().isEmpty());
}
