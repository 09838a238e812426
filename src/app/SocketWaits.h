// What the direct socket paths share on POSIX systems: how the system says
// "try again", how it says the peer is gone, and a wait for one descriptor.
#pragma once

#include <cerrno>

#include <poll.h>

namespace socketwaits {

inline bool wouldBlock(int error)
{
#if EWOULDBLOCK != EAGAIN
    if (error == EWOULDBLOCK)
        return true;
#endif
    return error == EAGAIN;
}

inline bool peerGone(int error)
{
    return error == EPIPE || error == ECONNRESET || error == ENOTCONN;
}

// Waits until `fd` has one of `events`; false after `timeoutMs` (0 only
// looks). An error counts as ready, so that the next call reports it.
inline bool waitFor(int fd, short events, int timeoutMs)
{
    pollfd p{fd, events, 0};
    for (;;) {
        const int n = ::poll(&p, 1, timeoutMs);
        if (n >= 0)
            return n > 0;
        if (errno != EINTR)
            return true;
    }
}

} // namespace socketwaits
