// What the program knows about one Android phone: from the helper app's
// device information, or (without the helper) from the phone's properties.
#pragma once

#include <QDateTime>
#include <QDir>
#include <QMetaType>
#include <QString>
#include <QUrl>

inline constexpr char kHelperPackage[] = "com.velloran.marrowlink";
inline constexpr char kKikPackage[] = "kik.android";
inline constexpr char kHelperMinimumVersion[] = "3.1.1";
inline constexpr int kHelperWifiControlPort = 49002;

struct AndroidDevice
{
    // How the desktop reaches the phone's files.
    enum class Access { Helper, AdbOnly };

    QString label;
    QString serial;
    QString uid;
    bool overWifi = false;
    QString address;
    int controlPort = kHelperWifiControlPort;
    int helperVersion = 0;
    QString model;
    QString manufacturer;
    QString imei;
    QString androidVersion;
    int apiLevel = 0;
    bool rooted = false;
    QString externalStorage;
    QDateTime timeStamp;
    Access access = Access::Helper;

    QString displayName() const;
    QString deviceKey() const;
    // "android_cache/<IMEI>" below the data root (the serial when the phone
    // gave no IMEI), created when missing. The name is reduced to one safe
    // folder name.
    QDir cacheFolder() const;
    // The local-file URL of a path inside the shared storage.
    QUrl storageFileUrl(const QString &path) const;
    // The staging folder for superuser copies: shared storage + "Kik/su".
    QString stagingFolder() const;
};

Q_DECLARE_METATYPE(AndroidDevice)

// Fills the device from the "$hello:" argument: pairs "key=value;" matched
// from the start of the text; unknown keys are ignored, integers that do
// not parse count as 0.
void parseDeviceInfo(const QString &info, AndroidDevice &device);

// The port for the next helper channel:
// 10000 + (minute % 4) * 10000 + second * 100 + a process-wide counter.
int nextChannelPort();
// The same for a given time and counter value (for tests).
int channelPortFor(int minute, int second, int counter);

// The Android 4.0 limit below which only root works.
inline constexpr int kMinimumBackupApiLevel = 15;
