// A service connection over one end of a local socket pair, for tests that
// play the phone's side on the other end.
#pragma once

#include "device/MobileDevice.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <utility>

class SocketPairConnection : public MobileDeviceConnection
{
public:
    explicit SocketPairConnection(int fd) : m_fd(fd) {}
    ~SocketPairConnection() override { close(); }

    // Two connected ends: the first for the client, the second for the peer.
    static std::pair<int, int> makePair()
    {
        int fds[2] = {-1, -1};
        if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0)
            return {-1, -1};
        return {fds[0], fds[1]};
    }

    int waitSocket(int timeoutMs, bool forReading) override
    {
        pollfd entry{m_fd, short(forReading ? POLLIN : POLLOUT), 0};
        return ::poll(&entry, 1, timeoutMs >= 1 ? timeoutMs : -1);
    }
    int sendData(const char *data, int length, int timeoutMs) override
    {
        int total = 0;
        while (total < length && waitSocket(timeoutMs, false) > 0) {
            const ssize_t sent = ::send(m_fd, data + total, size_t(length - total), MSG_NOSIGNAL);
            if (sent <= 0)
                break;
            total += int(sent);
        }
        return total;
    }
    int receiveData(char *buffer, int length, int timeoutMs) override
    {
        int total = 0;
        while (total < length && waitSocket(timeoutMs, true) > 0) {
            const ssize_t got = ::recv(m_fd, buffer + total, size_t(length - total), 0);
            if (got <= 0)
                break;
            total += int(got);
        }
        return total;
    }
    void close() override
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd;
};
