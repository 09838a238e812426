// Lets the user choose an iTunes backup from the default backup root or add
// one from another folder.
#pragma once

#include "ios/ItemModelLoadBk.h"

#include <QDialog>

#include <functional>
#include <memory>

class QLabel;
class QPushButton;
class QTreeView;

class LoadItunesBackupDlg : public QDialog
{
    Q_OBJECT
public:
    // Lists the backups below `root` (the default backup root when empty).
    explicit LoadItunesBackupDlg(QWidget *parent = nullptr, const QString &root = QString());

    std::shared_ptr<BackupManifest> selectedBackup() const { return m_result; }
    ItemModelLoadBk *model() const { return m_model; }
    QTreeView *view() const { return m_view; }

    // Adds the backup in `folder`; false (after telling the user) when it is
    // listed already or cannot be read.
    bool addBackupFolder(const QString &folder);
    // Adds every backup folder directly below `root`, oldest folder first.
    void addBackupsBelow(const QString &root);

    // How messages reach the user and how a folder is chosen; tests replace them.
    std::function<void(const QString &)> showMessage;
    std::function<void(const QString &)> showError;
    std::function<QString()> chooseFolder;

public slots:
    void btnLoadClicked();
    void btnAddOtherClicked(const QString &link);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    ItemModelLoadBk *m_model;
    QTreeView *m_view;
    QLabel *m_title;
    QLabel *m_addOther;
    QPushButton *m_load;
    QPushButton *m_cancel;
    std::shared_ptr<BackupManifest> m_result;
};
