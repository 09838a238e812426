// Describing a phone without the helper app, from adb alone: its system
// properties, root by `su -c id`, and the shared storage "/sdcard".
#pragma once

#include "android/AndroidDevice.h"

#include <QString>

// Fills `device` (whose serial is set) for the adb-only channel. The serial
// stands in for the IMEI and the helper's uid.
void readAdbDeviceInfo(AndroidDevice &device);

// True when the output of `id` names the superuser.
bool idOutputIsRoot(const QString &output);
