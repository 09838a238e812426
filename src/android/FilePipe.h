// A file written or read on a thread of its own, block by block, while the
// caller moves the blocks over a socket: the disk and the socket work at the
// same time. A fixed set of buffers goes round between the two threads, so
// nothing is allocated per block and at most `buffers` × `bufferBytes` bytes
// are held.
#pragma once

#include "android/BlockQueue.h"

#include <QByteArrayView>
#include <QString>

#include <atomic>
#include <memory>
#include <optional>
#include <thread>

class QFile;

namespace filepipe {

struct Buffer
{
    std::unique_ptr<char[]> data;
    qint64 size = 0;
};

} // namespace filepipe

class BackgroundFileWriter
{
public:
    // `file` is open for writing and outlives the writer.
    BackgroundFileWriter(QFile &file, int buffers, qint64 bufferBytes);
    // Stops the thread; blocks not yet written are dropped.
    ~BackgroundFileWriter();
    BackgroundFileWriter(const BackgroundFileWriter &) = delete;
    BackgroundFileWriter &operator=(const BackgroundFileWriter &) = delete;

    qint64 bufferBytes() const { return m_bufferBytes; }
    // The buffer to fill next (bufferBytes() long); nullptr once a write failed.
    char *buffer();
    // Queues the first `size` bytes of buffer() for writing.
    void commit(qint64 size);
    // Waits until every committed block is written and flushed; false when
    // a write failed.
    bool finish();
    bool failed() const { return m_failed.load(); }
    // Why the first failed write failed: Qt's text and the system's error
    // number (0 when unknown).
    QString errorString() const;
    int systemError() const;

private:
    void run();

    QFile &m_file;
    qint64 m_bufferBytes;
    BasicBlockQueue<filepipe::Buffer> m_free;
    BasicBlockQueue<filepipe::Buffer> m_filled;
    std::optional<filepipe::Buffer> m_current;
    std::atomic<bool> m_failed = false;
    QString m_error;
    int m_errno = 0;
    std::thread m_thread;
};

class BackgroundFileReader
{
public:
    // `file` is open for reading and outlives the reader; reading starts at once.
    BackgroundFileReader(QFile &file, int buffers, qint64 bufferBytes);
    ~BackgroundFileReader();
    BackgroundFileReader(const BackgroundFileReader &) = delete;
    BackgroundFileReader &operator=(const BackgroundFileReader &) = delete;

    // The next block of the file, valid until the next call; empty at the
    // end of the file and after a failed read (then failed() is true).
    QByteArrayView next();
    bool failed() const { return m_failed.load(); }
    QString errorString() const;

private:
    void run();

    QFile &m_file;
    qint64 m_bufferBytes;
    BasicBlockQueue<filepipe::Buffer> m_free;
    BasicBlockQueue<filepipe::Buffer> m_filled;
    std::optional<filepipe::Buffer> m_current;
    std::atomic<bool> m_failed = false;
    QString m_error;
    std::thread m_thread;
};
