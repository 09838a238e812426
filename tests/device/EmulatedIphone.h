// An emulated iPhone behind an emulated usbmuxd that this process's real
// libimobiledevice talks to, with a Kik app folder built by the fixture
// builder as Kik's container (and, on demand, a backup of it).
#pragma once

#include "ios/IOSKikStoreFixture.h"
#include "support/IphoneEmulator.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QJsonArray>
#include <QJsonObject>

#include <functional>

namespace EmulatedIphone {

inline const QString kUdid = QStringLiteral("00008030-001A2B3C4D5E6F70");
inline const QString kOtherUdid = QStringLiteral("00008101-000E1D2C3B4A5968");

inline QJsonObject device(const QString &udid, const QJsonObject &extra = {})
{
    QJsonObject d{{QStringLiteral("udid"), udid},
                  {QStringLiteral("name"), QStringLiteral("Emu iPhone")},
                  {QStringLiteral("product_type"), QStringLiteral("iPhone12,1")},
                  {QStringLiteral("product_version"), QStringLiteral("16.7")}};
    for (auto it = extra.begin(); it != extra.end(); ++it)
        d.insert(it.key(), it.value());
    return d;
}

// Processes events until the condition holds or the time is up.
inline bool waitUntil(const std::function<bool()> &condition, int timeoutMs = 20000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// How often the phone was asked to open each path inside an app container.
inline QMap<QString, int> opens(IphoneEmulator &emu, const QString &udid)
{
    QMap<QString, int> count;
    for (const QJsonValue &value : emu.log(udid)) {
        const QJsonObject entry = value.toObject();
        const QString service = entry.value(QStringLiteral("service")).toString();
        const QString via = entry.value(QStringLiteral("via")).toString(service);
        if (via == QLatin1String("house_arrest")
            && entry.value(QStringLiteral("op")).toString() == QLatin1String("FILE_OPEN"))
            ++count[entry.value(QStringLiteral("path")).toString()];
    }
    return count;
}

// A backup folder of the Kik app folder, as the phone's backup service
// serves it.
inline bool makeBackupSource(const QString &app, const QString &out,
                             const QString &kind = QStringLiteral("db"))
{
    const auto made =
        TestSupport::runPython(QStringLiteral("make_ios_kik_backup.py"),
                               QStringList{app, out, kind, QStringLiteral("--place"), QStringLiteral("app")});
    EXPECT_EQ(made.exitCode, 0) << made.err.constData();
    return made.exitCode == 0;
}

} // namespace EmulatedIphone
