#include "device/AfcPacket.h"

#include <QList>
#include <QString>
#include <QtEndian>

#include <cstring>

namespace Afc {

QByteArray uint64Bytes(quint64 value)
{
    QByteArray bytes(8, Qt::Uninitialized);
    qToLittleEndian(value, bytes.data());
    return bytes;
}

quint64 firstUint64(const QByteArray &bytes)
{
    return bytes.size() >= 8 ? qFromLittleEndian<quint64>(bytes.constData()) : 0;
}

QByteArray requestHeader(quint64 operation, quint64 packetNumber, int parameterBytes)
{
    const quint64 length = quint64(kHeaderSize) + quint64(qMax(parameterBytes, 0));
    QByteArray header(kMagic, 8);
    header += uint64Bytes(length);
    header += uint64Bytes(length);
    header += uint64Bytes(packetNumber);
    header += uint64Bytes(operation);
    return header;
}

Header parseHeader(const char *bytes)
{
    Header header;
    header.magicOk = std::memcmp(bytes, kMagic, 8) == 0;
    header.entireLength = qFromLittleEndian<quint64>(bytes + 8);
    header.thisLength = qFromLittleEndian<quint64>(bytes + 16);
    header.packetNumber = qFromLittleEndian<quint64>(bytes + 24);
    header.operation = qFromLittleEndian<quint64>(bytes + 32);
    return header;
}

QByteArray pathParameter(const QString &path)
{
    QByteArray bytes = path.toUtf8();
    bytes.append('\0');
    return bytes;
}

QList<QString> splitStrings(const QByteArray &payload)
{
    QList<QString> strings;
    qsizetype start = 0;
    while (start < payload.size()) {
        qsizetype end = payload.indexOf('\0', start);
        if (end < 0)
            end = payload.size();
        strings.append(QString::fromUtf8(payload.constData() + start, end - start));
        start = end + 1;
    }
    return strings;
}

} // namespace Afc
