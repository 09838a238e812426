// The WiFi dialog: which addresses it takes, and that a connection to a
// stand-in for the phone's helper app on this machine ends the dialog
// carrying the phone, while a refusal leaves it open without one.
#include "android/gui/AndroidWIFIForm.h"
#include "android/AndroidDevice.h"
#include "app/Translation.h"
#include "ui/ModalScript.h"

#include <QHostAddress>
#include <QLineEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QUrl>

#include <gtest/gtest.h>

#include <memory>
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

// The helper app as seen over WiFi: its control port answers the channel
// request with `controlReply`; when that accepts ("1"), the channel sends
// "$ready:" and the device information. Runs on its own thread; every wait
// is bounded.
class StandInHelper
{
public:
    explicit StandInHelper(QByteArray controlReply) : m_reply(std::move(controlReply)) {}
    ~StandInHelper()
    {
        if (m_thread.joinable())
            m_thread.join();
    }

    bool start()
    {
        if (!m_control.listen(QHostAddress::LocalHost, kHelperWifiControlPort))
            return false;
        m_control.moveToThread(nullptr);
        m_thread = std::thread([this] {
            m_control.moveToThread(QThread::currentThread());
            serve();
            m_control.close();
        });
        return true;
    }

    // The channel request the dialog's job sent (after join()).
    QByteArray request()
    {
        join();
        return m_request;
    }
    void join()
    {
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    void serve()
    {
        if (!m_control.waitForNewConnection(20000))
            return;
        std::unique_ptr<QTcpSocket> socket(m_control.nextPendingConnection());
        m_request = readLine(*socket);
        QTcpServer channel;
        const bool listening =
            channel.listen(QHostAddress::LocalHost, quint16(QUrl(QString::fromLatin1(m_request)).port()));
        socket->write(m_reply + "\n");
        socket->waitForBytesWritten(5000);
        socket->waitForDisconnected(5000);
        if (!listening || !m_reply.startsWith('1') || !channel.waitForNewConnection(20000))
            return;
        std::unique_ptr<QTcpSocket> peer(channel.nextPendingConnection());
        peer->write("$ready:\n$hello:version=312;model=Pixel 7;manufacturer=Google;imei=35693803;uid=u-7;"
                    "sdk=13;sdk_id=33;root=1;storage1=/storage/emulated/0/;\n");
        peer->waitForBytesWritten(5000);
        readLine(*peer); // "$bye:"
    }

    QByteArray m_reply;
    QTcpServer m_control;
    std::thread m_thread;
    QByteArray m_request;
};

struct FormParts
{
    QLineEdit *address;
    QPushButton *connect;
};

FormParts partsOf(AndroidWIFIForm &form)
{
    return {form.findChild<QLineEdit *>(QStringLiteral("txtWifiSocket")),
            form.findChild<QPushButton *>(QStringLiteral("btnConnect"))};
}

} // namespace

TEST(AndroidWIFIForm, RefusesWhatIsNotAnAddressAndStaysOpen)
{
    AndroidWIFIForm form;
    const FormParts parts = partsOf(form);
    ASSERT_TRUE(parts.address && parts.connect);
    form.show();
    const QString warning = ids("IDS_WIFI_SOCK_WRONG_FOR_EXAMPLE");
    for (const QString &text : {QString(), QStringLiteral("192.168.1"), QStringLiteral("phone.local"),
                                QStringLiteral("192.168.1.20:49002"), QStringLiteral("1.2.3.4.5"),
                                QStringLiteral("1234.1.1.1"), QStringLiteral("10.0.0.x")}) {
        parts.address->setText(text);
        ModalScript script;
        script.box();
        parts.connect->click();
        ASSERT_TRUE(script.waitDone(5000)) << text.toStdString();
        ASSERT_EQ(script.boxes.size(), 1) << text.toStdString();
        EXPECT_EQ(script.boxes[0], warning) << text.toStdString();
        EXPECT_TRUE(form.isVisible()) << text.toStdString();
        EXPECT_EQ(form.result(), QDialog::Rejected);
        EXPECT_FALSE(form.device().overWifi);
    }
}

TEST(AndroidWIFIForm, AnAcceptedAddressConnectsAndTheDialogCarriesThePhone)
{
    StandInHelper helper("1");
    if (!helper.start())
        GTEST_SKIP() << "the helper's WiFi control port is in use on this machine";
    AndroidWIFIForm form;
    const FormParts parts = partsOf(form);
    ASSERT_TRUE(parts.address && parts.connect);
    form.show();
    // Blanks around the address are allowed.
    parts.address->setText(QStringLiteral(" 127.0.0.1 "));
    ModalScript script;
    parts.connect->click();
    helper.join();
    EXPECT_TRUE(script.unexpected.isEmpty()) << script.unexpected.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(helper.request().startsWith("backup://127.0.0.1:")) << helper.request().constData();
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_FALSE(form.isVisible());
    const AndroidDevice &device = form.device();
    EXPECT_TRUE(device.overWifi);
    EXPECT_EQ(device.deviceKey(), QStringLiteral("u-7"));
    EXPECT_EQ(device.displayName(), QStringLiteral("Google Pixel 7"));
    EXPECT_TRUE(device.rooted);
}

TEST(AndroidWIFIForm, ARefusedConnectionShowsTheErrorAndKeepsTheDialogOpen)
{
    StandInHelper helper("0" + QByteArray("root access denied").toBase64());
    if (!helper.start())
        GTEST_SKIP() << "the helper's WiFi control port is in use on this machine";
    AndroidWIFIForm form;
    const FormParts parts = partsOf(form);
    ASSERT_TRUE(parts.address && parts.connect);
    form.show();
    parts.address->setText(QStringLiteral("127.0.0.1"));
    ModalScript script;
    script.box();
    parts.connect->click();
    helper.join();
    ASSERT_TRUE(script.waitDone(20000));
    ASSERT_EQ(script.boxes.size(), 1);
    EXPECT_TRUE(script.boxes[0].contains(QStringLiteral("root access denied")))
        << script.boxes[0].toStdString();
    EXPECT_TRUE(form.isVisible());
    EXPECT_NE(form.result(), QDialog::Accepted);
    EXPECT_FALSE(form.device().overWifi);
}
