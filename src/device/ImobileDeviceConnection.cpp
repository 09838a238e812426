#include "device/ImobileDeviceConnection.h"

#include <poll.h>

ImobileDeviceConnection::ImobileDeviceConnection(idevice_t device, idevice_connection_t connection)
    : m_device(device), m_connection(connection)
{}

ImobileDeviceConnection::~ImobileDeviceConnection()
{
    close();
}

void ImobileDeviceConnection::close()
{
    if (m_connection)
        idevice_disconnect(m_connection);
    m_connection = nullptr;
    if (m_device)
        idevice_free(m_device);
    m_device = nullptr;
}

int ImobileDeviceConnection::waitSocket(int timeoutMs, bool forReading)
{
    int fd = -1;
    if (!m_connection || idevice_connection_get_fd(m_connection, &fd) != IDEVICE_E_SUCCESS || fd < 0)
        return -1;
    pollfd entry{fd, short(forReading ? POLLIN : POLLOUT), 0};
    const int result = ::poll(&entry, 1, timeoutMs >= 1 ? timeoutMs : -1);
    if (result > 0 && (entry.revents & (POLLERR | POLLNVAL)) && !(entry.revents & POLLIN))
        return -1;
    return result;
}

int ImobileDeviceConnection::sendData(const char *data, int length, int timeoutMs)
{
    if (length <= 0 || !m_connection)
        return 0;
    int total = 0;
    while (total < length) {
        if (waitSocket(timeoutMs, false) == 0)
            break;
        uint32_t sent = 0;
        if (idevice_connection_send(m_connection, data + total, uint32_t(length - total), &sent)
                != IDEVICE_E_SUCCESS
            || sent == 0)
            break;
        total += int(sent);
    }
    return total;
}

int ImobileDeviceConnection::receiveData(char *buffer, int length, int timeoutMs)
{
    if (length <= 0 || !m_connection)
        return 0;
    int total = 0;
    while (total < length) {
        uint32_t received = 0;
        const idevice_error_t result =
            timeoutMs >= 1 ? idevice_connection_receive_timeout(
                m_connection, buffer + total, uint32_t(length - total), &received, unsigned(timeoutMs))
                           : idevice_connection_receive(m_connection, buffer + total,
                                                        uint32_t(length - total), &received);
        total += int(received);
        if (result != IDEVICE_E_SUCCESS || received == 0)
            break;
    }
    return total;
}
