// The channel for phones without the helper app: superuser commands through
// `adb shell su -c`, downloads with `adb pull`, uploads with `adb push`.
#pragma once

#include "android/AndroidChannel.h"

class AdbShellChannel : public AndroidChannel
{
public:
    AdbShellChannel(const QString &serial, JobProgress *progress);

    bool downloadFile(const QString &remote, const QString &name, const QString &local,
                      bool overwrite) override;
    void uploadFile(const QString &local, const QString &remote) override;
    int suCommand(const QString &command) override;
    void close() override {}

private:
    QString m_serial;
};
