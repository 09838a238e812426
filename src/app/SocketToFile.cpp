#include "app/SocketToFile.h"

#include "app/DirectSocketIo.h"

#include <algorithm>

#ifdef __linux__
#include <cerrno>
#include <cstring>

#include "app/SocketWaits.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

// The piece moved through memory when a descriptor cannot splice.
constexpr qint64 kMemoryBytes = 64 * 1024;

#ifdef __linux__
using socketwaits::waitFor;
using socketwaits::wouldBlock;

QString systemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

SocketToFile::Result socketFailure(int error)
{
    return {socketwaits::peerGone(error) ? SocketToFile::Status::Closed : SocketToFile::Status::SocketFailed,
            error, systemText(error)};
}

// Errors by which splice says a descriptor does not take part.
bool cannotSplice(int error)
{
    return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

bool writeAll(int fd, const char *data, qint64 size, int *error)
{
    for (qint64 done = 0; done < size;) {
        const ssize_t n = ::write(fd, data + done, size_t(size - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        *error = n < 0 ? errno : EIO;
        return false;
    }
    return true;
}
#endif

} // namespace

#ifdef __linux__

SocketToFile::SocketToFile(int fileHandle, qint64 pipeBytes) : m_file(fileHandle)
{
    if (m_file < 0 || ::pipe2(m_pipe, O_CLOEXEC) != 0) {
        m_pipe[0] = m_pipe[1] = -1;
        return;
    }
    // Only the receiving end waits on its own terms; the thread that
    // writes the file blocks on the pipe until bytes or its end come.
    ::fcntl(m_pipe[1], F_SETFL, ::fcntl(m_pipe[1], F_GETFL) | O_NONBLOCK);
    // A pipe smaller than asked for (the system's limit) only means more,
    // smaller writes.
    ::fcntl(m_pipe[1], F_SETPIPE_SZ, int(std::min<qint64>(pipeBytes, 1 << 30)));
    m_capacity = ::fcntl(m_pipe[1], F_GETPIPE_SZ);
    if (m_capacity <= 0) {
        ::close(m_pipe[0]);
        ::close(m_pipe[1]);
        m_pipe[0] = m_pipe[1] = -1;
        return;
    }
    m_thread = std::thread([this] { drain(); });
}

SocketToFile::~SocketToFile()
{
    m_stopping = true;
    if (m_pipe[1] >= 0)
        ::close(m_pipe[1]);
    if (m_thread.joinable())
        m_thread.join();
    if (m_pipe[0] >= 0)
        ::close(m_pipe[0]);
}

void SocketToFile::drain()
{
    bool splices = true;
    std::unique_ptr<char[]> buffer;
    for (;;) {
        // After a failure, or once the owner stops, the pipe is only
        // emptied, so that the receiving side never waits for room.
        const bool keep = !m_failed.load() && !m_stopping.load();
        if (keep && splices) {
            const ssize_t n =
                ::splice(m_pipe[0], nullptr, m_file, nullptr, size_t(m_capacity), SPLICE_F_MOVE);
            if (n > 0)
                continue;
            if (n == 0)
                return; // the receiving end is closed and everything is written
            if (errno == EINTR)
                continue;
            if (cannotSplice(errno)) {
                splices = false;
                continue;
            }
            fail(errno);
            continue;
        }
        if (!buffer)
            buffer = std::make_unique<char[]>(size_t(kMemoryBytes));
        const ssize_t n = ::read(m_pipe[0], buffer.get(), size_t(kMemoryBytes));
        if (n == 0)
            return;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail(errno);
            return;
        }
        int error = 0;
        if (keep && !writeAll(m_file, buffer.get(), n, &error))
            fail(error);
    }
}

void SocketToFile::fail(int error)
{
    if (m_failed.load())
        return;
    m_fileError = error;
    m_failed.store(true);
}

SocketToFile::Result SocketToFile::fileStatus() const
{
    if (!m_failed.load())
        return {};
    return {Status::FileFailed, m_fileError, systemText(m_fileError)};
}

SocketToFile::Result SocketToFile::finish()
{
    if (m_pipe[1] >= 0) {
        ::close(m_pipe[1]);
        m_pipe[1] = -1;
    }
    if (m_thread.joinable())
        m_thread.join();
    return fileStatus();
}

bool SocketToFile::waitForRoom()
{
    // The thread empties the pipe as fast as the disk takes it, and on
    // failure without writing: a wait ends once the disk moves at all.
    while (!m_failed.load()) {
        if (waitFor(m_pipe[1], POLLOUT, 1000))
            return true;
    }
    return false;
}

SocketToFile::Result SocketToFile::receive(qintptr socket, qint64 bytes, int timeoutMs)
{
    const int fd = int(socket);
    if (m_pipe[1] < 0 || fd < 0)
        return {Status::SocketFailed, 0, QStringLiteral("The connection cannot be read.")};
    // A blocking socket would make splice wait without limit.
    if ((::fcntl(fd, F_GETFL) & O_NONBLOCK) == 0)
        m_socketSplices = false;
    qint64 left = bytes;
    // Set when the socket is readable and the pipe has room but splice
    // took nothing: the next piece goes through memory, so no loop spins.
    bool stuck = false;
    while (left > 0) {
        if (m_failed.load())
            return fileStatus();
        if (!m_socketSplices || stuck) {
            qint64 received = 0;
            if (const Result result = receiveThroughMemory(fd, left, timeoutMs, &received);
                result.status != Status::Done)
                return result;
            left -= received;
            stuck = false;
            continue;
        }
        const ssize_t n = ::splice(fd, nullptr, m_pipe[1], nullptr, size_t(std::min(left, m_capacity)),
                                   SPLICE_F_MOVE | SPLICE_F_NONBLOCK);
        if (n > 0) {
            left -= n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && cannotSplice(errno)) {
            m_socketSplices = false;
            continue;
        }
        if (n < 0 && !wouldBlock(errno))
            return socketFailure(errno);
        // Nothing moved: the pipe is full, the socket is empty, or (0) the
        // peer closed it. Each is waited for on its own, since a wait on
        // both would end at once whenever either is ready.
        if (!waitFor(m_pipe[1], POLLOUT, 0)) {
            if (!waitForRoom())
                return fileStatus();
            continue;
        }
        if (n < 0 && !waitFor(fd, POLLIN, 0)) {
            if (!waitFor(fd, POLLIN, timeoutMs))
                return {Status::TimedOut, 0, QString()};
            continue;
        }
        stuck = true; // memory tells an end from a piece splice will not take
    }
    return {};
}

SocketToFile::Result SocketToFile::receiveThroughMemory(int socket, qint64 bytes, int timeoutMs,
                                                        qint64 *received)
{
    if (!m_memory)
        m_memory = std::make_unique<char[]>(size_t(kMemoryBytes));
    const DirectSocketIo::Result got =
        DirectSocketIo::receive(socket, m_memory.get(), std::min(bytes, kMemoryBytes), timeoutMs);
    switch (got.status) {
    case DirectSocketIo::Status::Done:
        *received = got.bytes;
        return write(QByteArrayView(m_memory.get(), got.bytes));
    case DirectSocketIo::Status::Closed:
        return {Status::Closed, 0, got.error};
    case DirectSocketIo::Status::TimedOut:
        return {Status::TimedOut, 0, QString()};
    case DirectSocketIo::Status::Unsupported:
    case DirectSocketIo::Status::Failed:
        break;
    }
    return {Status::SocketFailed, 0, got.error};
}

SocketToFile::Result SocketToFile::write(QByteArrayView bytes)
{
    if (m_pipe[1] < 0)
        return {Status::FileFailed, EBADF, systemText(EBADF)};
    qint64 done = 0;
    while (done < bytes.size()) {
        if (m_failed.load())
            return fileStatus();
        const ssize_t n = ::write(m_pipe[1], bytes.data() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && wouldBlock(errno)) {
            if (!waitForRoom())
                return fileStatus();
            continue;
        }
        return {Status::FileFailed, n < 0 ? errno : EIO, systemText(n < 0 ? errno : EIO)};
    }
    return fileStatus();
}

#else

// Other systems read through memory; the caller sees isAvailable() false.
SocketToFile::SocketToFile(int fileHandle, qint64) : m_file(fileHandle) {}

SocketToFile::~SocketToFile() = default;

void SocketToFile::drain() {}

void SocketToFile::fail(int error)
{
    m_fileError = error;
    m_failed = true;
}

SocketToFile::Result SocketToFile::fileStatus() const
{
    return {};
}

SocketToFile::Result SocketToFile::finish()
{
    return {};
}

bool SocketToFile::waitForRoom()
{
    return false;
}

SocketToFile::Result SocketToFile::receive(qintptr, qint64, int)
{
    return {Status::SocketFailed, 0, QStringLiteral("The connection cannot be read.")};
}

SocketToFile::Result SocketToFile::receiveThroughMemory(int, qint64, int, qint64 *)
{
    return receive(0, 0, 0);
}

SocketToFile::Result SocketToFile::write(QByteArrayView)
{
    return {Status::FileFailed, 0, QStringLiteral("The file cannot be written.")};
}

#endif
