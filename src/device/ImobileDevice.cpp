#include "device/ImobileDevice.h"

#include "app/AppError.h"
#include "device/ImobileDeviceConnection.h"
#include "device/MobileDeviceErrors.h"

#include <libimobiledevice/lockdown.h>

#include <stdexcept>

namespace {

const char kClientLabel[] = "velloran-kik";

// An open lockdown session; closed (session stopped, disconnected) when it
// goes out of scope.
class LockdownSession
{
public:
    explicit LockdownSession(const QString &udid)
    {
        const QByteArray id = udid.toUtf8();
        const idevice_error_t connected =
            idevice_new_with_options(&m_device, id.constData(), IDEVICE_LOOKUP_USBMUX);
        if (connected != IDEVICE_E_SUCCESS) {
            m_device = nullptr;
            fail(MobileDeviceErrors::kConnect, connected);
        }
        // Queries the type, pairs when the host has no pair record, validates
        // and starts the session (in SSL when the phone asks for it).
        const lockdownd_error_t result =
            lockdownd_client_new_with_handshake(m_device, &m_client, kClientLabel);
        if (result != LOCKDOWN_E_SUCCESS) {
            m_client = nullptr;
            fail(MobileDeviceErrors::stepOfLockdownError(result), result);
        }
    }
    ~LockdownSession() { close(); }
    LockdownSession(const LockdownSession &) = delete;
    LockdownSession &operator=(const LockdownSession &) = delete;

    idevice_t device() const { return m_device; }
    lockdownd_client_t client() const { return m_client; }
    // Hands the device handle over (to a service connection).
    idevice_t takeDevice()
    {
        idevice_t device = m_device;
        m_device = nullptr;
        return device;
    }

private:
    [[noreturn]] void fail(const char *step, int code)
    {
        close();
        throw DeviceSessionError(MobileDeviceErrors::sessionText(step, code).toStdString());
    }
    void close()
    {
        if (m_client)
            lockdownd_client_free(m_client); // sends StopSession when a session is open
        m_client = nullptr;
        if (m_device)
            idevice_free(m_device);
        m_device = nullptr;
    }

    idevice_t m_device = nullptr;
    lockdownd_client_t m_client = nullptr;
};

} // namespace

QList<CFType> ImobileDevice::copyValues(const QStringList &keys, const QString &domain)
{
    LockdownSession session(m_udid);
    const QByteArray domainBytes = domain.toUtf8();
    QList<CFType> values;
    bool inStep = true;
    for (const QString &key : keys) {
        const QByteArray keyBytes = key.toUtf8();
        plist_t value = nullptr;
        const lockdownd_error_t result =
            inStep
                ? lockdownd_get_value(session.client(), domain.isEmpty() ? nullptr : domainBytes.constData(),
                                      key.isEmpty() ? nullptr : keyBytes.constData(), &value)
                : LOCKDOWN_E_UNKNOWN_ERROR;
        if (result != LOCKDOWN_E_SUCCESS) {
            if (value)
                plist_free(value);
            value = nullptr;
            // A key the phone lacks or keeps to itself leaves the session
            // usable; anything else (a lost or garbled reply) does not, and
            // the remaining keys would each wait for their own timeout.
            inStep = result == LOCKDOWN_E_MISSING_KEY || result == LOCKDOWN_E_MISSING_VALUE
                     || result == LOCKDOWN_E_GET_PROHIBITED;
        }
        values.append(CFType(value, true));
    }
    return values;
}

QString ImobileDevice::description()
{
    try {
        const CFType root = copyValues({QString()}, QString()).value(0);
        const QString name = root.value(QStringLiteral("DeviceName")).toQString();
        if (name.isEmpty())
            return QString();
        return QStringLiteral("%1, %2, iOS %3")
            .arg(name, root.value(QStringLiteral("ProductType")).toQString(),
                 root.value(QStringLiteral("ProductVersion")).toQString());
    } catch (const std::exception &) {
        return QString();
    }
}

std::unique_ptr<MobileDeviceConnection> ImobileDevice::startService(const QString &serviceName)
{
    const QByteArray name = serviceName.toUtf8();
    int code = 0;
    idevice_t device = nullptr;
    lockdownd_service_descriptor_t service = nullptr;
    {
        LockdownSession session(m_udid);
        const lockdownd_error_t started =
            lockdownd_start_service(session.client(), name.constData(), &service);
        if (started == LOCKDOWN_E_SUCCESS && service)
            device = session.takeDevice();
        else
            code = started != LOCKDOWN_E_SUCCESS ? int(started) : int(LOCKDOWN_E_UNKNOWN_ERROR);
    }
    idevice_connection_t connection = nullptr;
    if (code == 0) {
        const idevice_error_t connected = idevice_connect(device, service->port, &connection);
        if (connected != IDEVICE_E_SUCCESS)
            code = connected;
        else if (service->ssl_enabled && idevice_connection_enable_ssl(connection) != IDEVICE_E_SUCCESS)
            code = IDEVICE_E_SSL_ERROR;
    }
    if (service)
        lockdownd_service_descriptor_free(service);
    auto result = std::make_unique<ImobileDeviceConnection>(device, connection);
    if (code != 0) {
        result->close();
        throw AppError(MobileDeviceErrors::serviceText(description(), serviceName, code));
    }
    return result;
}
