#include "android/gui/AndroidWIFIForm.h"

#include "android/AndroidConnectWithWiFiThread.h"
#include "android/HelperConnection.h"
#include "app/Translation.h"
#include "gui/MessageBoxes.h"
#include "gui/WinMovable.h"
#include "jobs/gui/ProgressForm.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

AndroidWIFIForm::AndroidWIFIForm(QWidget *parent)
    : QDialog(parent, Qt::FramelessWindowHint | Qt::Dialog), txtWifiSocket(new QLineEdit(this)),
      btnConnect(new QPushButton(tr("Connect"), this)), btnClose(new QPushButton(tr("Close"), this))
{
    setObjectName(QStringLiteral("AndroidWIFIForm"));
    txtWifiSocket->setObjectName(QStringLiteral("txtWifiSocket"));
    btnConnect->setObjectName(QStringLiteral("btnConnect"));
    btnClose->setObjectName(QStringLiteral("btnClose"));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnConnect);
    buttons->addWidget(btnClose);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(txtWifiSocket);
    layout->addLayout(buttons);
    new WinMovable(this);
    connect(btnConnect, &QPushButton::clicked, this, &AndroidWIFIForm::onConnect);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::reject);
}

void AndroidWIFIForm::onConnect()
{
    const QString address = HelperConnection::wifiAddressFrom(txtWifiSocket->text());
    if (address.isEmpty()) {
        MessageBoxes::showWarning(this, ids("IDS_WIFI_SOCK_WRONG_FOR_EXAMPLE"));
        return;
    }
    ProgressForm form(ids("IDS_CONNECTING_ANDROID_DEVICE"), this);
    AndroidConnectWithWiFiThread job(address, form.progress());
    job.start();
    const int result = form.exec();
    job.wait();
    if (result == QDialog::Accepted && !form.isCancelled()) {
        m_device = job.device();
        accept();
    }
}
