#include "ios/gui/LoadItunesBackupDlg.h"

#include "app/Log.h"
#include "app/LogCategories.h"
#include "app/Translation.h"
#include "gui/MessageBoxes.h"
#include "gui/WinMovable.h"
#include "ios/BackupPaths.h"

#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

LoadItunesBackupDlg::LoadItunesBackupDlg(QWidget *parent, const QString &root)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), m_model(new ItemModelLoadBk(this))
{
    resize(600, 400);
    new WinMovable(this);
    showMessage = [this](const QString &text) { MessageBoxes::showWarning(this, text); };
    showError = [this](const QString &text) { MessageBoxes::showError(this, text); };
    chooseFolder = [this] {
        return QFileDialog::getExistingDirectory(this, QString(), QDir::homePath(),
                                                 QFileDialog::ShowDirsOnly);
    };

    m_title = new QLabel(ids("IDS_SELECT_AN_ITUNES_BACKUP_TO_LOAD"), this);
    m_title->setObjectName(QStringLiteral("lbTitle"));
    m_view = new QTreeView(this);
    m_view->setObjectName(QStringLiteral("listBackups"));
    m_view->setRootIsDecorated(false);
    m_view->setModel(m_model);
    m_addOther = new QLabel(ids("IDS_NO_BACKUP_LISTED_THERE_CLICK_<a href=\"#\">Here</a>_ADD"), this);
    m_addOther->setObjectName(QStringLiteral("lbAddOther"));
    m_addOther->setTextFormat(Qt::RichText);
    m_load = new QPushButton(QStringLiteral("Load"), this);
    m_load->setObjectName(QStringLiteral("btnLoad"));
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("btnCancel"));

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_addOther, 1);
    buttons->addWidget(m_load);
    buttons->addWidget(m_cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_title);
    layout->addWidget(m_view, 1);
    layout->addLayout(buttons);

    connect(m_load, &QPushButton::pressed, this, &LoadItunesBackupDlg::btnLoadClicked);
    connect(m_view, &QTreeView::doubleClicked, this, &LoadItunesBackupDlg::btnLoadClicked);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_addOther, &QLabel::linkActivated, this, &LoadItunesBackupDlg::btnAddOtherClicked);

    addBackupsBelow(root.isEmpty() ? BackupPaths::defaultBackupRoot() : root);
    m_view->setCurrentIndex(QModelIndex());
}

void LoadItunesBackupDlg::addBackupsBelow(const QString &root)
{
    const QFileInfoList folders =
        QDir(root).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Time | QDir::Reversed);
    for (const QFileInfo &folder : folders) {
        const QString path = folder.absoluteFilePath();
        if (!BackupManifest::looksLikeBackup(path))
            continue;
        auto backup = std::make_shared<BackupManifest>(path);
        try {
            backup->readProperties();
            m_model->addBackup(backup);
        } catch (const std::exception &e) {
            qCWarning(lcIos, "%s", e.what());
            showError(QStringLiteral("load %1 error. %2").arg(path, QString::fromUtf8(e.what())));
        }
    }
}

bool LoadItunesBackupDlg::addBackupFolder(const QString &folder)
{
    auto backup = std::make_shared<BackupManifest>(folder);
    if (m_model->contains(backup->backupKey())) {
        showMessage(ids("IDS_LOAD_BK_EXISTS"));
        return false;
    }
    try {
        backup->readProperties();
    } catch (const std::exception &e) {
        qCWarning(lcIos, "%s", e.what());
        showError(QStringLiteral("load %1 error. %2").arg(folder, QString::fromUtf8(e.what())));
        return false;
    }
    m_model->addBackup(backup);
    m_view->setCurrentIndex(m_model->index(m_model->indexOfKey(backup->backupKey()), 0));
    return true;
}

void LoadItunesBackupDlg::btnAddOtherClicked(const QString &)
{
    const QString folder = chooseFolder ? chooseFolder() : QString();
    if (!folder.isEmpty())
        addBackupFolder(folder);
}

void LoadItunesBackupDlg::btnLoadClicked()
{
    const QModelIndex current = m_view->currentIndex();
    if (!current.isValid()) {
        showMessage(ids("IDS_PLEASE_SELECT_ONE_ITUNES_BACKUP"));
        return;
    }
    m_result = m_model->backupAt(current.row());
    accept();
}

void LoadItunesBackupDlg::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    const int width = qMax(0, m_view->width() - 80);
    m_view->setColumnWidth(0, width * 40 / 100);
    m_view->setColumnWidth(1, width * 25 / 100);
    m_view->setColumnWidth(2, width * 35 / 100);
}
