// Test main for widget tests: a real QApplication (offscreen or Xvfb).
#include "app/Locale.h"
#include "app/Translation.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    setUtf8Locale();
    // Tests never reach the machine's adb server or usbmuxd, nor make the
    // adb client start a server: both point at an address where nothing
    // listens unless a test sets them (the emulators do).
    if (qEnvironmentVariableIsEmpty("ADB_SERVER_SOCKET"))
        qputenv("ADB_SERVER_SOCKET", "tcp:127.0.0.1:1");
    if (qEnvironmentVariableIsEmpty("USBMUXD_SOCKET_ADDRESS"))
        qputenv("USBMUXD_SOCKET_ADDRESS", "127.0.0.1:1");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Tests run as root in CI, where Chromium's sandbox cannot start.
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    installTranslation(app);
    return RUN_ALL_TESTS();
}
