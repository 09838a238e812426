// The WiFi connection job against a stand-in for the helper app on this
// machine: the control port answers the channel request, then the channel
// delivers the device information.
#include "android/AndroidConnectWithWiFiThread.h"
#include "jobs/HeadlessProgress.h"
#include "jobs/JobRunner.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

#include <gtest/gtest.h>

#include <thread>

namespace {

QByteArray readLine(QTcpSocket &socket)
{
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(10000))
            return QByteArray();
    }
    return socket.readLine().trimmed();
}

// Serves one WiFi connection: `controlReply` to the channel request, then,
// when it accepts, "$ready:" and `hello` on the channel.
// `busy` tells that the channel port was taken (another test process may
// listen on the same port at the same moment).
void serveHelper(QTcpServer *control, QByteArray controlReply, QByteArray hello, QByteArray *request,
                 bool *busy)
{
    if (!control->waitForNewConnection(20000))
        return;
    std::unique_ptr<QTcpSocket> socket(control->nextPendingConnection());
    *request = readLine(*socket);
    QTcpServer channel;
    const int port = QUrl(QString::fromLatin1(*request)).port();
    const bool listening = channel.listen(QHostAddress::LocalHost, quint16(port));
    *busy = !listening;
    socket->write(controlReply + "\n");
    socket->waitForBytesWritten(5000);
    socket->waitForDisconnected(5000);
    if (!listening || !controlReply.startsWith('1') || !channel.waitForNewConnection(20000))
        return;
    std::unique_ptr<QTcpSocket> peer(channel.nextPendingConnection());
    peer->write("$ready:\n" + hello + "\n");
    peer->waitForBytesWritten(5000);
    readLine(*peer); // "$bye:"
}

struct WifiResult
{
    HeadlessProgress::Result result;
    QString error;
    AndroidDevice device;
    QByteArray request;
};

WifiResult connectOnce(const QByteArray &controlReply, const QByteArray &hello)
{
    WifiResult out;
    bool busy = false;
    QTcpServer control;
    if (!control.listen(QHostAddress::LocalHost, kHelperWifiControlPort))
        return {HeadlessProgress::Running, QStringLiteral("port busy"), {}, {}};
    control.moveToThread(nullptr);
    std::thread helper([&] {
        control.moveToThread(QThread::currentThread());
        serveHelper(&control, controlReply, hello, &out.request, &busy);
        control.close();
    });
    HeadlessProgress progress;
    AndroidConnectWithWiFiThread job(QStringLiteral("127.0.0.1"), &progress);
    JobRunner::runToEnd(job);
    helper.join();
    out.result = progress.result();
    out.error = progress.errorText();
    out.device = job.device();
    if (busy)
        return {HeadlessProgress::Running, QStringLiteral("port busy"), {}, {}};
    return out;
}

// The job picks a new channel port each time: a port some other process held
// is tried again a few times before the test gives up.
WifiResult connectOverWifi(const QByteArray &controlReply, const QByteArray &hello)
{
    WifiResult out;
    for (int attempt = 0; attempt < 5; ++attempt) {
        out = connectOnce(controlReply, hello);
        if (out.result != HeadlessProgress::Running)
            break;
    }
    return out;
}

} // namespace

TEST(AndroidWifiConnect, ReadsTheDeviceOrTheRefusal)
{
    const WifiResult ok = connectOverWifi(
        "1", "$hello:version=312;model=Pixel 7;manufacturer=Google;imei=35693803;uid=u-1;sdk=13;sdk_id=33;"
             "root=1;storage1=/storage/emulated/0/;");
    if (ok.result == HeadlessProgress::Running)
        GTEST_SKIP() << "the helper's WiFi control port is in use on this machine";
    ASSERT_EQ(ok.result, HeadlessProgress::Succeeded) << ok.error.toStdString();
    EXPECT_TRUE(ok.request.startsWith("backup://127.0.0.1:")) << ok.request.constData();
    EXPECT_TRUE(ok.request.endsWith("/device-info"));
    EXPECT_TRUE(ok.device.overWifi);
    EXPECT_EQ(ok.device.deviceKey(), QStringLiteral("u-1"));
    EXPECT_EQ(ok.device.displayName(), QStringLiteral("Google Pixel 7"));
    EXPECT_EQ(ok.device.apiLevel, 33);
    EXPECT_TRUE(ok.device.rooted);

    const WifiResult refused = connectOverWifi("0" + QByteArray("root access denied").toBase64(), {});
    ASSERT_EQ(refused.result, HeadlessProgress::Failed);
    EXPECT_TRUE(refused.error.startsWith(QStringLiteral("start backup://127.0.0.1:")))
        << refused.error.toStdString();
    EXPECT_TRUE(refused.error.endsWith(QStringLiteral("/device-info failed.root access denied")))
        << refused.error.toStdString();

    const WifiResult old = connectOverWifi("1", "$hello:model=X;");
    ASSERT_EQ(old.result, HeadlessProgress::Failed);
    EXPECT_TRUE(old.error.contains(QStringLiteral("too old. 3.1.1 needed"))) << old.error.toStdString();
}
