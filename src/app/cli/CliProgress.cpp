#include "app/cli/CliProgress.h"

#include "app/TextUtil.h"
#include "app/cli/CliCommand.h"
#include "jobs/JobRunner.h"

#include <QSocketNotifier>
#include <QThread>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <thread>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

std::atomic<bool> g_signalled{false};
std::mutex g_activeMutex;
CliProgress *g_active = nullptr; // guarded by g_activeMutex
#ifdef Q_OS_UNIX
int g_pipe[2] = {-1, -1};
#endif

extern "C" void onStopSignal(int)
{
    g_signalled = true;
#ifdef Q_OS_UNIX
    if (g_pipe[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = write(g_pipe[1], &byte, 1);
    }
#endif
}

void writeErr(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

} // namespace

CliProgress::CliProgress(const CliContext &ctx, QObject *parent)
    : HeadlessProgress(parent), m_bar(ConsoleProgressBar::forStderr(ctx.global.quiet)),
      m_yes(ctx.global.yes)
{
    answerTipsAtOnce = m_yes;
    {
        std::lock_guard<std::mutex> lock(g_activeMutex);
        g_active = this;
    }
    g_signalled = false;
#ifdef Q_OS_UNIX
    if (g_pipe[0] < 0 && pipe(g_pipe) == 0) {
        fcntl(g_pipe[0], F_SETFL, O_NONBLOCK);
        fcntl(g_pipe[1], F_SETFL, O_NONBLOCK);
    }
    if (g_pipe[0] >= 0) {
        m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &CliProgress::onSignal);
    }
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
#else
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
#endif
}

CliProgress::~CliProgress()
{
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    m_bar.finish();
    std::lock_guard<std::mutex> lock(g_activeMutex);
    g_active = nullptr;
}

void CliProgress::onSignal()
{
#ifdef Q_OS_UNIX
    char buffer[16];
    while (read(g_pipe[0], buffer, sizeof buffer) > 0) {
    }
#endif
    checkSignals();
}

void CliProgress::checkSignals()
{
    if (g_signalled.exchange(false))
        cancel();
}

void CliProgress::updateProgress(const QString &status, int curProgress,
                                 const QString &progressText)
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
    if (m_interrupted) {
        writeErr(QStringLiteral("Cancelled.\n"));
        return CliExit::Cancelled;
    }
    if (result() == Succeeded)
        return CliExit::Ok;
    const QString text = errorText().isEmpty() ? QStringLiteral("The job failed.") : errorText();
    writeErr(stripHtml(text).trimmed() + QLatin1Char('\n'));
    return CliExit::Failed;
}
