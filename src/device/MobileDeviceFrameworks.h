// The device stack behind the Mobile Device calls (libimobiledevice and
// libplist, linked into the program).
#pragma once

// Makes the device stack ready; true when it is usable.
bool mobiledevice_load_frameworks();
bool mobiledevice_frameworks_loaded();

#include <QString>

// Same; on failure `error` holds the reason.
bool mobiledevice_load_frameworks(QString &error);
