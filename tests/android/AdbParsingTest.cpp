// Parsing adb's outputs and building shell text for the phone.
#include "android/AdbDevice.h"
#include "android/AdbDeviceInfo.h"
#include "android/AndroidShell.h"
#include "app/AppError.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace TestSupport;

TEST(AdbParsing, DeviceListSkipsTheStartNoticeAndReadsStates)
{
    const QString output = QStringLiteral("* daemon not running; starting now at tcp:5037\n"
                                          "* daemon started successfully\n"
                                          "List of devices attached\n"
                                          "R58M123ABC\tdevice\n"
                                          "emulator-5554\toffline\n"
                                          "0123456789ABCDEF\tunauthorized\r\n"
                                          "\n");
    const QList<AdbDevice> devices = parseAdbDevices(output);
    ASSERT_EQ(devices.size(), 3);
    EXPECT_EQ(devices[0].serial, QStringLiteral("R58M123ABC"));
    EXPECT_EQ(devices[0].state, QStringLiteral("device"));
    EXPECT_EQ(devices[0].line, QStringLiteral("R58M123ABC\tdevice"));
    EXPECT_TRUE(devices[0].isReady());
    EXPECT_FALSE(devices[0].isOfflineOrUnauthorized());
    EXPECT_EQ(devices[1].serial, QStringLiteral("emulator-5554"));
    EXPECT_FALSE(devices[1].isReady());
    EXPECT_TRUE(devices[1].isOfflineOrUnauthorized());
    EXPECT_EQ(devices[2].state, QStringLiteral("unauthorized"));
    EXPECT_TRUE(devices[2].isOfflineOrUnauthorized());

    // Header only, and no header at all.
    EXPECT_TRUE(parseAdbDevices(QStringLiteral("List of devices attached\n\n")).isEmpty());
    EXPECT_TRUE(parseAdbDevices(QStringLiteral("R58M123ABC\tdevice\n")).isEmpty());
    // The header is matched ignoring case and blanks around it.
    EXPECT_EQ(parseAdbDevices(QStringLiteral("  list OF devices attached \nX1 device\n")).size(), 1);
}

TEST(AdbParsing, PackagesInstallAndActivityManagerOutputs)
{
    const QSet<QString> packages = parseAdbPackages(QStringLiteral(
        "package:kik.android   \npackage:com.velloran.marrowlink\nWARNING: linker\n  package:com.x\n"));
    EXPECT_EQ(packages, (QSet<QString>{QStringLiteral("kik.android"),
                                       QStringLiteral("com.velloran.marrowlink"), QStringLiteral("com.x")}));

    EXPECT_TRUE(adbOutputHasSuccessLine(QStringLiteral("Performing Streamed Install\n success \n")));
    EXPECT_FALSE(adbOutputHasSuccessLine(
        QStringLiteral("adb: failed to install a.apk: Failure [INSTALL_FAILED_INVALID_APK]\n")));
    EXPECT_FALSE(adbOutputHasSuccessLine(QStringLiteral("Successfully? no\n")));

    EXPECT_TRUE(
        adbOutputHasErrorLine(QStringLiteral("Broadcasting: Intent\n  Error: Activity not started\n")));
    EXPECT_FALSE(adbOutputHasErrorLine(QStringLiteral("Broadcast completed: result=0\n")));
}

TEST(AdbParsing, RootIsReadFromIdOutput)
{
    EXPECT_TRUE(idOutputIsRoot(QStringLiteral("uid=0(root) gid=0(root) groups=0(root) context=u:r:su:s0\n")));
    EXPECT_FALSE(idOutputIsRoot(QStringLiteral("uid=2000(shell) gid=2000(shell)\n")));
    EXPECT_FALSE(idOutputIsRoot(QStringLiteral("/system/bin/sh: su: inaccessible or not found\n")));
    EXPECT_FALSE(idOutputIsRoot(QStringLiteral("uid=10(x)\n")));
}

namespace {

// What /bin/sh makes of a command line: the words it passes to printf.
QString shellWords(const QString &commandLine)
{
    const ProcessResult r = run(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), commandLine});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    return QString::fromUtf8(r.out);
}

} // namespace

TEST(AndroidShell, HostilePathsStayOneWord)
{
    const QStringList paths{
        QStringLiteral("/sdcard/Kik/su/plain"),   QStringLiteral("/sdcard/a \"b\" c"),
        QStringLiteral("/sdcard/`touch /tmp/x`"), QStringLiteral("/sdcard/$(id)$HOME"),
        QStringLiteral("/sdcard/a;rm -rf /;b"),   QStringLiteral("/sdcard/it's"),
        QStringLiteral("/sdcard/'\\''"),          QStringLiteral("/sdcard/\\ back\\slash *?[x]"),
    };
    for (const QString &path : paths) {
        // Once quoted: the phone's shell running the helper's command.
        EXPECT_EQ(shellWords(QStringLiteral("printf '<%s>' ") + AndroidShell::quote(path)),
                  QStringLiteral("<%1>").arg(path))
            << qPrintable(path);
        // Twice: `adb shell su -c '...'`, where the outer shell hands the
        // command to su's inner shell.
        const QString inner = QStringLiteral("printf '<%s>' ") + AndroidShell::quote(path);
        const QString outer = AndroidShell::suWrapped(inner);
        ASSERT_TRUE(outer.startsWith(QStringLiteral("su -c ")));
        EXPECT_EQ(shellWords(QStringLiteral("sh -c ") + outer.mid(6)), QStringLiteral("<%1>").arg(path))
            << qPrintable(path);
    }
    const QString copy = AndroidShell::copyCommand(QStringLiteral("/a b"), QStringLiteral("/c;d"));
    EXPECT_EQ(copy, QStringLiteral("dd if='/a b' of='/c;d'"));
    EXPECT_EQ(AndroidShell::chmodCommand(QStringLiteral("/x")), QStringLiteral("chmod 777 '/x'"));
}

TEST(AndroidShell, LineBreaksAndEmptyPathsAreRefused)
{
    EXPECT_THROW(AndroidShell::quote(QStringLiteral("/sdcard/a\nreboot")), AppError);
    EXPECT_THROW(AndroidShell::quote(QStringLiteral("/sdcard/a\rb")), AppError);
    EXPECT_THROW(AndroidShell::quote(QString(QStringLiteral("/sdcard/a")) + QChar(0)), AppError);
    EXPECT_THROW(AndroidShell::quote(QString()), AppError);
    EXPECT_THROW(AndroidShell::copyCommand(QStringLiteral("/ok"), QStringLiteral("/bad\n")), AppError);
    EXPECT_THROW(AndroidShell::suWrapped(QStringLiteral("id\nreboot")), AppError);
}
