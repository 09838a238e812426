// Moves bytes from a connected socket into a file through a pipe: the system
// hands the socket's bytes to the pipe without copying them, and a thread of
// this object's own moves them from the pipe into the file, which copies
// each byte once (splice on Linux). Reading them into memory and writing
// them out again costs a second copy of every byte.
//
// Where the system offers no such path, isAvailable() is false and the
// caller reads through memory. When a descriptor turns out not to take part
// (a socket or file system without splice), the bytes go through memory
// instead, in the same order.
//
// The caller owns the socket and the file, and Qt must hold no unread bytes
// of the socket when receive() is called.
#pragma once

#include <QByteArrayView>
#include <QString>

#include <atomic>
#include <memory>
#include <thread>

class SocketToFile
{
public:
    enum class Status {
        Done,
        Closed,       // the peer closed or reset the connection
        TimedOut,     // nothing arrived for the whole wait
        SocketFailed, // another socket error; `error` says which
        FileFailed,   // writing the file failed; `systemError` says why
    };
    struct Result
    {
        Status status = Status::Done;
        int systemError = 0;
        QString error;
    };

    static constexpr qint64 kDefaultPipeBytes = 1024 * 1024;

    // `fileHandle` is open for writing (QFile::handle()); the bytes are
    // written at its position. The pipe asks for `pipeBytes` of room.
    explicit SocketToFile(int fileHandle, qint64 pipeBytes = kDefaultPipeBytes);
    // Stops the thread; bytes not yet in the file are dropped.
    ~SocketToFile();
    SocketToFile(const SocketToFile &) = delete;
    SocketToFile &operator=(const SocketToFile &) = delete;

    bool isAvailable() const { return m_thread.joinable(); }
    // Takes exactly `bytes` bytes from the socket, waiting at most
    // `timeoutMs` for each part of them. They reach the file soon after;
    // FileFailed tells of a write that failed before.
    Result receive(qintptr socket, qint64 bytes, int timeoutMs);
    // Writes `bytes` from memory after everything received before.
    Result write(QByteArrayView bytes);
    // Done, or the first failed write of the file.
    Result fileStatus() const;
    // Waits until every byte taken is in the file; no more may be taken.
    Result finish();

private:
    void drain();
    Result receiveThroughMemory(int socket, qint64 bytes, int timeoutMs, qint64 *received);
    // Waits until the pipe has room; false once the file failed.
    bool waitForRoom();
    void fail(int error);

    int m_file;
    int m_pipe[2] = {-1, -1};
    qint64 m_capacity = 0;
    bool m_socketSplices = true;
    std::atomic<bool> m_failed = false;
    std::atomic<bool> m_stopping = false;
    int m_fileError = 0; // written before m_failed is set
    std::unique_ptr<char[]> m_memory;
    std::thread m_thread;
};
