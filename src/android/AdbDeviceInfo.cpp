#include "android/AdbDeviceInfo.h"

#include "android/AdbRunner.h"
#include "android/AndroidShell.h"

#include <QRegularExpression>

bool idOutputIsRoot(const QString &output)
{
    static const QRegularExpression root(QStringLiteral("(^|\\s)uid=0\\("));
    return root.match(output).hasMatch() || output.trimmed().startsWith(QLatin1String("uid=0"));
}

void readAdbDeviceInfo(AndroidDevice &device)
{
    const QString &serial = device.serial;
    device.access = AndroidDevice::Access::AdbOnly;
    device.overWifi = false;
    device.manufacturer = adbGetProp(serial, QStringLiteral("ro.product.manufacturer"));
    device.model = adbGetProp(serial, QStringLiteral("ro.product.model"));
    device.androidVersion = adbGetProp(serial, QStringLiteral("ro.build.version.release"));
    bool ok = false;
    device.apiLevel = adbGetProp(serial, QStringLiteral("ro.build.version.sdk")).toInt(&ok);
    if (!ok)
        device.apiLevel = 0;
    const QString serialNo = adbGetProp(serial, QStringLiteral("ro.serialno"));
    device.uid = serialNo.isEmpty() ? serial : serialNo;
    // No IMEI is readable without the helper: the adb serial names the
    // phone's cache folder.
    device.imei = serial;

    const AdbRun su = adbShell(serial, AndroidShell::suWrapped(QStringLiteral("id")), {30000, nullptr});
    device.rooted = su.finished && su.exitCode == 0 && idOutputIsRoot(su.out);

    const AdbRun storage = adbShell(serial, QStringLiteral("ls -d /sdcard/"), {30000, nullptr});
    device.externalStorage =
        storage.finished && storage.exitCode == 0 ? QStringLiteral("/sdcard") : QString();
}
