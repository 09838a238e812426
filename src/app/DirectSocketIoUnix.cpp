#include "app/DirectSocketIo.h"

#include "app/SocketWaits.h"

#include <cerrno>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#ifdef __linux__
#include <sys/sendfile.h>
#endif

namespace DirectSocketIo {

namespace {

using socketwaits::peerGone;
using socketwaits::waitFor;
using socketwaits::wouldBlock;

Result failure(int error)
{
    if (peerGone(error))
        return {Status::Closed, 0, QString::fromLocal8Bit(std::strerror(error))};
    return {Status::Failed, 0, QString::fromLocal8Bit(std::strerror(error))};
}

#ifdef __linux__
// sendfile() has no MSG_NOSIGNAL: while it runs, SIGPIPE is held back for
// this thread, and one it raised is taken away again, so that a phone that
// goes away ends the transfer with an error instead of the program.
class SigpipeHeld
{
public:
    SigpipeHeld()
    {
        sigemptyset(&m_pipe);
        sigaddset(&m_pipe, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        m_wasPending = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &m_pipe, &m_previous);
    }
    ~SigpipeHeld()
    {
        if (!m_wasPending) {
            sigset_t pending;
            sigpending(&pending);
            if (sigismember(&pending, SIGPIPE) == 1) {
                const timespec none{0, 0};
                while (sigtimedwait(&m_pipe, nullptr, &none) < 0 && errno == EINTR) {
                }
            }
        }
        pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
    }
    SigpipeHeld(const SigpipeHeld &) = delete;
    SigpipeHeld &operator=(const SigpipeHeld &) = delete;

private:
    sigset_t m_pipe;
    sigset_t m_previous;
    bool m_wasPending = false;
};
#endif

} // namespace

Result receive(qintptr socket, char *buffer, qint64 size, int timeoutMs)
{
    const int fd = int(socket);
    if (fd < 0 || size <= 0)
        return {Status::Unsupported, 0, QString()};
    for (;;) {
        const ssize_t n = ::recv(fd, buffer, size_t(size), MSG_DONTWAIT);
        if (n > 0)
            return {Status::Done, qint64(n), QString()};
        if (n == 0)
            return {Status::Closed, 0, QString()};
        if (errno == EINTR)
            continue;
        if (!wouldBlock(errno))
            return failure(errno);
        if (!waitFor(fd, POLLIN, timeoutMs))
            return {Status::TimedOut, 0, QString()};
    }
}

bool canSendFile()
{
#ifdef __linux__
    return true;
#else
    return false;
#endif
}

Result sendFile(qintptr socket, int fileHandle, qint64 offset, qint64 bytes, int timeoutMs)
{
#ifdef __linux__
    const int fd = int(socket);
    // On a blocking socket sendfile() would wait without limit; Qt's
    // sockets never block.
    if (fd < 0 || fileHandle < 0 || offset < 0 || bytes < 0 || (::fcntl(fd, F_GETFL) & O_NONBLOCK) == 0)
        return {Status::Unsupported, 0, QString()};
    const SigpipeHeld held;
    off_t position = off_t(offset);
    const off_t end = off_t(offset + bytes);
    while (position < end) {
        const ssize_t n = ::sendfile(fd, fileHandle, &position, size_t(end - position));
        if (n > 0)
            continue;
        if (n == 0)
            return {Status::Failed, qint64(position - offset), QStringLiteral("The file ended early.")};
        if (errno == EINTR)
            continue;
        if (!wouldBlock(errno)) {
            Result result = failure(errno);
            result.bytes = qint64(position - offset);
            return result;
        }
        if (!waitFor(fd, POLLOUT, timeoutMs))
            return {Status::TimedOut, qint64(position - offset), QString()};
    }
    return {Status::Done, bytes, QString()};
#else
    Q_UNUSED(socket);
    Q_UNUSED(fileHandle);
    Q_UNUSED(offset);
    Q_UNUSED(bytes);
    Q_UNUSED(timeoutMs);
    return {Status::Unsupported, 0, QString()};
#endif
}

} // namespace DirectSocketIo
