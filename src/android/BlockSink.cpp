#include "android/BlockSink.h"

#include "android/FilePipe.h"
#include "android/SimpleProtocol.h"
#include "app/DirectSocketIo.h"
#include "app/DiskFull.h"
#include "app/SocketToFile.h"

#include <QAbstractSocket>
#include <QFile>

#include <algorithm>

using namespace simpleprotocol;

namespace {

// Received blocks are written in pieces of at most kChunkBytes; a few of
// them wait for the disk while the next arrive.
constexpr qint64 kChunkBytes = 1024 * 1024;
constexpr int kWriteBuffers = 4;
// What Qt read ahead of a block is taken in pieces of this size.
constexpr qint64 kReadAheadPieceBytes = 16 * 1024;

// Blocks read into memory and written by a thread of their own.
class MemoryBlockSink : public BlockSink
{
public:
    MemoryBlockSink(QIODevice *socket, QFile &file, const QString &local)
        : m_socket(socket), m_file(file), m_local(local), m_writer(file, kWriteBuffers, kChunkBytes)
    {}

    void take(qint64 bytes, int timeoutMs) override
    {
        // Small blocks gather in one buffer: the disk gets a few large
        // writes and the writing thread is woken once per buffer.
        while (bytes > 0) {
            char *buffer = m_writer.buffer();
            if (!buffer)
                failed();
            const qint64 n = std::min(bytes, m_writer.bufferBytes() - m_buffered);
            readExact(m_socket, buffer + m_buffered, n, timeoutMs);
            m_buffered += n;
            if (m_buffered == m_writer.bufferBytes()) {
                m_writer.commit(m_buffered);
                m_buffered = 0;
            }
            bytes -= n;
        }
        if (m_writer.failed())
            failed();
    }

    void finish() override
    {
        if (m_buffered > 0)
            m_writer.commit(m_buffered);
        m_buffered = 0;
        if (!m_writer.finish())
            failed();
    }

private:
    [[noreturn]] void failed()
    {
        throwWriteFailed(m_socket, m_file, m_writer.systemError(), m_writer.errorString(), m_local);
    }

    QIODevice *m_socket;
    QFile &m_file;
    QString m_local;
    BackgroundFileWriter m_writer;
    // Bytes in the writer's current buffer, not yet handed to it.
    qint64 m_buffered = 0;
};

// Blocks moved by the system from the socket into the file, through a pipe
// that a thread of its own empties into the file while the next arrive.
class DirectBlockSink : public BlockSink
{
public:
    DirectBlockSink(QAbstractSocket *socket, QFile &file, const QString &local)
        : m_socket(socket), m_file(file), m_local(local), m_direct(file.handle())
    {}

    bool isAvailable() const { return m_direct.isAvailable(); }

    void take(qint64 bytes, int timeoutMs) override
    {
        // What Qt read ahead with the block's line comes first.
        while (bytes > 0 && m_socket->bytesAvailable() > 0) {
            char piece[kReadAheadPieceBytes];
            const qint64 n = m_socket->read(piece, std::min(bytes, kReadAheadPieceBytes));
            if (n <= 0)
                throw SocketDataTransferException(m_socket->errorString());
            check(m_direct.write(QByteArrayView(piece, n)));
            bytes -= n;
        }
        if (bytes == 0)
            return;
        const qintptr descriptor = directDescriptor(m_socket);
        if (descriptor < 0) {
            // Not connected any more, or bytes still to be sent: Qt says why.
            char piece[kReadAheadPieceBytes];
            for (; bytes > 0; bytes -= std::min(bytes, kReadAheadPieceBytes)) {
                const qint64 n = std::min(bytes, kReadAheadPieceBytes);
                readExact(m_socket, piece, n, timeoutMs);
                check(m_direct.write(QByteArrayView(piece, n)));
            }
            return;
        }
        check(m_direct.receive(descriptor, bytes, timeoutMs));
        check(m_direct.fileStatus());
    }

    void finish() override { check(m_direct.finish()); }

private:
    void check(const SocketToFile::Result &result)
    {
        using Status = SocketToFile::Status;
        switch (result.status) {
        case Status::Done:
            return;
        case Status::FileFailed:
            throwWriteFailed(m_socket, m_file, result.systemError, result.error, m_local);
        case Status::Closed:
            throwIfFailed({DirectSocketIo::Status::Closed, 0, result.error});
            break;
        case Status::TimedOut:
            throwIfFailed({DirectSocketIo::Status::TimedOut, 0, result.error});
            break;
        case Status::SocketFailed:
            break;
        }
        throwIfFailed({DirectSocketIo::Status::Failed, 0, result.error});
        throw SocketDataTransferException(result.error);
    }

    QAbstractSocket *m_socket;
    QFile &m_file;
    QString m_local;
    SocketToFile m_direct;
};

} // namespace

std::unique_ptr<BlockSink> BlockSink::make(QIODevice *socket, QFile &file, const QString &local)
{
    if (auto *tcp = qobject_cast<QAbstractSocket *>(socket); tcp && file.handle() >= 0) {
        auto direct = std::make_unique<DirectBlockSink>(tcp, file, local);
        if (direct->isAvailable())
            return direct;
    }
    return std::make_unique<MemoryBlockSink>(socket, file, local);
}

void throwWriteFailed(QIODevice *socket, const QFile &file, int systemError, const QString &errorText,
                      const QString &local)
{
    if (isDiskFullFileError(file, systemError)) {
        const DiskFullError full(local);
        LocalException tell(socket, QString::fromUtf8(full.what()));
        throw full;
    }
    throw LocalException(socket, QStringLiteral("write file %1 failed. %2").arg(local, errorText));
}
