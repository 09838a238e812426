// The start-up check of the device stack (libimobiledevice and libplist,
// linked into the program): it exercises the libraries rather than looking
// for a phone, and fails with a message when they do not work.
#pragma once

#include <QString>

#include <functional>

// Runs the check; true when the device stack is usable.
bool mobiledevice_load_frameworks();
bool mobiledevice_frameworks_loaded();

// Same; on failure `error` holds the reason.
bool mobiledevice_load_frameworks(QString &error);

// Replaces the check (tests); it returns an empty text when the stack is
// usable, else the reason. A null function restores the real check.
void mobiledevice_set_framework_probe(std::function<QString()> probe);
