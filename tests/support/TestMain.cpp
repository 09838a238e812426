// Test main for the core: a GUI application object on the offscreen
// platform, since exporters and image code need QtGui.
#include "app/Locale.h"
#include "app/Translation.h"

#include <QGuiApplication>

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    setUtf8Locale();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QGuiApplication app(argc, argv);
    installTranslation(app);
    return RUN_ALL_TESTS();
}
