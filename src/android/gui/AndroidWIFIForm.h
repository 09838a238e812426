// The dialog that asks for a rooted phone's WiFi address and connects to
// its helper app.
#pragma once

#include "android/AndroidDevice.h"

#include <QDialog>

class QLineEdit;
class QPushButton;

class AndroidWIFIForm : public QDialog
{
    Q_OBJECT
public:
    explicit AndroidWIFIForm(QWidget *parent = nullptr);

    const AndroidDevice &device() const { return m_device; }

private Q_SLOTS:
    void onConnect();

private:
    QLineEdit *txtWifiSocket;
    QPushButton *btnConnect;
    QPushButton *btnClose;
    AndroidDevice m_device;
};
