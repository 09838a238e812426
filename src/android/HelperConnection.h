// Opening channels to the helper app, over USB (adb forwards a desktop port
// to the phone) or over WiFi (the phone's control port), and reading the
// helper's device information.
#pragma once

#include "android/AndroidDevice.h"

#include <QString>

#include <atomic>
#include <memory>

class QTcpSocket;

namespace HelperConnection {

inline constexpr int kChannelTimeoutMs = 10000;

QString deviceInfoUrl(int port);
QString downloadUrl(int port);
QString uploadUrl(int port);

// Opens the channel named by `url` and returns the socket after "$ready:".
// Throws "start %1 failed." when the helper does not answer in time.
std::unique_ptr<QTcpSocket> openChannel(const AndroidDevice &device, const QString &url, int timeoutMs,
                                        const std::atomic<bool> *cancelled = nullptr);

// Reads the device information over a fresh channel and fills `device`.
// Throws the "too old" message when the helper reports no version.
void readDeviceInfo(AndroidDevice &device, const std::atomic<bool> *cancelled = nullptr);

// The message for a helper that reports no usable version.
QString tooOldMessage();

// The address captured from what the user typed (trimmed: four groups of
// one to three digits), or empty when it has another form.
QString wifiAddressFrom(const QString &text);

} // namespace HelperConnection
