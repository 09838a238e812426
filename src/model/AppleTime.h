// Conversions between Apple's time base (seconds since 2001-01-01 UTC) and
// Unix time.
#pragma once

#include <QDateTime>

namespace AppleTime {

inline constexpr qint64 kOffset = 978307200; // seconds from 1970 to 2001

// Apple seconds, truncated to whole seconds, as a UTC date-time; invalid for
// values that are not finite or lie outside the supported range.
QDateTime toDateTime(double appleSeconds);
qint64 toMsSince1970(double appleSeconds);
qint64 fromMsSince1970(qint64 ms);
qint64 fromSecondsSince1970(qint64 seconds);

// Milliseconds since 1970 as a UTC date-time.
QDateTime fromMs(qint64 ms);

} // namespace AppleTime
