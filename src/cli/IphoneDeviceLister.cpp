// The iPhone rows of "velloran-kik devices": unique id, device name, and
// product type and iOS version as the state of a phone that trusts this
// computer.
#include "cli/CliDevices.h"

#include "device/MobileDevice.h"

namespace {

QList<CliDeviceRow> listIphones(CliContext &)
{
    MobileDeviceStack &stack = mobileDeviceStack();
    QList<CliDeviceRow> rows;
    for (const QString &udid : stack.deviceIds()) {
        CliDeviceRow row{QStringLiteral("iphone"), udid, QString(), QString()};
        try {
            // The whole root domain in one request: a phone that does not
            // answer costs one timeout, not one per key.
            const CFType root = stack.device(udid)->copyValues({QString()}, QString()).value(0);
            row.name = root.value(QStringLiteral("DeviceName")).toQString();
            const QString type = root.value(QStringLiteral("ProductType")).toQString();
            const QString version = root.value(QStringLiteral("ProductVersion")).toQString();
            row.state = type.isEmpty() && version.isEmpty() ? QStringLiteral("unavailable")
                                                            : QStringLiteral("%1 iOS %2").arg(type, version);
        } catch (const DeviceSessionError &) {
            row.state = QStringLiteral("not trusted (unlock the iPhone and tap \"Trust\")");
        } catch (const std::exception &) {
            row.state = QStringLiteral("unavailable");
        }
        rows.append(row);
    }
    return rows;
}

const CliDeviceListerRegistration registration(QStringLiteral("iphone"), listIphones);

} // namespace
