// One line of adb's device list, and the parsers of the few adb outputs the
// program reads.
#pragma once

#include <QList>
#include <QMetaType>
#include <QSet>
#include <QString>

struct AdbDevice
{
    QString line; // the whole trimmed line
    QString serial;
    QString state; // "device", "offline", "unauthorized", ...

    bool isReady() const;
    bool isOfflineOrUnauthorized() const;
};

Q_DECLARE_METATYPE(AdbDevice)

// The devices listed after the "List of devices attached" line; lines before
// it (such as the notice adb prints when it starts its server) are skipped.
QList<AdbDevice> parseAdbDevices(const QString &output);

// The names of the "package:" lines of `pm list packages`.
QSet<QString> parseAdbPackages(const QString &output);

// True when a trimmed line of the output equals "Success" (ignoring case).
bool adbOutputHasSuccessLine(const QString &output);

// True when a trimmed line of the output starts with "error:" (ignoring case).
bool adbOutputHasErrorLine(const QString &output);
