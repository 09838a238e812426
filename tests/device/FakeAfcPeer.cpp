#include "FakeAfcPeer.h"

#include "SocketPairConnection.h"

#include <QStringList>

#include <sys/socket.h>
#include <unistd.h>

namespace {

QByteArray le64(quint64 value)
{
    QByteArray bytes;
    for (int i = 0; i < 8; ++i)
        bytes.append(char((value >> (8 * i)) & 0xff));
    return bytes;
}

quint64 readLe64(const char *bytes)
{
    quint64 value = 0;
    for (int i = 7; i >= 0; --i)
        value = (value << 8) | quint8(bytes[i]);
    return value;
}

bool readAll(int fd, char *buffer, size_t length)
{
    size_t total = 0;
    while (total < length) {
        const ssize_t got = ::recv(fd, buffer + total, length - total, 0);
        if (got <= 0)
            return false;
        total += size_t(got);
    }
    return true;
}

QString parentOf(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

QString cString(const QByteArray &bytes, qsizetype from = 0)
{
    const qsizetype end = bytes.indexOf('\0', from);
    return QString::fromUtf8(bytes.mid(from, end < 0 ? -1 : end - from));
}

} // namespace

FakeAfcPeer::FakeAfcPeer()
{
    std::tie(m_clientFd, m_peerFd) = SocketPairConnection::makePair();
    m_entries.insert(QStringLiteral("/"), FakeAfcEntry{QStringLiteral("S_IFDIR"), {}, 0});
}

FakeAfcPeer::~FakeAfcPeer()
{
    if (m_peerFd >= 0)
        ::shutdown(m_peerFd, SHUT_RDWR);
    if (m_thread.joinable())
        m_thread.join();
    if (m_peerFd >= 0)
        ::close(m_peerFd);
    if (m_clientFd >= 0)
        ::close(m_clientFd);
}

void FakeAfcPeer::addFolder(const QString &path)
{
    QMutexLocker lock(&m_mutex);
    for (QString folder = path; folder != QLatin1String("/"); folder = parentOf(folder))
        m_entries.insert(folder, FakeAfcEntry{QStringLiteral("S_IFDIR"), {}, 1500000000});
}

void FakeAfcPeer::addEntry(const QString &path, const FakeAfcEntry &entry)
{
    addFolder(parentOf(path));
    QMutexLocker lock(&m_mutex);
    m_entries.insert(path, entry);
}

void FakeAfcPeer::addFile(const QString &path, const QByteArray &data, qint64 mtimeSeconds)
{
    addEntry(path, FakeAfcEntry{QStringLiteral("S_IFREG"), data, mtimeSeconds});
}

std::unique_ptr<MobileDeviceConnection> FakeAfcPeer::clientConnection()
{
    const int fd = m_clientFd;
    m_clientFd = -1;
    return std::make_unique<SocketPairConnection>(fd);
}

void FakeAfcPeer::start()
{
    m_thread = std::thread([this] { serve(); });
}

QByteArray FakeAfcPeer::packet(quint64 operation, const QByteArray &payload)
{
    QByteArray bytes("CFA6LPAA");
    bytes += le64(40 + quint64(payload.size()));
    bytes += le64(operation == 2 ? 40 : 40 + quint64(payload.size()));
    bytes += le64(0);
    bytes += le64(operation);
    return bytes + payload;
}

QByteArray FakeAfcPeer::status(quint64 code)
{
    return packet(1, le64(code));
}

void FakeAfcPeer::serve()
{
    for (;;) {
        char header[40];
        if (!readAll(m_peerFd, header, sizeof header))
            return;
        const quint64 entire = readLe64(header + 8);
        const quint64 operation = readLe64(header + 32);
        if (entire < 40 || entire > 40 + 1024 * 1024)
            return;
        QByteArray parameters(qsizetype(entire - 40), '\0');
        if (!parameters.isEmpty() && !readAll(m_peerFd, parameters.data(), size_t(parameters.size())))
            return;
        QByteArray reply;
        std::optional<QByteArray> faulty = fault ? fault(operation, parameters) : std::nullopt;
        reply = faulty ? *faulty : answer(operation, parameters);
        if (!reply.isEmpty() && ::send(m_peerFd, reply.constData(), size_t(reply.size()), MSG_NOSIGNAL) < 0)
            return;
    }
}

QByteArray FakeAfcPeer::answer(quint64 operation, const QByteArray &parameters)
{
    QMutexLocker lock(&m_mutex);
    switch (operation) {
    case 3: { // read directory
        const QString path = cString(parameters);
        const auto it = m_entries.constFind(path);
        if (it == m_entries.cend())
            return status(8);
        if (it->kind != QLatin1String("S_IFDIR"))
            return status(4);
        QByteArray names(".\0..\0", 5);
        const QString prefix = path == QLatin1String("/") ? path : path + QLatin1Char('/');
        for (auto entry = m_entries.cbegin(); entry != m_entries.cend(); ++entry) {
            if (entry.key() != path && parentOf(entry.key()) == path)
                names += entry.key().mid(prefix.size()).toUtf8() + '\0';
        }
        return packet(2, names);
    }
    case 10: { // file information
        const auto it = m_entries.constFind(cString(parameters));
        if (it == m_entries.cend())
            return status(8);
        QByteArray info;
        const auto pair = [&info](const char *key, const QByteArray &value) {
            info += QByteArray(key) + '\0' + value + '\0';
        };
        pair("st_size", QByteArray::number(it->data.size()));
        pair("st_blocks", "8");
        pair("st_nlink", "1");
        pair("st_ifmt", it->kind.toUtf8());
        pair("st_mtime", QByteArray::number(it->mtimeSeconds * 1000000000LL + 123456789));
        pair("st_birthtime", QByteArray::number(it->mtimeSeconds * 1000000000LL));
        return packet(2, info);
    }
    case 13: { // open
        const QString path = cString(parameters, 8);
        const auto it = m_entries.constFind(path);
        if (it == m_entries.cend() || it->kind != QLatin1String("S_IFREG"))
            return status(8);
        ++opens;
        const quint64 handle = m_nextHandle++;
        m_open.insert(handle, {path, 0});
        return packet(14, le64(handle));
    }
    case 15: { // read
        if (parameters.size() < 16)
            return status(7);
        const quint64 handle = readLe64(parameters.constData());
        const quint64 count = readLe64(parameters.constData() + 8);
        auto open = m_open.find(handle);
        if (open == m_open.end())
            return status(7);
        if (readErrorAfter >= 0 && reads >= readErrorAfter)
            return status(4);
        ++reads;
        const QByteArray &data = m_entries.value(open->first).data;
        const QByteArray chunk = data.mid(open->second, qsizetype(count));
        open->second += chunk.size();
        return packet(2, chunk);
    }
    case 20: // close
        m_open.remove(readLe64(parameters.constData()));
        return status(0);
    default:
        return status(9);
    }
}
