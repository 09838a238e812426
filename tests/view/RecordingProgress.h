// A JobProgress that records what a job reported.
#pragma once

#include "jobs/JobProgress.h"

#include <QStringList>

class RecordingProgress : public JobProgress
{
    Q_OBJECT
public:
    QStringList statuses;
    QList<int> percents;
    QStringList texts;
    QStringList errors;
    QStringList successes;
    // Cancels when this many progress calls have arrived (0: never).
    int cancelAfter = 0;

    void updateProgress(const QString &status, int percent, const QString &text) override
    {
        statuses.append(status);
        percents.append(percent);
        texts.append(text);
        if (cancelAfter > 0 && percents.size() >= cancelAfter)
            cancelled = true;
    }
    void errorOccurred(const QString &text) override { errors.append(text); }
    void succeed(const QString &text) override { successes.append(text); }
};
