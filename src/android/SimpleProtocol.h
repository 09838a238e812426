// The helper app's line protocol ("simpleprotocol"): lines of a command word
// starting with "$" and ending with ":", then the argument and a line feed;
// file content travels in "$block:" chunks acknowledged with ".".
//
// Every length the peer controls is bounded before anything is allocated:
// a line longer than kMaxLineBytes, a block larger than kMaxBlockBytes or a
// size that is no decimal number is a protocol error.
#pragma once

#include "app/AppError.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <stdexcept>

class QIODevice;

namespace DirectSocketIo {
struct Result;
}

namespace simpleprotocol {

inline constexpr qint64 kMaxLineBytes = 64 * 1024;
inline constexpr qint64 kMaxBlockBytes = 64 * 1024 * 1024;
// A wait "without limit" still ends after this long.
inline constexpr int kLongestWaitMs = 5 * 60 * 1000;

// A protocol or file error found here; the peer is told with "$error:".
class LocalException : public AppError
{
public:
    LocalException(QIODevice *socket, const QString &message);
};

// The peer reported an error ("$error:" + Base64 of its UTF-8 text).
class RemoteException : public AppError
{
public:
    explicit RemoteException(const QString &message);
};

// The connection failed, timed out or delivered an empty line.
class SocketDataTransferException : public AppError
{
public:
    explicit SocketDataTransferException(const QString &message);
};

// One line without its line feed (carriage returns dropped), each byte one
// Latin-1 character. `timeoutMs` -1 waits up to kLongestWaitMs.
QString readLine(QIODevice *socket, int timeoutMs);
// Reads exactly `size` bytes into `buffer`.
void readExact(QIODevice *socket, char *buffer, qint64 size, int timeoutMs);
void writeAll(QIODevice *socket, QByteArrayView bytes, bool flush, int timeoutMs);
inline void writeAll(QIODevice *socket, const QByteArray &bytes, bool flush, int timeoutMs)
{
    writeAll(socket, QByteArrayView(bytes), flush, timeoutMs);
}
void sendCommand(QIODevice *socket, const QString &command, const QString &argument, bool flush,
                 int timeoutMs);
// readLine; an empty line is "Null command.", "$error:" a RemoteException.
QString readReply(QIODevice *socket, int timeoutMs);
// readReply, and a LocalException "invalid feedback [%1], must be [%2]"
// when the line does not start with `prefix`.
QString expectReply(QIODevice *socket, const QString &prefix, int timeoutMs);

// The descriptor of a connected socket with nothing waiting in Qt's buffers
// in either direction, through which bytes may move past those buffers
// (DirectSocketIo); -1 for any other device.
qintptr directDescriptor(QIODevice *socket);
// Throws SocketDataTransferException for a DirectSocketIo call that was
// neither Done nor Unsupported.
void throwIfFailed(const DirectSocketIo::Result &result);

// The "$error:" argument for a message, and the message of one.
QString encodeError(const QString &message);
QString decodeError(const QString &argument);

// A size sent by the peer ("$block:" count, first field of "$file:"):
// decimal digits only, at most `limit`. Throws LocalException otherwise.
qint64 parseSize(QIODevice *socket, const QString &text, qint64 limit);

} // namespace simpleprotocol
