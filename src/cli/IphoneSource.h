// The "iphone:UDID" source: Kik copied from a connected iPhone (its app
// container, or a device backup when the phone does not open it).
#pragma once

#include "device/MobileDevice.h"

#include <QString>

// The connected iPhone named by `value`, or the only one for "auto". Throws
// a message naming the choices when that is not one phone.
MobileDevicePtr resolveIphone(const QString &value);
