// Moves bytes between a connected socket and memory or a file through the
// system's own calls, bypassing Qt's socket buffers. Large transfers save a
// copy of every byte that way (and, for files, the read into memory too).
//
// The caller owns the socket (a QAbstractSocket's descriptor) and must not
// have unread or unsent bytes in Qt's buffers when it calls these, or the
// order of the bytes on the wire would change. Where a system offers no such
// path the calls answer Unsupported and the caller goes through Qt.
#pragma once

#include <QString>

namespace DirectSocketIo {

enum class Status {
    Done,
    Unsupported,
    Closed,   // the peer closed or reset the connection
    TimedOut, // nothing moved for the whole wait
    Failed,   // another error; `error` says which
};

struct Result
{
    Status status = Status::Unsupported;
    qint64 bytes = 0;
    QString error;
};

// Receives between 1 and `size` bytes into `buffer`, waiting at most
// `timeoutMs` for the first of them.
Result receive(qintptr socket, char *buffer, qint64 size, int timeoutMs);

// Whether sendFile() can work here at all.
bool canSendFile();

// Sends `bytes` bytes of the file open as `fileHandle` (QFile::handle())
// through a non-blocking socket (a blocking one is Unsupported),
// starting at `offset`, all of them: Done only when every byte went. Each
// wait for room in the socket lasts at most `timeoutMs`. A file that ends
// before `offset + bytes` is Failed. The peer closing never raises a signal.
Result sendFile(qintptr socket, int fileHandle, qint64 offset, qint64 bytes, int timeoutMs);

} // namespace DirectSocketIo
