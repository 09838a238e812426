#include "device/ImobileDeviceStack.h"

#include "app/AppError.h"
#include "device/ImobileDevice.h"
#include "device/MobileDeviceErrors.h"
#include "device/MobileDeviceFrameworks.h"

#include <QMetaObject>

#include <libimobiledevice/libimobiledevice.h>
#include <usbmuxd.h>

#include <cstring>
#include <stdexcept>

namespace {

void onDeviceEvent(const idevice_event_t *event, void *userData)
{
    if (!event || !event->udid || !*event->udid)
        return;
    if (event->event != IDEVICE_DEVICE_ADD && event->event != IDEVICE_DEVICE_REMOVE)
        return;
    static_cast<ImobileDeviceStack *>(userData)->deviceEvent(QString::fromUtf8(event->udid),
                                                             event->event == IDEVICE_DEVICE_ADD);
}

} // namespace

void ImobileDeviceStack::subscribe(QObject *receiver)
{
    QString error;
    if (!mobiledevice_frameworks_loaded() && !mobiledevice_load_frameworks(error))
        throw AppError(error);
    QMutexLocker subscription(&m_subscriptionMutex);
    {
        QMutexLocker lock(&m_mutex);
        m_receivers.append(receiver);
    }
    if (m_subscribed)
        return;
    // libusbmuxd's monitor thread keeps trying to reach usbmuxd (once a
    // second), so phones plugged in after usbmuxd starts still arrive.
    if (idevice_event_subscribe(onDeviceEvent, this) != IDEVICE_E_SUCCESS)
        throw AppError("Cannot subscribe to iPhone arrival and removal.");
    m_subscribed = true;
}

void ImobileDeviceStack::unsubscribe(QObject *receiver)
{
    QMutexLocker subscription(&m_subscriptionMutex);
    bool last = false;
    {
        QMutexLocker lock(&m_mutex);
        m_receivers.removeAll(receiver);
        m_receivers.removeAll(nullptr);
        last = m_receivers.isEmpty();
    }
    if (last && m_subscribed) {
        idevice_event_unsubscribe();
        m_subscribed = false;
    }
}

void ImobileDeviceStack::deviceEvent(const QString &udid, bool added)
{
    QMutexLocker lock(&m_mutex);
    MobileDevicePtr &device = m_devices[udid];
    if (!device)
        device = std::make_shared<ImobileDevice>(udid);
    void *handle = device.get();
    const char *slot = added ? "iosDeviceConnected" : "iosDeviceDisconnected";
    for (const QPointer<QObject> &receiver : std::as_const(m_receivers)) {
        if (receiver)
            QMetaObject::invokeMethod(receiver.data(), slot, Qt::QueuedConnection, Q_ARG(void *, handle));
    }
}

QStringList ImobileDeviceStack::deviceIds()
{
    usbmuxd_device_info_t *list = nullptr;
    const int count = usbmuxd_get_device_list(&list);
    if (count < 0)
        throw AppError(MobileDeviceErrors::usbmuxdUnreachableText());
    QStringList ids;
    for (int i = 0; i < count; ++i) {
        const QString udid =
            QString::fromUtf8(list[i].udid, qsizetype(strnlen(list[i].udid, sizeof list[i].udid)));
        // A phone reached over the network and by USB is listed once.
        if (!udid.isEmpty() && !ids.contains(udid))
            ids.append(udid);
    }
    usbmuxd_device_list_free(&list);
    return ids;
}

MobileDevicePtr ImobileDeviceStack::device(const QString &udid)
{
    QMutexLocker lock(&m_mutex);
    MobileDevicePtr &device = m_devices[udid];
    if (!device)
        device = std::make_shared<ImobileDevice>(udid);
    return device;
}

MobileDevicePtr ImobileDeviceStack::deviceForHandle(void *handle)
{
    QMutexLocker lock(&m_mutex);
    for (const MobileDevicePtr &device : std::as_const(m_devices)) {
        if (device.get() == handle)
            return device;
    }
    return nullptr;
}

MobileDeviceStack &mobileDeviceStack()
{
    // Never destroyed: libimobiledevice's event thread may call into it until
    // the process ends.
    static auto *stack = new ImobileDeviceStack;
    return *stack;
}
