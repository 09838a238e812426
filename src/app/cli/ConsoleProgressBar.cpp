#include "app/cli/ConsoleProgressBar.h"

#include "app/TextUtil.h"

#include <algorithm>

#include <unistd.h>

namespace {
constexpr qint64 kRedrawIntervalMs = 100;
}

ConsoleProgressBar::ConsoleProgressBar(FILE *stream, bool interactive, bool quiet)
    : m_stream(stream), m_interactive(interactive), m_quiet(quiet)
{
}

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
    if (!status.isEmpty())
        m_status = stripHtml(status).simplified();
    if (percent >= 0)
        m_percent = std::clamp(percent, 0, 100);
    m_detail = stripHtml(detail).simplified();
    draw(false);
}

void ConsoleProgressBar::draw(bool force)
{
    if (m_quiet)
        return;
    QString text = m_status;
    if (!m_detail.isEmpty())
        text += (text.isEmpty() ? QString() : QStringLiteral(" - ")) + m_detail;
    if (m_interactive) {
        const bool changed = m_percent != m_lastPercent || m_status != m_lastStatus;
        if (!force && !changed && m_drawn && m_sinceDraw.elapsed() < kRedrawIntervalMs)
            return;
        QString line = formatLine(m_percent, text);
        const qsizetype length = line.size();
        if (length < m_lastLength)
            line += QString(m_lastLength - length, QLatin1Char(' '));
        const QByteArray bytes = QByteArray("\r") + line.toUtf8();
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_stream);
        m_lastLength = length;
    } else {
        // Plain output: a line when the percent or the status changes, so
        // that a long job does not print one line per item.
        if (!force && m_percent == m_lastPercent && m_status == m_lastStatus)
            return;
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
