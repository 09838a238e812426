// Texts of failed sessions and services, and the start-up check.
#include "device/MobileDeviceErrors.h"
#include "device/MobileDeviceFrameworks.h"

#include <libimobiledevice/lockdown.h>

#include <gtest/gtest.h>

namespace {

using namespace MobileDeviceErrors;

TEST(MobileDeviceErrorsTest, CodesPrintInSignedDecimal)
{
    EXPECT_EQ(sessionText(kStartSession, int(0xE800002D)),
              QStringLiteral("Please restart your iPhone and computer to try again. If a prompt message "
                             "pops out on your iPhone, please click \"Trust\".<br/><br/>Error code: "
                             "AMDeviceStartSession(-402653139)"));
    EXPECT_TRUE(
        sessionText(kPair, LOCKDOWN_E_USER_DENIED_PAIRING).endsWith(QStringLiteral("AMDevicePair(-18)")));
}

TEST(MobileDeviceErrorsTest, LockdownErrorsMapToTheirStep)
{
    EXPECT_STREQ(stepOfLockdownError(LOCKDOWN_E_PAIRING_DIALOG_RESPONSE_PENDING), kPair);
    EXPECT_STREQ(stepOfLockdownError(LOCKDOWN_E_USER_DENIED_PAIRING), kPair);
    EXPECT_STREQ(stepOfLockdownError(LOCKDOWN_E_PASSWORD_PROTECTED), kPair);
    EXPECT_STREQ(stepOfLockdownError(LOCKDOWN_E_INVALID_HOST_ID), kValidatePairing);
    EXPECT_STREQ(stepOfLockdownError(LOCKDOWN_E_MUX_ERROR), kConnect);
    EXPECT_STREQ(stepOfLockdownError(LOCKDOWN_E_SSL_ERROR), kStartSession);
    EXPECT_STREQ(stepOfLockdownError(LOCKDOWN_E_INVALID_SESSION_ID), kStartSession);
}

TEST(MobileDeviceErrorsTest, ServiceTextDescribesTheDeviceOrSaysUnknown)
{
    EXPECT_EQ(serviceText(QString(), QStringLiteral("com.apple.mobile.house_arrest"), -27),
              QStringLiteral("<br/><br/>device:Unknown <br/><br/>Please turn off Wifi Sync on iTunes or "
                             "disconnect computer internet connections to try again.<br/>Error code: "
                             "AMDeviceStartService(com.apple.mobile.house_arrest)=-27"));
    EXPECT_TRUE(serviceText(QStringLiteral("Ann's iPhone, iPhone10,3, iOS 16.7"), QStringLiteral("s"), 1)
                    .startsWith(QStringLiteral("<br/><br/>device:Ann's iPhone, iPhone10,3, iOS 16.7 <br/>")));
}

TEST(MobileDeviceFrameworksTest, StartUpCheckCanFailAndRecover)
{
    mobiledevice_set_framework_probe(
        [] { return QStringLiteral("Failed to load (Mobile Device) framework."); });
    QString error;
    EXPECT_FALSE(mobiledevice_load_frameworks(error));
    EXPECT_EQ(error, QStringLiteral("Failed to load (Mobile Device) framework."));
    EXPECT_FALSE(mobiledevice_frameworks_loaded());
    mobiledevice_set_framework_probe(nullptr);
    EXPECT_TRUE(mobiledevice_load_frameworks(error)) << error.toStdString();
    EXPECT_TRUE(mobiledevice_frameworks_loaded());
}

} // namespace
