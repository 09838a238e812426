#include "ios/BackupSettingsCheck.h"

QString BackupSettingsWarning::html() const
{
    return QStringLiteral("%1<br/><br/><img src=\"%2\"/>").arg(text, image);
}

BackupSettingsWarning checkBackupSettings(MobileDevice &device, bool checkCloud, bool checkEncryption)
{
    CFType values;
    try {
        values = device.copyValues({QString()}, QStringLiteral("com.apple.mobile.backup")).value(0);
    } catch (const std::exception &) {
        return {};
    }
    if (checkCloud && values.value(QStringLiteral("CloudBackupEnabled")).toBool())
        return {QStringLiteral("Failed to transfer data to device. Please turn off iCloud backup on "
                               "your iPhone to try again."),
                QStringLiteral(":res/close_icloudbk.jpg")};
    if (checkEncryption && values.value(QStringLiteral("WillEncrypt")).toBool())
        return {QStringLiteral("Failed to transfer data to device. Your iTunes backup is encrypted. "
                               "Please run iTunes on computer and then uncheck \"Encrypt iPhone "
                               "backup\" option to try again."),
                QStringLiteral(":res/close_itunesbkenc.jpg")};
    return {};
}
