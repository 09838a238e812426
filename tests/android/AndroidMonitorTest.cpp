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
    return AdbDevice{QStringLiteral("%1\t%2").arg(serial, state), serial, state};
}

struct Recorder
{
    QStringList events;
    void attach(AndroidMonitor &monitor)
    {
        QObject::connect(
            &monitor, &AndroidMonitor::deviceConnected, &monitor,
            [this](const AdbDevice &d) { events << "+" + d.serial + ":" + d.state; }, Qt::DirectConnection);
        QObject::connect(
            &monitor, &AndroidMonitor::deviceDisconnected, &monitor,
            [this](const QString &s) { events << "-" + s; }, Qt::DirectConnection);
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
    EXPECT_EQ(r.events, (QStringList{"+A:device", "+B:unauthorized", "-A", "-B", "+A:offline"}));
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
                         [&](const AdbDevice &d) { events << "+" + d.serial; });
        QObject::connect(&monitor, &AndroidMonitor::deviceDisconnected, &monitor,
                         [&](const QString &s) { events << "-" + s; });
        monitor.startMonitor();
        QDeadlineTimer deadline(20000);
        while (events.size() < 3 && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    } // the destructor stops and waits for the poll task
    EXPECT_EQ(events, (QStringList{"+P1", "+P2", "-P1"}));
}
