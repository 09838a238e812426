// The device stack on libimobiledevice and usbmuxd.
#pragma once

#include "device/MobileDevice.h"

#include <QList>
#include <QMap>
#include <QMutex>
#include <QPointer>

class ImobileDeviceStack : public MobileDeviceStack
{
public:
    ImobileDeviceStack() = default;

    void subscribe(QObject *receiver) override;
    QStringList deviceIds() override;
    MobileDevicePtr device(const QString &udid) override;
    MobileDevicePtr deviceForHandle(void *handle) override;

    // Called on the library's event thread: added (true) or removed.
    void deviceEvent(const QString &udid, bool added);

private:
    QMutex m_mutex;
    QMap<QString, MobileDevicePtr> m_devices; // every device ever seen
    QList<QPointer<QObject>> m_receivers;
    bool m_subscribed = false;
};
