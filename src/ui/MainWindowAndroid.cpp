// Android phones: arrival, loading, removal, WiFi, and the transfer of
// messages onto a phone.
#include "ui/MainWindow.h"

#include "android/AndroidConnectWithUSBThread.h"
#include "android/AndroidLoadKikThread.h"
#include "android/AndroidOffline.h"
#include "android/AndroidPhone.h"
#include "android/AndroidRestoreKikThread.h"
#include "android/AndroidSafetyCopies.h"
#include "android/gui/AndroidWIFIForm.h"
#include "app/Translation.h"
#include "gui/MessageBoxes.h"
#include "jobs/gui/ProgressForm.h"
#include "ui/DataSourceSelForm.h"
#include "ui/ItemModelMain.h"
#include "ui/MyTreeView.h"

#include <QCoreApplication>
#include <QDir>
#include <QIcon>

void MainWindow::miI2a()
{
    transferFlow(choose(Scope::Selected));
}
void MainWindow::miI2aChat()
{
    transferFlow(choose(Scope::Chat));
}
void MainWindow::miI2aAll()
{
    transferFlow(choose(Scope::All));
}
void MainWindow::miI2aToolbar()
{
    transferFlow(choose(Scope::Toolbar));
}
void MainWindow::miDb2a()
{
    transferFlow(choose(Scope::Selected));
}
void MainWindow::miDb2aChat()
{
    transferFlow(choose(Scope::Chat));
}
void MainWindow::miDb2aAll()
{
    transferFlow(choose(Scope::All));
}
void MainWindow::miDb2aToolbar()
{
    transferFlow(choose(Scope::Toolbar));
}

void MainWindow::androidDeviceConnected(const AdbDevice &device)
{
    if (device.state.compare(QLatin1String("device"), Qt::CaseInsensitive) != 0) {
        MessageBoxes::showError(
            this, QStringLiteral("Can't connect to your Android Phone.<br/><br/>")
                      + QStringLiteral("Please try the following:<br/><br/>")
                      + QStringLiteral("1 Allow USB debugging on your Android Phone and check \"Always allow "
                                       "from this computer\".<br/><br/>")
                      + QStringLiteral("2 Re-enable USB debugging on your Android Phone.<br/><br/>")
                      + QStringLiteral("3 Restart your Android Phone.<br/><br/>") + QStringLiteral("Error:")
                      + device.state);
        return;
    }
    AndroidDevice connected;
    {
        BusyGuard busy(this, QStringLiteral("android:") + device.serial);
        if (!busy.acquired())
            return;
        auto form = makeProgressForm(ids("IDS_CONNECTING_ANDROID_DEVICE"));
        AndroidConnectWithUSBThread job(device.serial, form->progress());
        if (!runJob(job, *form))
            return;
        connected = job.device();
    }
    androidDeviceLoad(connected);
}

void MainWindow::androidDeviceDisconnected(const QString &serial)
{
    for (_AndroidDeviceItemNode *node : m_mainModel->androids()) {
        if (node->connected && node->device.serial == serial) {
            removeSourceNode(node);
            return;
        }
    }
}

void MainWindow::reloadAndroidNode(_AndroidDeviceItemNode *node)
{
    const AndroidLoaded loaded =
        loadAndroidTree(QDir(node->device.cacheFolder().filePath(QStringLiteral("ab-extract"))));
    if (m_shownSource == node)
        clearLists();
    m_mainModel->dropChats(node);
    node->db = loaded.db;
    node->dataSet = loaded.data;
    m_mainModel->attachChats(node, loaded.data->chatsNewestFirst());
}

void MainWindow::androidDeviceLoad(const AndroidDevice &device)
{
    if (device.externalStorage.isEmpty()
        && !MessageBoxes::askQuestion(this, ids("IDS_ANDROID_NO_EXTERNAL_STORAGE_CANNOT_READ_MEDIA")))
        return;
    BusyGuard busy(this, QStringLiteral("android:") + device.serial);
    if (!busy.acquired())
        return;
    try {
        const std::unique_ptr<AndroidPhone> phone = makeAndroidPhone(device);
        auto form = makeProgressForm(ids("IDS_LOADING_ADNROID_KIK_FILES"));
        AndroidLoadKikThread job(phone.get(), QDir(QDir::tempPath()), true, form->progress());
        if (!runJob(job, *form))
            return;
        // A node of the same phone is replaced.
        if (_AndroidDeviceItemNode *old = m_mainModel->findAndroid(device.serial))
            removeSourceNode(old);
        AndroidPhoneRecord record;
        record.serial = device.serial;
        record.manufacturer = device.manufacturer;
        record.model = device.model;
        record.hasExternalStorage = !device.externalStorage.isEmpty();
        _AndroidDeviceItemNode *node = m_mainModel->addAndroid(record);
        node->connected = true;
        node->device = device;
        reloadAndroidNode(node);
        m_tree->expand(m_mainModel->indexOf(node));
        reselect(node);
    } catch (const std::exception &e) {
        MessageBoxes::showError(this, QString::fromUtf8(e.what()));
    }
    refreshToolbar();
}

void MainWindow::transferFlow(const Chosen &chosen)
{
    if (chosen.messages.isEmpty())
        return;
    _AndroidDeviceItemNode *target = nullptr;
    _ItemNode *current = currentNode();
    if (current && current->kind == NodeKind::Android) {
        target = static_cast<_AndroidDeviceItemNode *>(current);
    } else {
        const QList<_AndroidDeviceItemNode *> phones = m_mainModel->androids();
        if (phones.isEmpty())
            return;
        DataSourceSelForm select(ids("IDS_SEL_ONE_ANDROID_DEVICE"), this);
        for (const _AndroidDeviceItemNode *phone : phones)
            select.addSource(QIcon(QStringLiteral(":res/android.png")), phone->text);
        if (select.exec() != QDialog::Accepted || select.selectedRow() < 0)
            return;
        target = phones.value(select.selectedRow());
    }
    if (!target || !m_mainModel->contains(target))
        return;
    if (!target->connected) {
        MessageBoxes::showError(this, QStringLiteral("%1 is not connected: messages can only be transferred "
                                                     "to a connected Android phone.")
                                          .arg(target->text));
        return;
    }
    const QString key = busyKeyOf(target);
    BusyGuard busy(this, key);
    if (!busy.acquired())
        return;
    const AndroidDevice device = target->device;
    const QString serial = device.serial;
    try {
        const std::unique_ptr<AndroidPhone> phone = makeAndroidPhone(device);
        const QDir cache = device.cacheFolder();
        // The phone's present state: a fresh backup archive, then a copy of
        // its database files.
        const QDir archives = AndroidSafetyCopies::archiveFolder(cache);
        {
            auto form = makeProgressForm(ids("IDS_LOADING_ADNROID_KIK_FILES"));
            AndroidLoadKikThread job(phone.get(), archives, true, form->progress());
            if (!runJob(job, *form))
                return;
        }
        AndroidSafetyCopies::keepDatabaseCopy(cache);
        {
            auto form = makeProgressForm(ids("IDS_ANDROID_RESTORING_KIK_MESSAGES"));
            AndroidRestoreKikThread job(phone.get(), chosen.messages, form->progress());
            if (!runJob(job, *form))
                return;
        }
        {
            auto form = makeProgressForm(ids("IDS_LOADING_ADNROID_KIK_FILES"));
            AndroidLoadKikThread job(phone.get(), archives, false, form->progress());
            if (!runJob(job, *form))
                return;
        }
        // The phone may have gone meanwhile; its node is looked up again.
        if (_AndroidDeviceItemNode *node = m_mainModel->findAndroid(serial)) {
            if (node->connected)
                reloadAndroidNode(node);
        }
    } catch (const std::exception &e) {
        MessageBoxes::showError(this, QString::fromUtf8(e.what()));
    }
}

void MainWindow::miConnectWifi()
{
    AndroidWIFIForm form(this);
    form.setObjectName(QStringLiteral("AndroidWIFIForm"));
    if (form.exec() != QDialog::Accepted)
        return;
    androidDeviceLoad(form.device());
}

void MainWindow::androidUsbTips()
{
    if (!m_mainModel->androids().isEmpty())
        return;
    const QString helpPage = QUrl::fromLocalFile(writeHelpPage()).toString();
    const QString tool =
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("VelloranDeviceManager.exe"));
    const QString text =
        QStringLiteral("<b>Android device not found.</b><br/><br/>")
        + QStringLiteral("Want to connect Android device? If yes, please follow these steps:<br/><br/>")
        + QStringLiteral(
              "* Enable USB debugging on your Android device. <a href=\"%1\">How to</a>?<br/><br/>")
              .arg(helpPage + QStringLiteral("#usb-debugging"))
        + QStringLiteral(
              "* Install USB driver software on your computer. <a href=\"%1\">How to</a>?<br/><br/>")
              .arg(helpPage + QStringLiteral("#usb-driver"))
        + QStringLiteral("* Click <a href=\"file:///%1\">HERE</a> to run Velloran Device Manager to try "
                         "again.<br/><br/>")
              .arg(tool);
    MessageBoxes::showInformation(this, text);
}
