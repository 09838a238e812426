#include "android/SimpleProtocol.h"

#include "app/DirectSocketIo.h"

#include <QAbstractSocket>
#include <QIODevice>

namespace simpleprotocol {

namespace {

int bounded(int timeoutMs)
{
    return timeoutMs < 0 ? kLongestWaitMs : timeoutMs;
}

QString errorText(QIODevice *socket)
{
    const QString text = socket->errorString();
    return text.isEmpty() ? QStringLiteral("Unknown error") : text;
}

void waitForData(QIODevice *socket, int timeoutMs)
{
    if (socket->bytesAvailable() > 0)
        return;
    if (!socket->waitForReadyRead(bounded(timeoutMs)) && socket->bytesAvailable() <= 0) {
        const auto *tcp = qobject_cast<QAbstractSocket *>(socket);
        if (tcp && tcp->state() != QAbstractSocket::ConnectedState)
            throw SocketDataTransferException(
                QStringLiteral("The connection to the phone was closed. %1").arg(errorText(socket)));
        throw SocketDataTransferException(errorText(socket));
    }
}

// Reads of at least this many bytes go past Qt's buffer when it is empty;
// shorter ones (the lines) are left to Qt, which reads ahead in bulk.
constexpr qint64 kDirectReadBytes = 16 * 1024;

} // namespace

qintptr directDescriptor(QIODevice *socket)
{
    const auto *tcp = qobject_cast<QAbstractSocket *>(socket);
    if (!tcp || tcp->state() != QAbstractSocket::ConnectedState || tcp->bytesAvailable() > 0
        || tcp->bytesToWrite() > 0)
        return -1;
    return tcp->socketDescriptor();
}

void throwIfFailed(const DirectSocketIo::Result &result)
{
    switch (result.status) {
    case DirectSocketIo::Status::Done:
    case DirectSocketIo::Status::Unsupported:
        return;
    case DirectSocketIo::Status::Closed:
        throw SocketDataTransferException(
            QStringLiteral("The connection to the phone was closed. %1")
                .arg(result.error.isEmpty() ? QStringLiteral("The remote host closed the connection")
                                            : result.error));
    case DirectSocketIo::Status::TimedOut:
        throw SocketDataTransferException(QStringLiteral("Socket operation timed out"));
    case DirectSocketIo::Status::Failed:
        break;
    }
    throw SocketDataTransferException(result.error);
}

LocalException::LocalException(QIODevice *socket, const QString &message) : AppError(message)
{
    if (!socket)
        return;
    try {
        sendCommand(socket, QStringLiteral("$error:"), encodeError(message), true, 5000);
    } catch (const std::exception &) {
        // The peer may be gone already; the local error is what counts.
    }
}

RemoteException::RemoteException(const QString &message) : AppError(message) {}

SocketDataTransferException::SocketDataTransferException(const QString &message) : AppError(message) {}

QString readLine(QIODevice *socket, int timeoutMs)
{
    QByteArray line;
    for (;;) {
        waitForData(socket, timeoutMs);
        char c = 0;
        while (socket->getChar(&c)) {
            if (c == '\n')
                return QString::fromLatin1(line);
            if (c == '\r')
                continue;
            if (line.size() >= kMaxLineBytes)
                throw LocalException(
                    socket, QStringLiteral("The phone sent a line longer than %1 bytes.").arg(kMaxLineBytes));
            line.append(c);
        }
    }
}

void readExact(QIODevice *socket, char *buffer, qint64 size, int timeoutMs)
{
    qint64 done = 0;
    while (done < size) {
        // Large reads skip the copy through Qt's buffer once it is empty.
        if (const qintptr direct = size - done >= kDirectReadBytes ? directDescriptor(socket) : -1;
            direct >= 0) {
            const DirectSocketIo::Result result =
                DirectSocketIo::receive(direct, buffer + done, size - done, bounded(timeoutMs));
            if (result.status != DirectSocketIo::Status::Unsupported) {
                throwIfFailed(result);
                done += result.bytes;
                continue;
            }
        }
        waitForData(socket, timeoutMs);
        const qint64 n = socket->read(buffer + done, size - done);
        if (n < 0)
            throw SocketDataTransferException(errorText(socket));
        done += n;
    }
}

void writeAll(QIODevice *socket, QByteArrayView bytes, bool flush, int timeoutMs)
{
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 n = socket->write(bytes.data() + done, bytes.size() - done);
        if (n < 0)
            throw SocketDataTransferException(errorText(socket));
        if (n == 0 && !socket->waitForBytesWritten(bounded(timeoutMs)))
            throw SocketDataTransferException(errorText(socket));
        done += n;
    }
    if (!flush)
        return;
    while (socket->bytesToWrite() > 0) {
        if (!socket->waitForBytesWritten(bounded(timeoutMs)))
            throw SocketDataTransferException(errorText(socket));
    }
}

void sendCommand(QIODevice *socket, const QString &command, const QString &argument, bool flush,
                 int timeoutMs)
{
    writeAll(socket, (command + argument).toUtf8() + '\n', flush, timeoutMs);
}

QString readReply(QIODevice *socket, int timeoutMs)
{
    const QString line = readLine(socket, timeoutMs);
    if (line.isEmpty())
        throw SocketDataTransferException(QStringLiteral("Null command."));
    if (line.startsWith(QLatin1String("$error:")))
        throw RemoteException(decodeError(line.mid(7)));
    return line;
}

QString expectReply(QIODevice *socket, const QString &prefix, int timeoutMs)
{
    const QString line = readReply(socket, timeoutMs);
    if (!line.startsWith(prefix))
        throw LocalException(socket, QStringLiteral("invalid feedback [%1], must be [%2]").arg(line, prefix));
    return line;
}

QString encodeError(const QString &message)
{
    return QString::fromLatin1(message.toUtf8().toBase64());
}

QString decodeError(const QString &argument)
{
    return QString::fromUtf8(QByteArray::fromBase64(argument.toLatin1()));
}

qint64 parseSize(QIODevice *socket, const QString &text, qint64 limit)
{
    const QString digits = text.trimmed();
    bool ok = !digits.isEmpty() && digits.size() <= 18;
    for (const QChar c : digits)
        ok = ok && c >= QLatin1Char('0') && c <= QLatin1Char('9');
    const qint64 value = ok ? digits.toLongLong(&ok) : -1;
    if (!ok || value < 0 || value > limit)
        throw LocalException(socket,
                             QStringLiteral("The phone announced an invalid size [%1].").arg(text.left(40)));
    return value;
}

} // namespace simpleprotocol
