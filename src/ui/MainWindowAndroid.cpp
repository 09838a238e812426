// Android phones and the transfer of messages onto one.
#include "ui/MainWindow.h"

#include "app/Translation.h"
#include "app/gui/MessageBoxes.h"
#include "ui/DataSourceSelForm.h"
#include "ui/ItemModelMain.h"

#include <QCoreApplication>
#include <QDir>
#include <QIcon>

void MainWindow::miI2a() { transferFlow(choose(Scope::Selected)); }
void MainWindow::miI2aChat() { transferFlow(choose(Scope::Chat)); }
void MainWindow::miI2aAll() { transferFlow(choose(Scope::All)); }
void MainWindow::miI2aToolbar() { transferFlow(choose(Scope::Toolbar)); }
void MainWindow::miDb2a() { transferFlow(choose(Scope::Selected)); }
void MainWindow::miDb2aChat() { transferFlow(choose(Scope::Chat)); }
void MainWindow::miDb2aAll() { transferFlow(choose(Scope::All)); }
void MainWindow::miDb2aToolbar() { transferFlow(choose(Scope::Toolbar)); }

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
    BusyGuard busy(this, busyKeyOf(target));
    if (!busy.acquired())
        return;
    MessageBoxes::showError(this, QStringLiteral("Transfer to an Android phone is not available in this build."));
}

void MainWindow::miConnectWifi()
{
    MessageBoxes::showError(this, QStringLiteral("Connecting an Android phone is not available in this build."));
}

void MainWindow::androidUsbTips()
{
    if (!m_mainModel->androids().isEmpty())
        return;
    const QString helpPage = QUrl::fromLocalFile(writeHelpPage()).toString();
    const QString tool = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("VelloranDeviceManager.exe"));
    const QString text =
        QStringLiteral("<b>Android device not found.</b><br/><br/>")
        + QStringLiteral("Want to connect Android device? If yes, please follow these steps:<br/><br/>")
        + QStringLiteral("* Enable USB debugging on your Android device. <a href=\"%1\">How to</a>?<br/><br/>")
              .arg(helpPage + QStringLiteral("#usb-debugging"))
        + QStringLiteral("* Install USB driver software on your computer. <a href=\"%1\">How to</a>?<br/><br/>")
              .arg(helpPage + QStringLiteral("#usb-driver"))
        + QStringLiteral("* Click <a href=\"file:///%1\">HERE</a> to run Velloran Device Manager to try again.<br/><br/>")
              .arg(tool);
    MessageBoxes::showInformation(this, text);
}
