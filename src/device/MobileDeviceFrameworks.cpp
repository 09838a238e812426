#include "device/MobileDeviceFrameworks.h"

#include <libimobiledevice/libimobiledevice.h>
#include <libimobiledevice/lockdown.h>
#include <plist/plist.h>

#include <QMutex>

#include <atomic>
#include <cstring>

namespace {

std::atomic<bool> g_loaded{false};
QMutex g_probeMutex;
std::function<QString()> g_probe;

// A value that goes through the property-list library and back unchanged.
bool plistLibraryWorks()
{
    plist_t dict = plist_new_dict();
    if (!dict)
        return false;
    plist_dict_set_item(dict, "Probe", plist_new_uint(0x1234));
    char *bytes = nullptr;
    uint32_t length = 0;
    plist_to_bin(dict, &bytes, &length);
    plist_free(dict);
    if (!bytes)
        return false;
    plist_t parsed = nullptr;
    plist_from_bin(bytes, length, &parsed);
    free(bytes);
    uint64_t value = 0;
    plist_t item = parsed ? plist_dict_get_item(parsed, "Probe") : nullptr;
    if (item && plist_get_node_type(item) == PLIST_UINT)
        plist_get_uint_val(item, &value);
    if (parsed)
        plist_free(parsed);
    return value == 0x1234;
}

QString realProbe()
{
    if (!plistLibraryWorks())
        return QStringLiteral("Failed to load (CoreFoundation) framework.");
    // The device library answers for its own error codes without a phone.
    const char *text = lockdownd_strerror(LOCKDOWN_E_PASSWORD_PROTECTED);
    if (!text || !*text)
        return QStringLiteral("Failed to load (Mobile Device) framework.");
    return QString();
}

} // namespace

void mobiledevice_set_framework_probe(std::function<QString()> probe)
{
    QMutexLocker lock(&g_probeMutex);
    g_probe = std::move(probe);
}

bool mobiledevice_load_frameworks(QString &error)
{
    std::function<QString()> probe;
    {
        QMutexLocker lock(&g_probeMutex);
        probe = g_probe;
    }
    error = probe ? probe() : realProbe();
    g_loaded = error.isEmpty();
    return g_loaded;
}

bool mobiledevice_load_frameworks()
{
    QString error;
    return mobiledevice_load_frameworks(error);
}

bool mobiledevice_frameworks_loaded()
{
    return g_loaded;
}
