#include "cli/ForwardingProgress.h"

#include "cli/CliSignals.h"

ForwardingProgress::ForwardingProgress(JobProgress *target) : m_target(target)
{
    // A cancel that came before the job stops it at its first step.
    if (m_target && m_target->isCancelled())
        cancelled = true;
    // A signal reaches the job at once, not at its next report.
    CliSignals::watch(this);
}

ForwardingProgress::~ForwardingProgress()
{
    CliSignals::unwatch(this);
}

void ForwardingProgress::updateProgress(const QString &status, int curProgress, const QString &text)
{
    HeadlessProgress::updateProgress(status, curProgress, text);
    if (m_target) {
        m_target->updateProgress(status, curProgress, text);
        // Only the flag: the job ends by itself and keeps its own outcome.
        if (m_target->isCancelled())
            cancelled = true;
    }
}
