#include "device/MobileDeviceErrors.h"

#include <libimobiledevice/lockdown.h>

namespace MobileDeviceErrors {

QString sessionText(const char *stepLabel, int code)
{
    const QString advice = QStringLiteral(
        "Please restart your iPhone and computer to try again. If a prompt message pops out on "
        "your iPhone, please click \"Trust\".");
    const QString step = QString::fromLatin1(stepLabel).arg(qint32(code));
    return QStringLiteral("%1<br/><br/>Error code: %2").arg(advice, step);
}

const char *stepOfLockdownError(int lockdownError)
{
    switch (lockdownError) {
    case LOCKDOWN_E_MUX_ERROR:
    case LOCKDOWN_E_RECEIVE_TIMEOUT:
    case LOCKDOWN_E_INVALID_ARG:
        return kConnect;
    case LOCKDOWN_E_PAIRING_FAILED:
    case LOCKDOWN_E_PASSWORD_PROTECTED:
    case LOCKDOWN_E_USER_DENIED_PAIRING:
    case LOCKDOWN_E_PAIRING_DIALOG_RESPONSE_PENDING:
    case LOCKDOWN_E_PAIRING_PROHIBITED_OVER_THIS_CONNECTION:
    case LOCKDOWN_E_MISSING_PAIR_RECORD:
    case LOCKDOWN_E_SAVE_PAIR_RECORD_FAILED:
    case LOCKDOWN_E_INVALID_CONF:
        return kPair;
    case LOCKDOWN_E_INVALID_HOST_ID:
    case LOCKDOWN_E_MISSING_HOST_ID:
    case LOCKDOWN_E_INVALID_PAIR_RECORD:
        return kValidatePairing;
    default:
        return kStartSession;
    }
}

QString serviceText(const QString &deviceDescription, const QString &serviceName, int code)
{
    const QString description = deviceDescription.isEmpty() ? QStringLiteral("Unknown") : deviceDescription;
    return QStringLiteral("<br/><br/>device:%1 <br/><br/>").arg(description)
           + QStringLiteral("Please turn off Wifi Sync on iTunes or disconnect computer internet "
                            "connections to try again.<br/>")
           + QStringLiteral("Error code: AMDeviceStartService(%1)=%2").arg(serviceName).arg(qint32(code));
}

QString usbmuxdUnreachableText()
{
    return QStringLiteral(
        "Cannot reach usbmuxd, the service through which iPhones are reached. It starts by "
        "itself when an iPhone is plugged in (Debian package \"usbmuxd\"); to start it by hand, "
        "run \"usbmuxd -f\" as root.");
}

} // namespace MobileDeviceErrors
