#include "FuzzSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <algorithm>
#include <cstring>
#include <memory>

namespace Fuzz {
namespace {

void dropMessage(QtMsgType, const QMessageLogContext &, const QString &) {}

QTemporaryDir &scratch()
{
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/velloran-fuzz-XXXXXX"));
    return dir;
}

} // namespace

void quietLog()
{
    static const bool installed = [] {
        qInstallMessageHandler(dropMessage);
        return true;
    }();
    (void)installed;
}

QByteArray bytes(const std::uint8_t *data, std::size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

QString scratchFolder()
{
    return scratch().path();
}

void clearScratch()
{
    QDir dir(scratchFolder());
    for (const QString &name :
         dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System)) {
        const QString path = dir.filePath(name);
        if (QFileInfo(path).isDir() && !QFileInfo(path).isSymLink())
            QDir(path).removeRecursively();
        else
            QFile::remove(path);
    }
}

PeerDevice::PeerDevice(QByteArray said) : m_said(std::move(said))
{
    open(QIODevice::ReadWrite | QIODevice::Unbuffered);
}

qint64 PeerDevice::bytesAvailable() const
{
    return (m_said.size() - m_position) + QIODevice::bytesAvailable();
}

qint64 PeerDevice::readData(char *data, qint64 maxSize)
{
    const qint64 n = std::min<qint64>(maxSize, m_said.size() - m_position);
    if (n <= 0)
        return 0;
    std::memcpy(data, m_said.constData() + m_position, size_t(n));
    m_position += n;
    return n;
}

qint64 PeerDevice::writeData(const char *, qint64 size)
{
    return size;
}

int PeerConnection::waitSocket(int, bool forReading)
{
    return !forReading || m_position < m_said.size() ? 1 : 0;
}

int PeerConnection::sendData(const char *, int length, int)
{
    return length;
}

int PeerConnection::receiveData(char *buffer, int length, int)
{
    const int n = int(std::min<qint64>(std::max(length, 0), m_said.size() - m_position));
    if (n > 0)
        std::memcpy(buffer, m_said.constData() + m_position, size_t(n));
    m_position += n;
    return n;
}

} // namespace Fuzz
