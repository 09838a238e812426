// Running jobs, backup into a local database and import of an iTunes backup.
#include "ui/MainWindow.h"

#include "app/Translation.h"
#include "gui/MessageBoxes.h"
#include "ios/BackupManifest.h"
#include "ios/IOSKikDb.h"
#include "ios/IOSLoadKikFromiTunesThread.h"
#include "ios/gui/LoadItunesBackupDlg.h"
#include "ios/gui/PasscodeDlg.h"
#include "jobs/gui/ProgressForm.h"
#include "model/BackupKikMessagesThread.h"
#include "model/KikLocalDb.h"
#include "model/LocalDatabases.h"
#include "ui/ItemModelMain.h"
#include "ui/LocalDbSelForm.h"

#include <QApplication>
#include <QThread>

MainWindow::BusyGuard::BusyGuard(MainWindow *window, const QString &key)
    : m_window(window), m_key(key), m_acquired(!window->m_busy.contains(key))
{
    if (m_acquired)
        m_window->m_busy.insert(m_key);
}

MainWindow::BusyGuard::~BusyGuard()
{
    if (m_acquired)
        m_window->m_busy.remove(m_key);
}

std::unique_ptr<ProgressForm> MainWindow::makeProgressForm(const QString &status)
{
    auto form = std::make_unique<ProgressForm>(status, this);
    form->setObjectName(QStringLiteral("ProgressForm"));
    return form;
}

bool MainWindow::runJob(QThread &job, ProgressForm &form)
{
    // A job that ends without reporting (it was cancelled) closes the dialog;
    // one whose report shows a box on top closes it through that report.
    connect(
        &job, &QThread::finished, &form,
        [&form] {
            if (form.isVisible() && QApplication::activeModalWidget() == &form)
                form.done(0);
        },
        Qt::QueuedConnection);
    job.start();
    const int result = form.exec();
    job.wait();
    return result == 1;
}

void MainWindow::miBackup()
{
    backupFlow(choose(Scope::Selected));
}
void MainWindow::miBackupChat()
{
    backupFlow(choose(Scope::Chat));
}
void MainWindow::miBackupAll()
{
    backupFlow(choose(Scope::All));
}
void MainWindow::miBackupToolbar()
{
    backupFlow(choose(Scope::Toolbar));
}

void MainWindow::backupFlow(const Chosen &chosen, const QString &proposedName)
{
    if (chosen.messages.isEmpty())
        return;
    LocalDbSelForm select(LocalDatabases::list(), proposedName, this);
    if (select.exec() != QDialog::Accepted || select.selectedName().isEmpty())
        return;
    const QString name = select.selectedName();
    _LocalDbItemNode *node = m_mainModel->findLocalDb(name);
    // An existing database keeps the spelling of its folder.
    const QString folderName = node ? node->text : name;
    BusyGuard busy(this, QStringLiteral("db:") + folderName.toLower());
    if (!busy.acquired())
        return;
    if (!node)
        node = m_mainModel->addLocalDb(folderName);
    auto form = makeProgressForm(ids("IDS_BACKING_UP_KIK_MESSAGES"));
    BackupKikMessagesThread job(chosen.messages, LocalDatabases::folderOf(folderName), form->progress());
    const bool ok = runJob(job, *form);
    // The node may have gone while the job ran (a delete from elsewhere).
    node = m_mainModel->findLocalDb(folderName);
    if (!node) {
        if (ok && LocalDatabases::exists(LocalDatabases::folderOf(folderName)))
            node = m_mainModel->addLocalDb(folderName);
        else
            return;
    }
    if (!ok) {
        // A new database that the failed job did not create goes again.
        if (!LocalDatabases::exists(LocalDatabases::folderOf(folderName)) && !node->db)
            removeSourceNode(node);
        return;
    }
    clearLists();
    m_mainModel->dropChats(node);
    node->db.reset();
    node->dataSet.reset();
    try {
        openLocalDb(node);
    } catch (const std::exception &e) {
        MessageBoxes::showError(this, QString::fromUtf8(e.what()));
        return;
    }
    reselect(node);
}

void MainWindow::miImportiTunes()
{
    importFlow(QString());
}

void MainWindow::miImportiTunesToLocalDb()
{
    _ItemNode *node = currentNode();
    if (!node || node->kind != NodeKind::LocalDb)
        return;
    importFlow(node->text);
}

void MainWindow::importFlow(const QString &databaseName)
{
    LoadItunesBackupDlg select(this, m_options.backupRoot);
    select.setObjectName(QStringLiteral("LoadItunesBackupDlg"));
    if (select.exec() != QDialog::Accepted || !select.selectedBackup())
        return;
    const std::shared_ptr<BackupManifest> backup = select.selectedBackup();
    try {
        if (backup->isEncrypted() && !backup->isUnlocked()) {
            PasscodeDlg passcode(backup, this);
            passcode.setObjectName(QStringLiteral("PasscodeDlg"));
            if (passcode.exec() != QDialog::Accepted)
                return;
        }
        backup->buildIndex();
    } catch (const std::exception &e) {
        MessageBoxes::showError(this, QString::fromUtf8(e.what()));
        return;
    }
    auto form = makeProgressForm(ids("IDS_LOADING_ITUNES_BACKUP"));
    IOSLoadKikFromiTunesThread job(backup.get(), form->progress());
    if (!runJob(job, *form))
        return;
    if (!job.foundData()) {
        MessageBoxes::showInformation(this, QStringLiteral("Found no Kik data in your iTunes Backup."));
        return;
    }
    Chosen chosen;
    try {
        chosen.db = std::make_shared<IOSKikDb>(job.kikCacheFolder().absolutePath());
        chosen.dataSet = std::make_shared<KikDataSet>();
        chosen.db->ensureOpen();
        chosen.db->loadAll(*chosen.dataSet);
    } catch (const std::exception &e) {
        MessageBoxes::showError(this, QString::fromUtf8(e.what()));
        return;
    }
    chosen.messages = chosen.dataSet->allMessages();
    if (chosen.messages.isEmpty()) {
        MessageBoxes::showInformation(this, QStringLiteral("Found no Kik data in your iTunes Backup."));
        return;
    }
    backupFlow(chosen,
               databaseName.isEmpty() ? backup->deviceName() + QStringLiteral("_Backup") : databaseName);
}
