#include "MuxTestClient.h"

#include <QDeadlineTimer>
#include <QtEndian>

#include <plist/plist.h>

#include <memory>

namespace {

plist_t toPlist(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::QVariantMap: {
        plist_t dict = plist_new_dict();
        const QVariantMap map = value.toMap();
        for (auto it = map.begin(); it != map.end(); ++it)
            plist_dict_set_item(dict, it.key().toUtf8().constData(), toPlist(it.value()));
        return dict;
    }
    case QMetaType::Bool:
        return plist_new_bool(value.toBool());
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return plist_new_uint(value.toULongLong());
    default:
        return plist_new_string(value.toString().toUtf8().constData());
    }
}

QVariant fromPlist(plist_t node)
{
    switch (plist_get_node_type(node)) {
    case PLIST_DICT: {
        QVariantMap map;
        plist_dict_iter it = nullptr;
        plist_dict_new_iter(node, &it);
        for (uint32_t i = 0; i < plist_dict_get_size(node); ++i) {
            char *key = nullptr;
            plist_t item = nullptr;
            plist_dict_next_item(node, it, &key, &item);
            if (key)
                map.insert(QString::fromUtf8(key), fromPlist(item));
            free(key);
        }
        free(it);
        return map;
    }
    case PLIST_ARRAY: {
        QVariantList list;
        for (uint32_t i = 0; i < plist_array_get_size(node); ++i)
            list.append(fromPlist(plist_array_get_item(node, i)));
        return list;
    }
    case PLIST_STRING: {
        char *s = nullptr;
        plist_get_string_val(node, &s);
        const QString text = QString::fromUtf8(s);
        free(s);
        return text;
    }
    case PLIST_BOOLEAN: {
        uint8_t b = 0;
        plist_get_bool_val(node, &b);
        return bool(b);
    }
    case PLIST_UINT: {
        uint64_t v = 0;
        plist_get_uint_val(node, &v);
        return qulonglong(v);
    }
    case PLIST_DATA: {
        char *d = nullptr;
        uint64_t size = 0;
        plist_get_data_val(node, &d, &size);
        const QByteArray bytes(d, qsizetype(size));
        free(d);
        return bytes;
    }
    default:
        return {};
    }
}

QByteArray xmlOf(const QVariantMap &map)
{
    plist_t p = toPlist(map);
    char *xml = nullptr;
    uint32_t size = 0;
    plist_to_xml(p, &xml, &size);
    const QByteArray out(xml, qsizetype(size));
    free(xml);
    plist_free(p);
    return out;
}

QVariant parsed(const QByteArray &bytes)
{
    plist_t p = nullptr;
    plist_from_memory(bytes.constData(), uint32_t(bytes.size()), &p);
    if (!p)
        return {};
    const QVariant v = fromPlist(p);
    plist_free(p);
    return v;
}

} // namespace

MuxTestClient::MuxTestClient(int usbmuxdPort)
{
    m_socket.connectToHost(QStringLiteral("127.0.0.1"), quint16(usbmuxdPort));
    m_socket.waitForConnected(10000);
}

QByteArray MuxTestClient::readExact(qint64 size, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (m_socket.bytesAvailable() < size && !deadline.hasExpired()) {
        if (!m_socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
            break;
    }
    if (m_socket.bytesAvailable() < size)
        return {};
    return m_socket.read(size);
}

QVariantMap MuxTestClient::mux(const QVariantMap &request)
{
    QVariantMap full = request;
    full.insert(QStringLiteral("ClientVersionString"), QStringLiteral("emulator test"));
    full.insert(QStringLiteral("ProgName"), QStringLiteral("emulator-test"));
    full.insert(QStringLiteral("kLibUSBMuxVersion"), 3);
    const QByteArray body = xmlOf(full);
    QByteArray header(16, '\0');
    qToLittleEndian<quint32>(quint32(16 + body.size()), header.data());
    qToLittleEndian<quint32>(1, header.data() + 4);
    qToLittleEndian<quint32>(8, header.data() + 8);
    qToLittleEndian<quint32>(++m_tag, header.data() + 12);
    m_socket.write(header + body);
    m_socket.waitForBytesWritten(10000);
    return nextPushed();
}

QVariantMap MuxTestClient::nextPushed(int timeoutMs)
{
    const QByteArray header = readExact(16, timeoutMs);
    if (header.size() != 16)
        return {};
    const quint32 length = qFromLittleEndian<quint32>(header.constData());
    if (length < 16 || length > (1u << 20))
        return {};
    return parsed(readExact(length - 16)).toMap();
}

bool MuxTestClient::connectTo(quint32 deviceId, quint16 port)
{
    const QVariantMap reply = mux({{QStringLiteral("MessageType"), QStringLiteral("Connect")},
                                   {QStringLiteral("DeviceID"), deviceId},
                                   {QStringLiteral("PortNumber"), uint(qToBigEndian(port))}});
    return reply.value(QStringLiteral("MessageType")).toString() == QStringLiteral("Result")
           && reply.contains(QStringLiteral("Number")) && reply.value(QStringLiteral("Number")).toUInt() == 0;
}

void MuxTestClient::sendFramed(const QVariantMap &request)
{
    const QByteArray body = xmlOf(request);
    QByteArray length(4, '\0');
    qToBigEndian<quint32>(quint32(body.size()), length.data());
    write(length + body);
}

QVariant MuxTestClient::exchange(const QVariantMap &request)
{
    sendFramed(request);
    return readFramed();
}

QVariant MuxTestClient::readFramed()
{
    const QByteArray length = readExact(4);
    if (length.size() != 4)
        return {};
    const quint32 size = qFromBigEndian<quint32>(length.constData());
    if (size == 0 || size > (4u << 20))
        return {};
    return parsed(readExact(size));
}

MuxTestClient::AfcReply MuxTestClient::afc(quint64 operation, const QByteArray &parameters, int timeoutMs)
{
    QByteArray packet("CFA6LPAA");
    packet.resize(40);
    qToLittleEndian<quint64>(quint64(40 + parameters.size()), packet.data() + 8);
    qToLittleEndian<quint64>(quint64(40 + parameters.size()), packet.data() + 16);
    qToLittleEndian<quint64>(++m_afcPacket, packet.data() + 24);
    qToLittleEndian<quint64>(operation, packet.data() + 32);
    m_socket.write(packet + parameters);
    m_socket.waitForBytesWritten(10000);

    AfcReply reply;
    const QByteArray header = readExact(40, timeoutMs);
    if (header.size() != 40 || !header.startsWith("CFA6LPAA"))
        return reply;
    reply.entireLength = qFromLittleEndian<quint64>(header.constData() + 8);
    reply.packetNumber = qFromLittleEndian<quint64>(header.constData() + 24);
    reply.operation = qFromLittleEndian<quint64>(header.constData() + 32);
    if (reply.entireLength < 40 || reply.entireLength > (64u << 20))
        return reply;
    const QByteArray body = readExact(qint64(reply.entireLength - 40));
    if (body.size() != qint64(reply.entireLength - 40))
        return reply;
    reply.complete = true;
    if (reply.operation == 1 && body.size() >= 8)
        reply.status = qFromLittleEndian<quint64>(body.constData());
    else
        reply.data = body;
    return reply;
}

void MuxTestClient::write(const QByteArray &bytes)
{
    m_socket.write(bytes);
    m_socket.waitForBytesWritten(10000);
}

bool MuxTestClient::waitForClose(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (m_socket.state() == QAbstractSocket::ConnectedState && !deadline.hasExpired()) {
        m_socket.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
        m_socket.readAll();
    }
    return m_socket.state() != QAbstractSocket::ConnectedState;
}

QByteArray afcPath(const QString &path)
{
    return path.toUtf8() + '\0';
}

QByteArray afcHandle(quint64 handle, quint64 extra)
{
    QByteArray out(16, '\0');
    qToLittleEndian<quint64>(handle, out.data());
    qToLittleEndian<quint64>(extra, out.data() + 8);
    return out;
}
