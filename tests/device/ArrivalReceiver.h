// Receives the slots the device stack posts by name, as the window does,
// and keeps them as "+UDID" and "-UDID".
#pragma once

#include "device/MobileDevice.h"

#include <QObject>
#include <QStringList>

class ArrivalReceiver : public QObject
{
    Q_OBJECT
public:
    QStringList events;

public Q_SLOTS:
    void iosDeviceConnected(void *handle) { record(QStringLiteral("+"), handle); }
    void iosDeviceDisconnected(void *handle) { record(QStringLiteral("-"), handle); }

private:
    void record(const QString &sign, void *handle)
    {
        const MobileDevicePtr device = mobileDeviceStack().deviceForHandle(handle);
        events.append(sign + (device ? device->udid() : QStringLiteral("?")));
    }
};
