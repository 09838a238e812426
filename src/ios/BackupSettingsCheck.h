// Whether a device backup of the phone can be read: iCloud backup switched
// on or an encrypted backup setting stop it. Returns the warning to show
// (text with its picture) instead of showing it, so that the window and the
// command-line tool each show it their way.
#pragma once

#include "device/MobileDevice.h"

#include <QString>

struct BackupSettingsWarning
{
    QString text;  // empty when the settings allow the backup
    QString image; // resource path of the picture that shows what to change
    // "%1<br/><br/><img src="%2"/>" as the window shows it.
    QString html() const;
    bool isEmpty() const { return text.isEmpty(); }
};

// Reads the phone's "com.apple.mobile.backup" values; a phone that cannot
// be read passes (the backup tool then says what is wrong).
BackupSettingsWarning checkBackupSettings(MobileDevice &device, bool checkCloud, bool checkEncryption);
