// Where the blocks of a helper download go: the file being received. On
// systems that can, the bytes move from the socket into the file without
// passing through memory; elsewhere they are read into buffers that a
// thread of their own writes while the next blocks arrive.
#pragma once

#include <QString>

#include <memory>

class QFile;
class QIODevice;

class BlockSink
{
public:
    // `file` is open for writing and outlives the sink; `local` names it in
    // messages. `socket` is the channel the blocks arrive on.
    static std::unique_ptr<BlockSink> make(QIODevice *socket, QFile &file, const QString &local);
    virtual ~BlockSink() = default;

    // Takes the next `bytes` bytes of the socket into the file. Throws
    // SocketDataTransferException when the connection fails, and the write
    // failure (after telling the phone) when the file cannot be written.
    virtual void take(qint64 bytes, int timeoutMs) = 0;
    // Writes everything still held; throws as take() when that fails.
    virtual void finish() = 0;
};

// Tells the phone that the received file could not be written, and throws:
// DiskFullError when the disk is full, else "write file %1 failed. %2".
[[noreturn]] void throwWriteFailed(QIODevice *socket, const QFile &file, int systemError,
                                   const QString &errorText, const QString &local);
