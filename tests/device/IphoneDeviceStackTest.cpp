// The device stack on the real libimobiledevice against the emulated
// iPhone: arrival and removal, session errors, values and services.
#include "ArrivalReceiver.h"
#include "EmulatedIphone.h"

#include "device/AfcConnection.h"
#include "device/MobileDevice.h"

#include <QObject>

#include <gtest/gtest.h>

namespace {

using namespace EmulatedIphone;

class IphoneDeviceStackTest : public ::testing::Test
{
protected:
    void start(const QJsonArray &devices)
    {
        ASSERT_TRUE(emu.start(QJsonObject{{QStringLiteral("devices"), devices}}))
            << emu.errorOutput().constData();
        emu.applyToThisProcess();
    }
    QString sessionError(const QJsonObject &extra)
    {
        start({device(kUdid, extra)});
        try {
            mobileDeviceStack().device(kUdid)->copyValues({QStringLiteral("DeviceName")}, QString());
        } catch (const DeviceSessionError &e) {
            return QString::fromUtf8(e.what());
        }
        return QString();
    }

    IphoneEmulator emu;
};

TEST_F(IphoneDeviceStackTest, ArrivalAndRemovalReachTheReceiversSlots)
{
    start({device(kUdid)});
    ArrivalReceiver receiver;
    mobileDeviceStack().subscribe(&receiver);
    ASSERT_TRUE(waitUntil([&] { return receiver.events.contains(QStringLiteral("+") + kUdid); }))
        << receiver.events.join(QLatin1Char(' ')).toStdString();
    ASSERT_TRUE(emu.attach(device(kOtherUdid)));
    ASSERT_TRUE(waitUntil([&] { return receiver.events.contains(QStringLiteral("+") + kOtherUdid); }));
    ASSERT_TRUE(emu.detach(kUdid));
    ASSERT_TRUE(waitUntil([&] { return receiver.events.contains(QStringLiteral("-") + kUdid); }))
        << receiver.events.join(QLatin1Char(' ')).toStdString();
    EXPECT_EQ(mobileDeviceStack().deviceIds(), QStringList{kOtherUdid});

    mobileDeviceStack().unsubscribe(&receiver);
    const int seen = receiver.events.size();
    ASSERT_TRUE(emu.detach(kOtherUdid));
    ASSERT_TRUE(emu.attach(device(kUdid)));
    // Events are posted to the receiver's thread: whatever was posted before
    // the end of the subscription has arrived once this list is settled.
    ASSERT_TRUE(waitUntil([&] { return mobileDeviceStack().deviceIds() == QStringList{kUdid}; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(receiver.events.size(), seen);
}

TEST_F(IphoneDeviceStackTest, ValuesOfTheRootAndOfWholeDomains)
{
    start({device(kUdid, {{QStringLiteral("icloud_backup"), true}})});
    const MobileDevicePtr phone = mobileDeviceStack().device(kUdid);
    const QList<CFType> values = phone->copyValues(
        {QStringLiteral("DeviceName"), QStringLiteral("ProductType"), QStringLiteral("NoSuchKey")},
        QString());
    ASSERT_EQ(values.size(), 3);
    EXPECT_EQ(values[0].toQString(), QStringLiteral("Emu iPhone"));
    EXPECT_EQ(values[1].toQString(), QStringLiteral("iPhone12,1"));
    EXPECT_TRUE(values[2].isNull());
    const CFType backup = phone->copyValues({QString()}, QStringLiteral("com.apple.mobile.backup")).value(0);
    EXPECT_TRUE(backup.value(QStringLiteral("CloudBackupEnabled")).toBool());
    const CFType usage = phone->copyValues({QString()}, QStringLiteral("com.apple.disk_usage")).value(0);
    EXPECT_GT(usage.value(QStringLiteral("TotalDataCapacity")).toInt64(), 0);
}

TEST_F(IphoneDeviceStackTest, PlainSessionWorksToo)
{
    start({device(kUdid, {{QStringLiteral("ssl_session"), false}})});
    EXPECT_EQ(mobileDeviceStack()
                  .device(kUdid)
                  ->copyValues({QStringLiteral("DeviceName")}, QString())
                  .value(0)
                  .toQString(),
              QStringLiteral("Emu iPhone"));
}

TEST_F(IphoneDeviceStackTest, PendingPairingSaysTrustWithItsCode)
{
    const QString error = sessionError(
        {{QStringLiteral("paired"), false}, {QStringLiteral("pairing"), QStringLiteral("pending")}});
    EXPECT_TRUE(
        error.contains(QStringLiteral("please click \"Trust\".<br/><br/>Error code: AMDevicePair(-19)")))
        << error.toStdString();
}

TEST_F(IphoneDeviceStackTest, DeniedPairing)
{
    EXPECT_TRUE(sessionError({{QStringLiteral("paired"), false},
                              {QStringLiteral("pairing"), QStringLiteral("denied")}})
                    .endsWith(QStringLiteral("Error code: AMDevicePair(-18)")));
}

TEST_F(IphoneDeviceStackTest, PasscodeLockedPhone)
{
    EXPECT_TRUE(sessionError({{QStringLiteral("paired"), false},
                              {QStringLiteral("pairing"), QStringLiteral("passcode")}})
                    .endsWith(QStringLiteral("Error code: AMDevicePair(-17)")));
}

TEST_F(IphoneDeviceStackTest, HostThePhoneDoesNotKnow)
{
    const QString error = sessionError({{QStringLiteral("pairing"), QStringLiteral("invalid_host")}});
    EXPECT_TRUE(error.endsWith(QStringLiteral("Error code: AMDeviceValidatePairing(-21)")))
        << error.toStdString();
}

TEST_F(IphoneDeviceStackTest, RefusedServiceDescribesThePhone)
{
    start({device(kUdid, {{QStringLiteral("faults"),
                           QJsonObject{{QStringLiteral("services_refused"),
                                        QJsonArray{QStringLiteral("com.apple.mobile.house_arrest")}}}}})});
    try {
        mobileDeviceStack().device(kUdid)->startService(QStringLiteral("com.apple.mobile.house_arrest"));
        FAIL() << "the service started";
    } catch (const std::runtime_error &e) {
        const QString text = QString::fromUtf8(e.what());
        EXPECT_TRUE(
            text.startsWith(QStringLiteral("<br/><br/>device:Emu iPhone, iPhone12,1, iOS 16.7 <br/><br/>")))
            << text.toStdString();
        EXPECT_TRUE(text.endsWith(
            QStringLiteral("Error code: AMDeviceStartService(com.apple.mobile.house_arrest)=-27")))
            << text.toStdString();
    }
}

TEST_F(IphoneDeviceStackTest, ContainerOfAnAppThatIsNotInstalledIsRefused)
{
    start({device(kUdid)});
    AfcConnection afc(mobileDeviceStack().device(kUdid));
    try {
        afc.open(QStringLiteral("com.kik.chat"));
        FAIL() << "the container opened";
    } catch (const std::runtime_error &e) {
        const QString text = QString::fromUtf8(e.what());
        EXPECT_TRUE(text.startsWith(QStringLiteral("can not find com.kik.chat.<br/>&lt;?xml")))
            << text.toStdString();
        EXPECT_TRUE(text.contains(QStringLiteral("ApplicationLookupFailed")));
    }
}

TEST_F(IphoneDeviceStackTest, ListingWithoutUsbmuxdSaysHowToStartIt)
{
    // A port nothing listens on: the emulator is not started.
    qputenv("USBMUXD_SOCKET_ADDRESS", "127.0.0.1:1");
    try {
        mobileDeviceStack().deviceIds();
        FAIL() << "usbmuxd answered";
    } catch (const std::runtime_error &e) {
        EXPECT_TRUE(QString::fromUtf8(e.what()).contains(QStringLiteral("usbmuxd -f")));
    }
    qunsetenv("USBMUXD_SOCKET_ADDRESS");
}

} // namespace
