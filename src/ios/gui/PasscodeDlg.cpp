#include "ios/gui/PasscodeDlg.h"

#include "app/Translation.h"
#include "gui/MessageBoxes.h"
#include "gui/WinMovable.h"
#include "ios/BackupManifest.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

PasscodeDlg::PasscodeDlg(const std::shared_ptr<BackupManifest> &backup, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), m_backup(backup)
{
    resize(338, 147);
    new WinMovable(this);
    showMessage = [this](const QString &text) { MessageBoxes::showWarning(this, text); };

    m_title = new QLabel(ids("IDS_PLEASE_ENTER_PASSWORD_TO_LOAD_BACKUP"), this);
    m_title->setObjectName(QStringLiteral("lbTitle2"));
    m_title->setWordWrap(true);
    m_password = new QLineEdit(this);
    m_password->setObjectName(QStringLiteral("txtPasscode"));
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setPlaceholderText(ids("IDS_ENTER_PASSWORD"));
    m_busy = new QProgressBar(this);
    m_busy->setRange(0, 0); // an indeterminate busy indicator
    m_busy->setTextVisible(false);
    m_busy->setMaximumHeight(6);
    m_busy->hide();
    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setObjectName(QStringLiteral("btnOK"));
    m_ok->setDefault(true);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("btnCancel"));

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_title);
    layout->addWidget(m_password);
    layout->addWidget(m_busy);
    layout->addLayout(buttons);

    connect(m_ok, &QPushButton::pressed, this, &PasscodeDlg::btnOKPressed);
    connect(m_password, &QLineEdit::returnPressed, this, &PasscodeDlg::btnOKPressed);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(&m_watcher, &QFutureWatcher<Outcome>::finished, this, &PasscodeDlg::onUnlockDone);
}

PasscodeDlg::~PasscodeDlg()
{
    // A running derivation keeps its own reference to the backup and ends
    // on its own; nothing here waits for it.
    m_watcher.disconnect(this);
}

void PasscodeDlg::btnOKPressed()
{
    if (m_unlocking)
        return;
    const QString password = m_password->text();
    if (password.isEmpty()) {
        showMessage(ids("IDS_PWD_IS_NULL"));
        return;
    }
    setBusy(true);
    m_unlocking = true;
    std::shared_ptr<BackupManifest> backup = m_backup;
    m_watcher.setFuture(QtConcurrent::run([backup, password]() {
        Outcome out;
        try {
            out.state = backup->unlock(password) ? 1 : 0;
        } catch (const std::exception &e) {
            out.state = -1;
            out.error = QString::fromUtf8(e.what());
        }
        return out;
    }));
}

void PasscodeDlg::onUnlockDone()
{
    const Outcome out = m_watcher.result();
    m_unlocking = false;
    setBusy(false);
    if (out.state == 1) {
        emit unlockFinished(true);
        accept();
        return;
    }
    m_password->clear();
    emit unlockFinished(false);
    showMessage(out.state == 0 ? ids("IDS_INVALID_PASSWORD") : out.error);
}

void PasscodeDlg::setBusy(bool busy)
{
    m_busy->setVisible(busy);
    m_password->setEnabled(!busy);
    m_ok->setEnabled(!busy);
}
