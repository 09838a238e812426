// The iPhone rows of "velloran-kik devices": unique id, device name, and
// product type and iOS version as the state of a phone that trusts this
// computer.
#include "app/cli/CliDevices.h"

#include "device/MobileDevice.h"

namespace {

QList<CliDeviceRow> listIphones(CliContext &)
{
    MobileDeviceStack &stack = mobileDeviceStack();
    QList<CliDeviceRow> rows;
    for (const QString &udid : stack.deviceIds()) {
        CliDeviceRow row{QStringLiteral("iphone"), udid, QString(), QString()};
        try {
            const QList<CFType> values = stack.device(udid)->copyValues(
                {QStringLiteral("DeviceName"), QStringLiteral("ProductType"),
                 QStringLiteral("ProductVersion")},
                QString());
            row.name = values.value(0).toQString();
            row.state = QStringLiteral("%1 iOS %2").arg(values.value(1).toQString(),
                                                         values.value(2).toQString());
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
