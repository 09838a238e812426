// Test main for the core: a GUI application object on the offscreen
// platform, since exporters and image code need QtGui.
#include "app/Locale.h"
#include "app/Translation.h"

#include <QGuiApplication>

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
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QGuiApplication app(argc, argv);
    installTranslation(app);
    return RUN_ALL_TESTS();
}
