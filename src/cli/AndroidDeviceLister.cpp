// The Android part of the devices command: adb's device list, with the
// maker and model of each phone that is ready.
#include "android/AdbRunner.h"
#include "app/AppError.h"
#include "cli/CliDevices.h"

namespace {

QList<CliDeviceRow> listAndroidPhones(CliContext &)
{
    QList<AdbDevice> devices;
    try {
        devices = adbDevices();
    } catch (const std::exception &e) {
        throw AppError(QStringLiteral("Cannot list Android phones: adb is missing or failed (%1).")
                           .arg(QString::fromUtf8(e.what()).trimmed()));
    }
    QList<CliDeviceRow> rows;
    for (const AdbDevice &device : std::as_const(devices)) {
        QString name;
        if (device.isReady()) {
            name = adbGetProp(device.serial, QStringLiteral("ro.product.manufacturer")) + QLatin1Char(' ')
                   + adbGetProp(device.serial, QStringLiteral("ro.product.model"));
        }
        rows.append({QStringLiteral("android"), device.serial, name.trimmed(), device.state});
    }
    return rows;
}

const CliDeviceListerRegistration registration(QStringLiteral("android"), listAndroidPhones);

} // namespace
