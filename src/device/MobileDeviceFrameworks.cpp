#include "device/MobileDeviceFrameworks.h"

#include <libimobiledevice/libimobiledevice.h>
#include <plist/plist.h>

#include <atomic>

namespace {
std::atomic<bool> g_loaded{false};
}

bool mobiledevice_load_frameworks()
{
    // The libraries are linked, not loaded at run time: they are usable when
    // their entry points resolved.
    auto *volatile deviceEntry = &idevice_new;
    auto *volatile plistEntry = &plist_new_dict;
    const bool present = deviceEntry != nullptr && plistEntry != nullptr;
    g_loaded = present;
    return present;
}

bool mobiledevice_frameworks_loaded()
{
    return g_loaded;
}

bool mobiledevice_load_frameworks(QString &error)
{
    if (mobiledevice_load_frameworks())
        return true;
    error = QStringLiteral("Failed to load (Mobile Device) framework.");
    return false;
}
