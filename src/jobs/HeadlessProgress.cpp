#include "jobs/HeadlessProgress.h"

void HeadlessProgress::updateProgress(const QString &status, int curProgress, const QString &progressText)
{
    if (m_result != Running)
        return; // a closed dialog shows nothing more
    m_state.update(status, curProgress, progressText);
    m_texts.append(m_state.text);
    if (m_texts.size() > kKeptTexts)
        m_texts.removeFirst();
    ++m_updates;
    if (cancelAtPercent >= 0 && curProgress >= cancelAtPercent)
        cancel();
}

void HeadlessProgress::errorOccurred(const QString &text)
{
    if (m_result != Running)
        return;
    m_error = text;
    finish(Failed);
}

void HeadlessProgress::succeed(const QString &text)
{
    if (m_result != Running)
        return;
    m_success = text;
    finish(Succeeded);
}

void HeadlessProgress::tipsWait(const QString &text)
{
    m_tips.append(text);
    if (answerTipsAtOnce)
        waiting = false;
}

void HeadlessProgress::cancel()
{
    if (m_result != Running)
        return;
    JobProgress::cancel();
    finish(Failed);
}

void HeadlessProgress::finish(Result result)
{
    m_result = result;
    cancelled = result == Failed;
    Q_EMIT finished(int(result));
}
