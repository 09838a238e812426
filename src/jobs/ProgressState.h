// What a progress display shows, after the rules of updateProgress: an empty
// status keeps the title, a negative percent keeps the bar, an empty text
// becomes "Progress:<percent>%".
#pragma once

#include <QString>

struct ProgressState
{
    QString status;
    int percent = 0;
    QString text;

    void update(const QString &newStatus, int curProgress, const QString &progressText);
};
