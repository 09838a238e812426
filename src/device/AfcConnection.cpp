#include "device/AfcConnection.h"

#include "app/AppError.h"
#include "device/AfcPacket.h"
#include "device/PlistFraming.h"

#include <QTimeZone>

#include <cstring>
#include <stdexcept>

namespace {

const QString kHouseArrest = QStringLiteral("com.apple.mobile.house_arrest");
constexpr qint64 kReadChunk = 65536;

QString escapedXml(const CFType &plist)
{
    QString text = QString::fromUtf8(plist.toPlistData(CFType::XmlFormat));
    text.replace(QLatin1String("<"), QLatin1String("&lt;"));
    text.replace(QLatin1String(">"), QLatin1String("&gt;"));
    return text;
}

} // namespace

AfcConnection::AfcConnection(MobileDevicePtr device) : m_device(std::move(device)) {}

AfcConnection::AfcConnection(std::unique_ptr<MobileDeviceConnection> socket) : m_socket(std::move(socket)) {}

AfcConnection::~AfcConnection()
{
    close();
}

void AfcConnection::open(const QString &appId)
{
    close();
    if (!m_device)
        throw AppError("No iPhone to open the app container on.");
    std::unique_ptr<MobileDeviceConnection> socket = m_device->startService(kHouseArrest);
    vendContainer(*socket, appId, m_timeoutMs);
    m_socket = std::move(socket);
    m_brokenText.clear();
}

void AfcConnection::vendContainer(MobileDeviceConnection &socket, const QString &appId, int timeoutMs)
{
    CFType requestPlist = CFType::newDictionary();
    requestPlist.setValue(QStringLiteral("Command"), CFType::fromString(QStringLiteral("VendContainer")));
    requestPlist.setValue(QStringLiteral("Identifier"), CFType::fromString(appId));
    mobiledevice_sendmsg(socket, requestPlist, false, timeoutMs);
    const CFType reply = mobiledevice_recmsg(socket, requestPlist, timeoutMs);
    // A reply that is no dictionary at all (empty, garbled) grants nothing.
    if (!reply.isDictionary() || !reply.value(QStringLiteral("Error")).isNull())
        throw AppError(QStringLiteral("can not find %1.<br/>%2").arg(appId, escapedXml(reply)));
}

void AfcConnection::close()
{
    if (m_socket)
        m_socket->close();
    m_socket.reset();
}

void AfcConnection::broken(const QString &text)
{
    m_brokenText = text;
    throw AppError(text);
}

void AfcConnection::send(quint64 operation, const QByteArray &parameters)
{
    if (!m_socket)
        throw AppError("The AFC connection is closed.");
    if (!m_brokenText.isEmpty())
        throw AppError(m_brokenText);
    // Header and parameters leave in one write: two small writes would wait
    // for each other's acknowledgement on a TCP link.
    QByteArray packet = Afc::requestHeader(operation, m_packetNumber++, int(parameters.size()));
    packet += parameters;
    const int sent = m_socket->sendData(packet.constData(), int(packet.size()), m_timeoutMs);
    if (sent < Afc::kHeaderSize)
        broken(QStringLiteral("send AFC header (%1) error.").arg(operation));
    if (sent != packet.size())
        broken(QStringLiteral("send AFC content (%1) error.").arg(operation));
}

QByteArray AfcConnection::receive()
{
    char headerBytes[Afc::kHeaderSize];
    if (m_socket->receiveData(headerBytes, Afc::kHeaderSize, m_timeoutMs) < Afc::kHeaderSize)
        broken(QStringLiteral("read AFC header failed."));
    const Afc::Header header = Afc::parseHeader(headerBytes);
    if (!header.magicOk)
        broken(QStringLiteral("read AFC header failed."));
    QByteArray payload;
    if (header.entireLength > quint64(Afc::kHeaderSize)) {
        const quint64 length = header.entireLength - Afc::kHeaderSize;
        if (length > Afc::kMaxReplyPayload)
            broken(QStringLiteral("read AFC failed, the reply announces %1 bytes.").arg(length));
        payload.resize(qsizetype(length));
        if (m_socket->receiveData(payload.data(), int(length), m_timeoutMs) != int(length))
            broken(QStringLiteral("read AFC file block data failed."));
    }
    switch (header.operation) {
    case Afc::OpData:
    case Afc::OpFileOpenResult:
    case Afc::OpFilePositionResult:
        return payload;
    case Afc::OpStatus: {
        const quint64 status = Afc::firstUint64(payload);
        if (status != 0)
            throw AppError(QStringLiteral("read AFC failed, received AFC_OP_STATUS, param1=%1.").arg(status));
        return payload;
    }
    default:
        throw AppError(QStringLiteral("read AFC failed, Unknown operation code received %1, param1=%2.")
                           .arg(header.operation)
                           .arg(Afc::firstUint64(payload)));
    }
}

QByteArray AfcConnection::request(quint64 operation, const QByteArray &parameters)
{
    send(operation, parameters);
    return receive();
}

QStringList AfcConnection::listDirectory(const QString &path)
{
    return Afc::splitStrings(request(Afc::OpReadDir, Afc::pathParameter(path)));
}

QMap<QString, QString> AfcConnection::fileInfo(const QString &path)
{
    const QList<QString> strings = Afc::splitStrings(request(Afc::OpGetFileInfo, Afc::pathParameter(path)));
    QMap<QString, QString> info;
    for (qsizetype i = 0; i + 1 < strings.size(); i += 2)
        info.insert(strings.at(i), strings.at(i + 1));
    return info;
}

namespace {

AfcFileRecord recordFrom(const QString &path, const QByteArray &payload)
{
    const QList<QString> strings = Afc::splitStrings(payload);
    QMap<QString, QString> info;
    for (qsizetype i = 0; i + 1 < strings.size(); i += 2)
        info.insert(strings.at(i), strings.at(i + 1));
    AfcFileRecord record;
    bool ok = false;
    const qint64 size = info.value(QStringLiteral("st_size")).toLongLong(&ok);
    record.size = ok && size > 0 ? size : 0;
    record.kind = info.value(QStringLiteral("st_ifmt"));
    if (info.contains(QStringLiteral("st_mtime"))) {
        const qint64 nanoseconds = info.value(QStringLiteral("st_mtime")).toLongLong(&ok);
        if (ok)
            record.modified = QDateTime::fromMSecsSinceEpoch(nanoseconds / 1000000, Qt::UTC);
    }
    record.path = path;
    return record;
}

} // namespace

AfcFileRecord AfcConnection::fileRecord(const QString &path)
{
    try {
        return recordFrom(path, request(Afc::OpGetFileInfo, Afc::pathParameter(path)));
    } catch (const std::exception &) {
        return AfcFileRecord();
    }
}

QList<AfcFileRecord> AfcConnection::fileRecords(const QStringList &paths)
{
    QList<AfcFileRecord> records(paths.size());
    qsizetype sent = 0;
    qsizetype received = 0;
    try {
        while (received < paths.size()) {
            while (sent < paths.size() && sent - received < kPipelineDepth) {
                send(Afc::OpGetFileInfo, Afc::pathParameter(paths.at(sent)));
                ++sent;
            }
            try {
                records[received] = recordFrom(paths.at(received), receive());
            } catch (const std::exception &) {
                // A status error answers its own request only; a broken
                // stream ends the whole batch.
                if (!m_brokenText.isEmpty())
                    throw;
            }
            ++received;
        }
    } catch (const std::exception &) {
        for (qsizetype i = received; i < records.size(); ++i)
            records[i] = AfcFileRecord();
    }
    return records;
}

QList<AfcFileRecord> AfcConnection::listRecords(const QString &path)
{
    QStringList paths;
    try {
        const QStringList names = listDirectory(path);
        const QString prefix = path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
        for (const QString &name : names) {
            // A real listing never holds a slash; such a name would reach
            // another folder than the one listed.
            if (name == QLatin1String(".") || name == QLatin1String("..") || name.isEmpty()
                || name.contains(QLatin1Char('/')))
                continue;
            paths.append(prefix + name);
        }
    } catch (const std::exception &) {
        return {};
    }
    QList<AfcFileRecord> records;
    for (const AfcFileRecord &record : fileRecords(paths)) {
        if (record.isFile() || record.isFolder())
            records.append(record);
    }
    return records;
}

quint64 AfcConnection::openRead(const QString &path)
{
    try {
        const QByteArray reply =
            request(Afc::OpFileOpen, Afc::uint64Bytes(Afc::kModeReadOnly) + Afc::pathParameter(path));
        return Afc::firstUint64(reply);
    } catch (const std::exception &) {
        return 0;
    }
}

qint64 AfcConnection::read(quint64 handle, char *buffer, qint64 size)
{
    qint64 total = 0;
    try {
        while (total < size) {
            const qint64 wanted = qMin(size - total, kReadChunk);
            const QByteArray data =
                request(Afc::OpFileRead, Afc::uint64Bytes(handle) + Afc::uint64Bytes(quint64(wanted)));
            if (data.isEmpty())
                break;
            // More than was asked for is a broken reply, never written past
            // the buffer.
            if (data.size() > wanted)
                return -1;
            std::memcpy(buffer + total, data.constData(), size_t(data.size()));
            total += data.size();
        }
    } catch (const std::exception &) {
        return -1;
    }
    return total;
}

void AfcConnection::closeFile(quint64 &handle)
{
    if (handle == 0)
        return;
    try {
        request(Afc::OpFileClose, Afc::uint64Bytes(handle));
    } catch (const std::exception &) {
    }
    handle = 0;
}
