// A started service's connection through libimobiledevice's connection calls,
// so a service that asks for SSL is spoken through SSL.
#pragma once

#include "device/MobileDevice.h"

#include <libimobiledevice/libimobiledevice.h>

class ImobileDeviceConnection : public MobileDeviceConnection
{
public:
    // Takes both handles; the device handle stays open as long as the
    // connection, which needs it for SSL.
    ImobileDeviceConnection(idevice_t device, idevice_connection_t connection);
    ~ImobileDeviceConnection() override;

    int waitSocket(int timeoutMs, bool forReading) override;
    int sendData(const char *data, int length, int timeoutMs) override;
    int receiveData(char *buffer, int length, int timeoutMs) override;
    void close() override;

private:
    idevice_t m_device;
    idevice_connection_t m_connection;
};
