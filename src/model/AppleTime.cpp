#include "model/AppleTime.h"

#include <cmath>

namespace AppleTime {
namespace {

// About ±100,000 years: far beyond any real time, small enough for QDateTime.
constexpr double kMaxSeconds = 3.0e12;

} // namespace

QDateTime toDateTime(double appleSeconds)
{
    if (!std::isfinite(appleSeconds) || std::fabs(appleSeconds) > kMaxSeconds)
        return QDateTime();
    const qint64 whole = qint64(std::trunc(appleSeconds));
    return QDateTime::fromSecsSinceEpoch(whole + kOffset, Qt::UTC);
}

qint64 toMsSince1970(double appleSeconds)
{
    if (!std::isfinite(appleSeconds) || std::fabs(appleSeconds) > kMaxSeconds)
        return 0;
    return qint64((appleSeconds + double(kOffset)) * 1000.0);
}

qint64 fromMsSince1970(qint64 ms)
{
    return ms / 1000 - kOffset;
}

qint64 fromSecondsSince1970(qint64 seconds)
{
    return seconds - kOffset;
}

QDateTime fromMs(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
}

} // namespace AppleTime
