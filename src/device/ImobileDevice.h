// One iPhone reached through libimobiledevice: each operation opens its own
// lockdown session (connect, pair when needed, validate, start the session)
// and closes it before returning; a started service outlives the session.
#pragma once

#include "device/MobileDevice.h"

class ImobileDevice : public MobileDevice
{
public:
    explicit ImobileDevice(const QString &udid) : m_udid(udid) {}

    QString udid() const override { return m_udid; }
    QList<CFType> copyValues(const QStringList &keys, const QString &domain) override;
    std::unique_ptr<MobileDeviceConnection> startService(const QString &serviceName) override;

private:
    // "Name, ProductType, iOS version" for error texts; empty when unreadable.
    QString description();

    QString m_udid;
};
