#include "android/HelperConnection.h"

#include "android/AdbRunner.h"
#include "android/SimpleProtocol.h"
#include "app/AppError.h"
#include "app/LogCategories.h"
#include "jobs/JobCancelled.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

#include <stdexcept>

namespace HelperConnection {

namespace {

constexpr int kPortAttempts = 5;

// Every block waits for a one-line answer: short lines go out at once
// instead of waiting for more data to join them.
void setLowDelay(QTcpSocket &socket)
{
    socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
}

// A port of this computer that nothing listens on right now, chosen by the
// system; the next port of the usual sequence when none can be had. The
// sequence depends only on the clock, so another program that follows it (or
// holds its ports) would keep colliding with us.
int freeLocalPort()
{
    QTcpServer probe;
    if (probe.listen(QHostAddress::LocalHost, 0)) {
        const int port = probe.serverPort();
        probe.close();
        return port;
    }
    return nextChannelPort();
}

std::unique_ptr<QTcpSocket> openUsb(const AndroidDevice &device, const QString &requestedUrl, int timeoutMs,
                                    const std::atomic<bool> *cancelled)
{
    // The desktop port may be taken by another program: a few other ports
    // are tried before giving up.
    QString url = requestedUrl;
    int port = QUrl(url).port();
    for (int attempt = 1;; ++attempt) {
        adbActivityManager(device.serial, QStringLiteral("broadcast"),
                           QString::fromLatin1(kHelperPackage) + QStringLiteral("/.AdbSyncBroadcastReceiver"),
                           QString(), url, {}, QString());
        try {
            adbForward(device.serial, port, port);
            break;
        } catch (const std::runtime_error &e) {
            if (attempt >= kPortAttempts
                || !QString::fromUtf8(e.what()).contains(QLatin1String("cannot bind")))
                throw;
        }
        QUrl next(url);
        next.setPort(port = freeLocalPort());
        url = next.toString();
    }
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        if (cancelled && cancelled->load())
            throw JobCancelled();
        auto socket = std::make_unique<QTcpSocket>();
        socket->connectToHost(QStringLiteral("127.0.0.1"), quint16(port));
        if (!socket->waitForConnected(5000))
            continue;
        try {
            simpleprotocol::expectReply(socket.get(), QStringLiteral("$ready:"), 5000);
            setLowDelay(*socket);
            return socket;
        } catch (const std::exception &) {
            qCDebug(lcAndroid, "connect %s failed, try again...", qUtf8Printable(url));
        }
    }
    throw AppError(QStringLiteral("start %1 failed.").arg(url));
}

std::unique_ptr<QTcpSocket> openWifi(const AndroidDevice &device, const QString &url, int timeoutMs)
{
    QTcpSocket control;
    control.connectToHost(device.address, quint16(device.controlPort));
    if (!control.waitForConnected(10000))
        throw AppError(QStringLiteral("can not connect %1:%2.").arg(device.address).arg(device.controlPort));
    simpleprotocol::writeAll(&control, url.toUtf8() + '\n', true, 10000);
    const QString reply = simpleprotocol::readReply(&control, 10000);
    control.close();
    if (reply.startsWith(QLatin1Char('0')))
        throw AppError(
            QStringLiteral("start %1 failed.%2").arg(url, simpleprotocol::decodeError(reply.mid(1))));
    auto socket = std::make_unique<QTcpSocket>();
    socket->connectToHost(device.address, quint16(QUrl(url).port()));
    if (!socket->waitForConnected(timeoutMs))
        throw AppError(QStringLiteral("connec %1 failed.").arg(url));
    simpleprotocol::expectReply(socket.get(), QStringLiteral("$ready:"), timeoutMs);
    setLowDelay(*socket);
    return socket;
}

} // namespace

QString deviceInfoUrl(int port)
{
    return QStringLiteral("backup://127.0.0.1:%1/device-info").arg(port);
}

QString downloadUrl(int port)
{
    return QStringLiteral("backup://127.0.0.1:%1/download").arg(port);
}

QString uploadUrl(int port)
{
    return QStringLiteral("restore://127.0.0.1:%1/upload").arg(port);
}

std::unique_ptr<QTcpSocket> openChannel(const AndroidDevice &device, const QString &url, int timeoutMs,
                                        const std::atomic<bool> *cancelled)
{
    return device.overWifi ? openWifi(device, url, timeoutMs) : openUsb(device, url, timeoutMs, cancelled);
}

QString wifiAddressFrom(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d{1,3}\\.\\d{1,3}\\.\\d{1,3}\\.\\d{1,3})$"));
    const QRegularExpressionMatch m = pattern.match(text.trimmed());
    return m.hasMatch() ? m.captured(1) : QString();
}

QString tooOldMessage()
{
    return QStringLiteral(
               "Velloran Marrowlink on Android is too old. %1 needed. Please update it from Google Play.")
        .arg(QString::fromLatin1(kHelperMinimumVersion));
}

void readDeviceInfo(AndroidDevice &device, const std::atomic<bool> *cancelled)
{
    const QString url = deviceInfoUrl(nextChannelPort());
    const std::unique_ptr<QTcpSocket> socket = openChannel(device, url, kChannelTimeoutMs, cancelled);
    const QString hello = simpleprotocol::readReply(socket.get(), kChannelTimeoutMs);
    try {
        simpleprotocol::sendCommand(socket.get(), QStringLiteral("$bye:"), QString(), true, 2000);
    } catch (const std::exception &) {
        // The information has arrived; a failed goodbye changes nothing.
    }
    socket->close();
    parseDeviceInfo(hello.mid(7), device);
    if (device.helperVersion <= 0)
        throw AppError(tooOldMessage());
    device.access = AndroidDevice::Access::Helper;
}

} // namespace HelperConnection
