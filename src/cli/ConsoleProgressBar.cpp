#include "cli/ConsoleProgressBar.h"

#include "app/TextUtil.h"

#include <algorithm>

#include <unistd.h>

namespace {
constexpr qint64 kRedrawIntervalMs = 100;
constexpr qint64 kPlainStatusIntervalMs = 1000;
} // namespace

ConsoleProgressBar::ConsoleProgressBar(FILE *stream, bool interactive, bool quiet)
    : m_stream(stream), m_interactive(interactive), m_quiet(quiet)
{}

ConsoleProgressBar ConsoleProgressBar::forStderr(bool quiet)
{
    return ConsoleProgressBar(stderr, isatty(fileno(stderr)) != 0, quiet);
}

QString ConsoleProgressBar::formatLine(int percent, const QString &text, int width)
{
    percent = std::clamp(percent, 0, 100);
    const int filled = percent * width / 100;
    QString line = QStringLiteral("[") + QString(filled, QLatin1Char('#'))
                   + QString(width - filled, QLatin1Char('-')) + QStringLiteral("] ")
                   + QStringLiteral("%1%").arg(percent, 3);
    if (!text.isEmpty())
        line += QLatin1Char(' ') + text;
    return line;
}

void ConsoleProgressBar::update(const QString &status, int percent, const QString &detail)
{
    // Called for every report of a job, which may be a million: the texts
    // are cleaned only when a line is drawn.
    if (!status.isEmpty() && status != m_rawStatus) {
        m_rawStatus = status;
        m_status = stripHtml(status).simplified();
    }
    if (percent >= 0)
        m_percent = std::clamp(percent, 0, 100);
    m_rawDetail = detail;
    draw(false);
}

void ConsoleProgressBar::draw(bool force)
{
    if (m_quiet)
        return;
    const bool changed = m_percent != m_lastPercent || m_status != m_lastStatus;
    if (m_interactive) {
        if (!force && !changed && m_drawn && m_sinceDraw.elapsed() < kRedrawIntervalMs)
            return;
    } else if (!force) {
        // Plain output: a line when the percent changes, or the status after
        // a second at the least, so that a long job does not print a line
        // per item however it reports.
        const bool statusDue =
            m_status != m_lastStatus && (!m_drawn || m_sinceDraw.elapsed() >= kPlainStatusIntervalMs);
        if (m_percent == m_lastPercent && !statusDue)
            return;
    }
    const QString detail = stripHtml(m_rawDetail).simplified();
    QString text = m_status;
    if (!detail.isEmpty())
        text += (text.isEmpty() ? QString() : QStringLiteral(" - ")) + detail;
    if (m_interactive) {
        QString line = formatLine(m_percent, text);
        const qsizetype length = line.size();
        if (length < m_lastLength)
            line += QString(m_lastLength - length, QLatin1Char(' '));
        const QByteArray bytes = QByteArray("\r") + line.toUtf8();
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_stream);
        m_lastLength = length;
    } else {
        const QByteArray bytes = formatLine(m_percent, text).toUtf8() + '\n';
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_stream);
    }
    std::fflush(m_stream);
    m_lastPercent = m_percent;
    m_lastStatus = m_status;
    m_drawn = true;
    m_sinceDraw.start();
}

void ConsoleProgressBar::finish()
{
    if (m_quiet || !m_drawn)
        return;
    if (m_interactive) {
        std::fputc('\n', m_stream);
        std::fflush(m_stream);
    }
    m_drawn = false;
}
