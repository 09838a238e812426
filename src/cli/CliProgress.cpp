#include "cli/CliProgress.h"

#include "app/TextUtil.h"
#include "cli/CliCommand.h"
#include "cli/CliMessages.h"
#include "cli/CliSignals.h"
#include "jobs/JobRunner.h"

#include <QThread>

#include <cstdio>
#include <mutex>
#include <thread>

namespace {

std::mutex g_activeMutex;
CliProgress *g_active = nullptr; // guarded by g_activeMutex

void writeErr(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

} // namespace

CliProgress::CliProgress(const CliContext &ctx, QObject *parent)
    : HeadlessProgress(parent), m_bar(ConsoleProgressBar::forStderr(ctx.global.quiet)), m_yes(ctx.global.yes)
{
    answerTipsAtOnce = m_yes;
    {
        std::lock_guard<std::mutex> lock(g_activeMutex);
        g_active = this;
    }
    CliSignals::install();
    CliSignals::watch(this);
}

CliProgress::~CliProgress()
{
    CliSignals::unwatch(this);
    m_bar.finish();
    std::lock_guard<std::mutex> lock(g_activeMutex);
    g_active = nullptr;
}

void CliProgress::checkSignals()
{
    if (CliSignals::stopRequested())
        cancel();
}

void CliProgress::updateProgress(const QString &status, int curProgress, const QString &progressText)
{
    if (result() == Running)
        m_bar.update(status, curProgress, progressText);
    HeadlessProgress::updateProgress(status, curProgress, progressText);
}

void CliProgress::tipsWait(const QString &text)
{
    HeadlessProgress::tipsWait(text);
    m_bar.finish();
    writeErr(stripHtml(text).trimmed() + QLatin1Char('\n'));
    if (m_yes)
        return;
    writeErr(QStringLiteral("Press Enter to continue...\n"));
    CliProgress *self = this;
    // Reading stdin blocks, so it happens beside the event loop; the answer
    // only reaches a progress object that is still alive.
    std::thread([self] {
        char line[256];
        if (!std::fgets(line, sizeof line, stdin)) {
            // No terminal to answer from: go on rather than wait forever.
        }
        std::lock_guard<std::mutex> lock(g_activeMutex);
        if (g_active == self)
            self->waiting = false;
    }).detach();
}

void CliProgress::cancel()
{
    if (result() == Running)
        m_interrupted = true;
    HeadlessProgress::cancel();
}

int CliProgress::runJob(QThread &job)
{
    checkSignals();
    if (m_interrupted)
        return CliExit::Cancelled;
    JobRunner::runToEnd(job);
    checkSignals();
    m_bar.finish();
    if (m_interrupted)
        return CliExit::Cancelled;
    if (result() == Succeeded)
        return CliExit::Ok;
    const QString text = errorText().isEmpty() ? QStringLiteral("The job failed.") : errorText();
    writeErr(withoutCachePaths(stripHtml(text)).trimmed() + QLatin1Char('\n'));
    return CliExit::Failed;
}
