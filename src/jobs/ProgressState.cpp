#include "jobs/ProgressState.h"

#include <algorithm>

void ProgressState::update(const QString &newStatus, int curProgress, const QString &progressText)
{
    if (!newStatus.isEmpty())
        status = newStatus;
    if (curProgress >= 0)
        percent = std::min(curProgress, 100);
    text = progressText.isEmpty() ? QStringLiteral("Progress:%1%").arg(percent) : progressText;
}
