#include "device/PlistFraming.h"

#include "app/AppError.h"
#include "device/MobileDevice.h"

#include <QtEndian>

#include <stdexcept>

namespace {

constexpr int kLengthTimeoutMs = 60000;
constexpr int kQuotedPlistChars = 800;

QString quoted(const CFType &plist)
{
    return QString::fromUtf8(plist.toPlistData(CFType::XmlFormat)).left(kQuotedPlistChars);
}

[[noreturn]] void receiveFailed(const QString &text, const CFType &request)
{
    QString message = text;
    if (!request.isNull())
        message += QLatin1Char('\n') + quoted(request);
    throw AppError(message);
}

} // namespace

void mobiledevice_sendmsg(MobileDeviceConnection &connection, const CFType &plist, bool binary, int timeoutMs)
{
    const QByteArray body = plist.toPlistData(binary ? CFType::BinaryFormat : CFType::XmlFormat);
    if (body.isEmpty())
        return;
    char length[4];
    qToBigEndian(quint32(body.size()), length);
    if (connection.sendData(length, 4, timeoutMs) < 4)
        throw AppError(QStringLiteral("mobiledevice_sendmsg(msg-length) error.\n%1").arg(quoted(plist)));
    if (connection.sendData(body.constData(), int(body.size()), timeoutMs) != body.size())
        throw AppError(QStringLiteral("mobiledevice_sendmsg(msg) error.\n%1").arg(quoted(plist)));
}

CFType mobiledevice_recmsg(MobileDeviceConnection &connection, const CFType &request, int timeoutMs)
{
    char lengthBytes[4];
    const int got = connection.receiveData(lengthBytes, 4, kLengthTimeoutMs);
    if (got < 4)
        receiveFailed(
            QStringLiteral("mobiledevice_recmsg(msg-length) error, received length: %1.").arg(qMax(got, 0)),
            request);
    const quint32 length = qFromBigEndian<quint32>(lengthBytes);
    if (length == 0)
        return CFType();
    if (length > kMaxPlistMessageLength)
        receiveFailed(QStringLiteral("mobiledevice_recmsg(msg) error, received length: 0 "
                                     "(the announced length %1 is too large).")
                          .arg(length),
                      request);
    QByteArray body(qsizetype(length), Qt::Uninitialized);
    const int received = connection.receiveData(body.data(), int(length), timeoutMs);
    if (received != int(length))
        receiveFailed(
            QStringLiteral("mobiledevice_recmsg(msg) error, received length: %1.").arg(qMax(received, 0)),
            request);
    return CFType::fromPlistData(body);
}
