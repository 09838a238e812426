// Property-list messages on a service connection: a 4-byte big-endian body
// length, then the property list (XML or binary).
#pragma once

#include "device/CFType.h"

class MobileDeviceConnection;

// Bodies longer than this are refused before anything is allocated.
inline constexpr quint32 kMaxPlistMessageLength = 16 * 1024 * 1024;

// Sends one message; a plist that serialises to nothing sends nothing.
// Throws "mobiledevice_sendmsg(…) error." with the message as XML.
void mobiledevice_sendmsg(MobileDeviceConnection &connection, const CFType &plist, bool binary,
                          int timeoutMs);

// Receives one message: the length within 60 s, the body with `timeoutMs`
// per wait. A zero length or a body that is not a property list gives a null
// value. Throws "mobiledevice_recmsg(…) error, received length: n." (with
// `request` as XML when it is not null) when either part comes short or the
// length is out of bounds.
CFType mobiledevice_recmsg(MobileDeviceConnection &connection, const CFType &request, int timeoutMs);
