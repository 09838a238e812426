// iPhone arrival and removal.
#include "ui/MainWindow.h"

#include "ui/ItemModelMain.h"

#include <QDebug>

void MainWindow::iosDeviceConnected(void *device)
{
    // Reading the device and loading Kik from it come with the device layer.
    qWarning() << "iPhone arrived; loading from a connected iPhone is not available" << device;
}

void MainWindow::iosDeviceDisconnected(void *device)
{
    // Phones loaded from folders have no handle and never leave this way.
    if (!device)
        return;
    for (_IOSDeviceItemNode *node : m_mainModel->iPhones()) {
        if (node->device.handle == device) {
            removeSourceNode(node);
            return;
        }
    }
}
