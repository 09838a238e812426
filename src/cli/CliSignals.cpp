#include "cli/CliSignals.h"

#include "app/AbortCleanup.h"
#include "jobs/JobProgress.h"

#include <QMetaObject>
#include <QSet>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <thread>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

// How long a command may take to end by itself after the signal.
constexpr auto kGrace = std::chrono::milliseconds(800);
constexpr int kCancelledExit = 3;

std::atomic<bool> g_stop{false};
std::atomic<bool> g_hardStop{false};
std::once_flag g_installed;

std::mutex g_mutex;
std::condition_variable g_ended;
bool g_commandEnded = false;   // guarded by g_mutex
QSet<JobProgress *> g_watched; // guarded by g_mutex

#ifdef Q_OS_UNIX
int g_pipe[2] = {-1, -1};
#endif

extern "C" void onStopSignal(int)
{
    g_stop.store(true);
#ifdef Q_OS_UNIX
    if (g_pipe[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = write(g_pipe[1], &byte, 1);
    }
#endif
}

void cancelLocked(JobProgress *progress)
{
    progress->cancelled.store(true);
    // The slot runs on the progress object's thread, as a click would.
    QMetaObject::invokeMethod(progress, "cancel", Qt::QueuedConnection);
}

void onStop()
{
    std::unique_lock<std::mutex> lock(g_mutex);
    for (JobProgress *progress : std::as_const(g_watched))
        cancelLocked(progress);
    if (!g_hardStop.load())
        return;
    if (g_ended.wait_for(lock, kGrace, [] { return g_commandEnded; }))
        return;
    lock.unlock();
    AbortCleanup::removeAll();
    static const char text[] = "Cancelled.\n";
    std::fwrite(text, 1, sizeof text - 1, stderr);
    std::fflush(stderr);
    std::_Exit(kCancelledExit);
}

#ifdef Q_OS_UNIX
void watcherLoop()
{
    for (;;) {
        char buffer[16];
        const ssize_t n = read(g_pipe[0], buffer, sizeof buffer);
        if (n > 0)
            onStop();
        else if (n == 0)
            return;
    }
}
#endif

} // namespace

namespace CliSignals {

void install()
{
    std::call_once(g_installed, [] {
#ifdef Q_OS_UNIX
        if (pipe(g_pipe) == 0) {
            fcntl(g_pipe[0], F_SETFD, FD_CLOEXEC);
            fcntl(g_pipe[1], F_SETFD, FD_CLOEXEC);
            fcntl(g_pipe[1], F_SETFL, O_NONBLOCK);
            std::thread(watcherLoop).detach();
        }
        struct sigaction action = {};
        action.sa_handler = onStopSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGINT, &action, nullptr);
        sigaction(SIGTERM, &action, nullptr);
#else
        std::signal(SIGINT, onStopSignal);
        std::signal(SIGTERM, onStopSignal);
#endif
    });
}

void enableHardStop()
{
    g_hardStop.store(true);
}

void commandEnded()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_commandEnded = true;
    g_ended.notify_all();
}

bool stopRequested()
{
    return g_stop.load();
}

void clearStop()
{
    g_stop.store(false);
}

void watch(JobProgress *progress)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_watched.insert(progress);
    if (g_stop.load())
        cancelLocked(progress);
}

void unwatch(JobProgress *progress)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_watched.remove(progress);
}

} // namespace CliSignals
