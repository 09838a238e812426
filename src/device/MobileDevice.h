// The device stack as the rest of the program sees it: iPhones arriving and
// leaving, short lockdown sessions that read values and start services, and
// the byte connections of started services. The program makes the one real
// stack through mobileDeviceStack(); jobs receive a device and never create
// one, so tests can hand them fakes.
#pragma once

#include "app/AppError.h"
#include "device/CFType.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <stdexcept>

class QObject;

// A lockdown session could not be opened (not connected, pairing refused or
// pending, passcode lock, unknown host): another service of the same phone
// would fail the same way.
class DeviceSessionError : public AppError
{
public:
    using AppError::AppError;
};

// The connection of one started service. Every call blocks at most for the
// given timeout (0 or negative: no limit) and never throws.
class MobileDeviceConnection
{
public:
    virtual ~MobileDeviceConnection() = default;

    // 1 when the connection is ready for reading (or writing), 0 on timeout,
    // negative on error.
    virtual int waitSocket(int timeoutMs, bool forReading) = 0;
    // Sends all `length` bytes; the count sent, 0 on failure or timeout.
    virtual int sendData(const char *data, int length, int timeoutMs) = 0;
    // Receives until `length` bytes are in, each wait for more data bounded
    // by the timeout; the count received (short when the peer stalls,
    // closes or fails).
    virtual int receiveData(char *buffer, int length, int timeoutMs) = 0;
    virtual void close() = 0;
};

// One connected iPhone.
class MobileDevice
{
public:
    virtual ~MobileDevice() = default;

    virtual QString udid() const = 0;
    // One value per key in key order; a null value where the device has
    // none. An empty key reads the whole domain, an empty domain the default
    // one. Throws the session error text when no session can be opened.
    virtual QList<CFType> copyValues(const QStringList &keys, const QString &domain) = 0;
    // Starts a device service; throws the session or service error text.
    virtual std::unique_ptr<MobileDeviceConnection> startService(const QString &serviceName) = 0;
};

using MobileDevicePtr = std::shared_ptr<MobileDevice>;

class MobileDeviceStack
{
public:
    virtual ~MobileDeviceStack() = default;

    // Posts receiver's slots "iosDeviceConnected(void*)" and
    // "iosDeviceDisconnected(void*)" (queued to its thread) for every arrival
    // and removal, with the device's handle (see deviceForHandle). Throws
    // when the device stack itself is missing; a device service that is not
    // running yet is not an error.
    virtual void subscribe(QObject *receiver) = 0;
    // Stops posting to the receiver; the last one ends the subscription.
    virtual void unsubscribe(QObject *receiver) = 0;
    // The unique ids of the connected iPhones. Throws a message that says
    // how to start the device service when it cannot be reached.
    virtual QStringList deviceIds() = 0;
    // The device with this id (whether it is still connected shows in the
    // first call that needs it).
    virtual MobileDevicePtr device(const QString &udid) = 0;
    // The device behind a handle posted to the slots; null for an unknown
    // handle. Handles stay valid for the life of the stack.
    virtual MobileDevicePtr deviceForHandle(void *handle) = 0;
};

// The program's device stack, made on first use.
MobileDeviceStack &mobileDeviceStack();
