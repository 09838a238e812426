// Asks for the password of an encrypted backup and unlocks its key bag.
// The key derivation (millions of rounds on recent backups) runs on a worker
// thread while a busy indicator shows; the dialog stays responsive.
#pragma once

#include <QDialog>
#include <QFutureWatcher>

#include <functional>
#include <memory>

class BackupManifest;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

class PasscodeDlg : public QDialog
{
    Q_OBJECT
public:
    PasscodeDlg(const std::shared_ptr<BackupManifest> &backup, QWidget *parent = nullptr);
    ~PasscodeDlg() override;

    QLineEdit *passwordField() const { return m_password; }
    // From OK until the unlock's result has been handled (the derivation's
    // thread may already have ended while its result waits in the queue).
    bool isUnlocking() const { return m_unlocking; }

    // How messages reach the user; tests replace it.
    std::function<void(const QString &)> showMessage;

signals:
    // Emitted when an unlock attempt has finished (either way).
    void unlockFinished(bool unlocked);

public slots:
    void btnOKPressed();

private:
    void onUnlockDone();
    void setBusy(bool busy);

    std::shared_ptr<BackupManifest> m_backup;
    QLabel *m_title;
    QLineEdit *m_password;
    QProgressBar *m_busy;
    QPushButton *m_ok;
    QPushButton *m_cancel;
    // Result of the worker: 1 unlocked, 0 wrong password, -1 error (text).
    struct Outcome
    {
        int state = 0;
        QString error;
    };
    QFutureWatcher<Outcome> m_watcher;
    bool m_unlocking = false;
};
