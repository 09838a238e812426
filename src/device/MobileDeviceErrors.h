// The texts the user sees when a session with an iPhone or a device service
// cannot be opened, and the mapping of libimobiledevice's error codes to the
// session step that failed.
#pragma once

#include <QString>

namespace MobileDeviceErrors {

// Session steps, each a label with %1 for the failing call's result.
inline constexpr const char *kConnect = "AMDeviceConnect(%1)";
inline constexpr const char *kPair = "AMDevicePair(%1)";
inline constexpr const char *kValidatePairing = "AMDeviceValidatePairing(%1)";
inline constexpr const char *kStartSession = "AMDeviceStartSession(%1)";

// "…click "Trust".<br/><br/>Error code: <label with code>", the code in
// signed decimal.
QString sessionText(const char *stepLabel, int code);

// The session step a lockdown error code (lockdownd_error_t) belongs to:
// refused, pending or passcode-locked pairing is the pairing step, a host
// the phone does not know fails validation, a lost connection the connect
// step, anything else the session start.
const char *stepOfLockdownError(int lockdownError);

// The text of a failed service start: the device description ("Unknown"
// when empty), the advice, and "Error code: AMDeviceStartService(name)=code".
QString serviceText(const QString &deviceDescription, const QString &serviceName, int code);

// "The device service usbmuxd cannot be reached." with how to start it.
QString usbmuxdUnreachableText();

} // namespace MobileDeviceErrors
