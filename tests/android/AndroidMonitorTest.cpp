// The device monitor's reports: arrivals in list order, departures once,
// state changes not reported again, failing passes ignored.
#include "android/AndroidMonitor.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QMutex>
#include <QStringList>

#include <gtest/gtest.h>

namespace {

AdbDevice dev(const char *serial, const char *state = "device")
{
    const QString s = QString::fromLatin1(serial), st = QString::fromLatin1(state);
    return AdbDevice{QStringLiteral("%1\t%2").arg(s, st), s, st};
}

struct Recorder
{
    QStringList events;
    void attach(AndroidMonitor &monitor)
    {
        QObject::connect(
            &monitor, &AndroidMonitor::deviceConnected, &monitor,
            [this](const AdbDevice &d) {
                events << QStringLiteral("+") + d.serial + QStringLiteral(":") + d.state;
            },
            Qt::DirectConnection);
        QObject::connect(
            &monitor, &AndroidMonitor::deviceDisconnected, &monitor,
            [this](const QString &s) { events << QStringLiteral("-") + s; }, Qt::DirectConnection);
    }
};

} // namespace

TEST(AndroidMonitor, ReportsArrivalsInOrderAndDeparturesOnce)
{
    AndroidMonitor monitor([] { return QList<AdbDevice>(); }, 10);
    Recorder r;
    r.attach(monitor);
    monitor.applyDeviceList({dev("A"), dev("B", "unauthorized")});
    monitor.applyDeviceList({dev("A"), dev("B", "device")}); // authorised: same serial
    monitor.applyDeviceList({dev("B")});
    monitor.applyDeviceList({});
    monitor.applyDeviceList({dev("A", "offline")}); // came back
    EXPECT_EQ(r.events,
              (QStringList{QStringLiteral("+A:device"), QStringLiteral("+B:unauthorized"),
                           QStringLiteral("-A"), QStringLiteral("-B"), QStringLiteral("+A:offline")}));
}

TEST(AndroidMonitor, PollsOnThePoolAndSurvivesFailingPasses)
{
    QMutex mutex;
    int pass = 0;
    AndroidMonitor::DeviceSource source = [&]() -> QList<AdbDevice> {
        QMutexLocker lock(&mutex);
        ++pass;
        if (pass == 2)
            throw std::runtime_error("run adb failed.");
        if (pass <= 3)
            return {dev("P1"), dev("P2")};
        return {dev("P2")};
    };
    QStringList events;
    {
        AndroidMonitor monitor(source, 5);
        // Queued to this thread, as the main window receives them.
        QObject::connect(&monitor, &AndroidMonitor::deviceConnected, &monitor,
                         [&](const AdbDevice &d) { events << QStringLiteral("+") + d.serial; });
        QObject::connect(&monitor, &AndroidMonitor::deviceDisconnected, &monitor,
                         [&](const QString &s) { events << QStringLiteral("-") + s; });
        monitor.startMonitor();
        QDeadlineTimer deadline(20000);
        while (events.size() < 3 && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    } // the destructor stops and waits for the poll task
    EXPECT_EQ(events, (QStringList{QStringLiteral("+P1"), QStringLiteral("+P2"), QStringLiteral("-P1")}));
}
