#include "android/HelperChannel.h"

#include "android/BlockSink.h"
#include "android/FilePipe.h"
#include "android/SimpleProtocol.h"
#include "app/AppError.h"
#include "app/DirectSocketIo.h"
#include "app/DiskFull.h"
#include "app/LogCategories.h"
#include "app/Translation.h"
#include "jobs/JobCancelled.h"
#include "jobs/JobProgress.h"

#include <QAbstractSocket>
#include <QDebug>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>

#include <algorithm>
#include <limits>

using namespace simpleprotocol;

namespace {

// What Qt reads ahead of the protocol on a socket.
constexpr qint64 kReadAheadBytes = 16 * 1024;
// Upload blocks read ahead of the socket.
constexpr int kReadBuffers = 3;
// Blocks come thousands of times a second; the progress is shown at most
// this often (besides the first and the last block), so that formatting and
// delivering it does not take the processor from the transfer.
constexpr qint64 kProgressIntervalMs = 50;

class ProgressPacer
{
public:
    ProgressPacer() { m_clock.start(); }
    // Whether to show this report: the first, the last, and one per interval.
    bool due(bool last)
    {
        if (!m_first && !last && m_clock.elapsed() < kProgressIntervalMs)
            return false;
        m_first = false;
        m_clock.restart();
        return true;
    }

private:
    QElapsedTimer m_clock;
    bool m_first = true;
};

// The file being received: removed again unless the download completes.
class PartialFile
{
public:
    explicit PartialFile(const QString &path) : m_file(path) {}
    ~PartialFile()
    {
        if (!m_done) {
            m_file.close();
            m_file.remove();
        }
    }
    QFile &file() { return m_file; }
    void keep() { m_done = true; }

private:
    QFile m_file;
    bool m_done = false;
};

} // namespace

HelperChannel::HelperChannel(std::unique_ptr<QIODevice> socket, JobProgress *progress)
    : AndroidChannel(progress), m_socket(std::move(socket))
{
    // Qt reads only a little ahead (enough for the lines), so that the
    // bytes of a block mostly go from the system straight to the disk
    // writer's buffers instead of through Qt's buffer.
    if (auto *tcp = qobject_cast<QAbstractSocket *>(m_socket.get()))
        tcp->setReadBufferSize(kReadAheadBytes);
}

HelperChannel::~HelperChannel()
{
    close();
}

void HelperChannel::close()
{
    if (!m_socket)
        return;
    try {
        sendCommand(m_socket.get(), QStringLiteral("$bye:"), QString(), true, 2000);
    } catch (const std::exception &) {
        // The phone may be gone; closing is all that is left to do.
    }
    m_socket->close();
    m_socket.reset();
}

bool HelperChannel::downloadFile(const QString &remote, const QString &name, const QString &local,
                                 bool overwrite)
{
    if (keepExisting(local, overwrite))
        return true;
    if (!m_socket)
        throw SocketDataTransferException(QStringLiteral("The channel to the phone is closed."));
    reportDownload(remote, name);
    QIODevice *s = m_socket.get();
    if (name.isEmpty())
        sendCommand(s, QStringLiteral("$dload:"), remote, true, kReplyTimeoutMs);
    else
        sendCommand(s, QStringLiteral("$dloadex:"),
                    QString::fromLatin1(remote.toUtf8().toBase64()) + QLatin1Char(',')
                        + QString::fromLatin1(name.toUtf8().toBase64()),
                    true, kReplyTimeoutMs);
    const QString header = expectReply(s, QStringLiteral("$file:"), kReplyTimeoutMs);
    const QString sizeField = header.mid(6).section(QLatin1Char(','), 0, 0);
    const qint64 total =
        sizeField.trimmed().isEmpty() ? 0 : parseSize(s, sizeField, std::numeric_limits<qint64>::max() / 2);
    receiveBlocks(local, total);
    if (QFileInfo(local).size() > 0)
        return true;
    QFile::remove(local);
    qCDebug(lcAndroid, "file is empty, %s, rx=%s", qUtf8Printable(name), qUtf8Printable(remote));
    return false;
}

void HelperChannel::receiveBlocks(const QString &local, qint64 total)
{
    QIODevice *s = m_socket.get();
    PartialFile partial(local);
    if (!partial.file().open(QIODevice::WriteOnly))
        throw AppError(QStringLiteral("create %1 error. %2").arg(local, partial.file().errorString()));
    // The disk writes one block while the socket brings the next: a block is
    // acknowledged once it is here, and the transfer is confirmed only after
    // every block is on the disk.
    const std::unique_ptr<BlockSink> sink = BlockSink::make(s, partial.file(), local);
    ProgressPacer pacer;
    qint64 received = 0;
    try {
        for (;;) {
            if (cancelled())
                throw JobCancelled();
            const QString line = readReply(s, kReplyTimeoutMs);
            if (line == QLatin1String(".")) {
                // A copy shorter than announced is no copy of the phone's file.
                if (received < total)
                    throw LocalException(s, QStringLiteral("The phone sent %1 of the %2 bytes it announced.")
                                                .arg(received)
                                                .arg(total));
                sink->finish();
                sendCommand(s, QStringLiteral("$file:"), QString(), true, kReplyTimeoutMs);
                partial.file().close();
                partial.keep();
                return;
            }
            if (!line.startsWith(QLatin1String("$block:")))
                throw LocalException(s, QStringLiteral("invalid command(.,$block:), %1").arg(line));
            const qint64 length = parseSize(s, line.mid(7), kMaxBlockBytes);
            if (total > 0 && received + length > total)
                throw LocalException(
                    s, QStringLiteral("The phone sent more than the %1 bytes it announced.").arg(total));
            sink->take(length, kReplyTimeoutMs);
            received += length;
            sendCommand(s, QStringLiteral("."), QString(), true, kReplyTimeoutMs);
            if (pacer.due(received >= total))
                JobReport::progress(progress(), QString(), -1, transferDetail(received, total));
        }
    } catch (const JobCancelled &) {
        throw;
    } catch (const DiskFullError &) {
        throw;
    } catch (const std::exception &e) {
        throw AppError(e.what());
    }
}

void HelperChannel::uploadFile(const QString &local, const QString &remote)
{
    if (!m_socket)
        throw SocketDataTransferException(QStringLiteral("The channel to the phone is closed."));
    QIODevice *s = m_socket.get();
    sendCommand(s, QStringLiteral("$file:"), remote, true, kReplyTimeoutMs);
    QFile file(local);
    if (!file.open(QIODevice::ReadOnly))
        throw LocalException(s, QStringLiteral("open %1 failed. %2").arg(local, file.errorString()));
    const qint64 total = file.size();
    const QString title = ids("IDS_UPLOADING_FILE_%1").arg(QFileInfo(local).fileName());
    const qintptr direct = DirectSocketIo::canSendFile() ? directDescriptor(s) : -1;
    if (direct >= 0 && file.handle() >= 0)
        sendBlocksFromFile(file, direct, total, title);
    else
        sendBlocksThroughMemory(file, total, title);
    sendCommand(s, QStringLiteral("."), QString(), true, kReplyTimeoutMs);
    expectReply(s, QStringLiteral("$file:"), kReplyTimeoutMs);
}

void HelperChannel::sendBlocksFromFile(QFile &file, qintptr socket, qint64 total, const QString &title)
{
    QIODevice *s = m_socket.get();
    ProgressPacer pacer;
    for (qint64 sent = 0; sent < total;) {
        if (cancelled())
            throw JobCancelled();
        const qint64 length = std::min(kUploadBlockBytes, total - sent);
        if (pacer.due(sent + length >= total))
            JobReport::progress(progress(), title, -1, transferDetail(sent + length, total));
        // The line goes out first, then the system sends the block's bytes
        // straight from the file.
        sendCommand(s, QStringLiteral("$block:"), QString::number(length), true, kReplyTimeoutMs);
        const DirectSocketIo::Result result =
            DirectSocketIo::sendFile(socket, file.handle(), sent, length, kReplyTimeoutMs);
        if (result.status != DirectSocketIo::Status::Done) {
            // Part of a block is out: the phone waits for the rest, so the
            // connection is of no further use.
            abandon();
            if (result.status == DirectSocketIo::Status::Failed)
                throw AppError(QStringLiteral("read %1 failed. %2").arg(file.fileName(), result.error));
            throwIfFailed(result);
            throw SocketDataTransferException(QStringLiteral("The file could not be sent."));
        }
        sent += length;
        expectReply(s, QStringLiteral("."), kReplyTimeoutMs);
    }
}

void HelperChannel::sendBlocksThroughMemory(QFile &file, qint64 total, const QString &title)
{
    QIODevice *s = m_socket.get();
    // The disk reads the next blocks while the socket sends this one.
    BackgroundFileReader reader(file, kReadBuffers, kUploadBlockBytes);
    ProgressPacer pacer;
    qint64 sent = 0;
    for (;;) {
        if (cancelled())
            throw JobCancelled();
        const QByteArrayView block = reader.next();
        if (block.isEmpty()) {
            if (reader.failed())
                throw LocalException(
                    s, QStringLiteral("read %1 failed. %2").arg(file.fileName(), reader.errorString()));
            return;
        }
        sent += block.size();
        if (pacer.due(sent >= total))
            JobReport::progress(progress(), title, -1, transferDetail(sent, total));
        sendCommand(s, QStringLiteral("$block:"), QString::number(block.size()), false, kReplyTimeoutMs);
        writeAll(s, block, true, kReplyTimeoutMs);
        expectReply(s, QStringLiteral("."), kReplyTimeoutMs);
    }
}

void HelperChannel::abandon()
{
    if (!m_socket)
        return;
    m_socket->close();
    m_socket.reset();
}

int HelperChannel::suCommand(const QString &command)
{
    if (!m_socket)
        throw SocketDataTransferException(QStringLiteral("The channel to the phone is closed."));
    if (command.contains(QLatin1Char('\n')) || command.contains(QLatin1Char('\r')))
        throw AppError("A superuser command must be one line.");
    QIODevice *s = m_socket.get();
    sendCommand(s, QStringLiteral("$sucmd:"), command, true, kReplyTimeoutMs);
    const QString reply = expectReply(s, QStringLiteral("$sucmd:"), kReplyTimeoutMs);
    bool ok = false;
    const int status = reply.mid(7).trimmed().toInt(&ok);
    if (!ok)
        throw LocalException(s, QStringLiteral("invalid feedback [%1], must be [%2]")
                                    .arg(reply, QStringLiteral("$sucmd:<status>")));
    qCDebug(lcAndroid, "su command, %s return %d.", qUtf8Printable(command), status);
    return status;
}
