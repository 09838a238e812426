// The one-line progress bar of the command-line tool, drawn on stderr:
// redrawn in place on a terminal, one plain line per change otherwise.
#pragma once

#include <QElapsedTimer>
#include <QString>

#include <cstdio>

class ConsoleProgressBar
{
public:
    // `interactive`: redraw in place (a terminal); otherwise plain lines.
    ConsoleProgressBar(FILE *stream, bool interactive, bool quiet = false);
    // Draws on stderr, in place when it is a terminal.
    static ConsoleProgressBar forStderr(bool quiet);

    // A negative percent keeps the last one; an empty status keeps it too.
    void update(const QString &status, int percent, const QString &detail);
    // Ends the line on a terminal so that later output starts on its own.
    void finish();

    // The text of one bar line, e.g. "[#####---------------]  25% Loading...".
    static QString formatLine(int percent, const QString &text, int width = 20);

private:
    void draw(bool force);

    FILE *m_stream;
    bool m_interactive;
    bool m_quiet;
    QString m_rawStatus;
    QString m_status;
    QString m_rawDetail;
    int m_percent = 0;
    int m_lastPercent = -1;
    QString m_lastStatus;
    qsizetype m_lastLength = 0;
    bool m_drawn = false;
    QElapsedTimer m_sinceDraw;
};
