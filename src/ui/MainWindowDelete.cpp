// Deleting messages, chats and local databases; cache and folders; help,
// support and About.
#include "ui/MainWindow.h"

#include "app/CacheFiles.h"
#include "app/DataRoot.h"
#include "app/FileUtil.h"
#include "app/Translation.h"
#include "gui/MessageBoxes.h"
#include "model/KikLocalDb.h"
#include "model/LocalDatabases.h"
#include "ui/AboutUsForm.h"
#include "ui/ItemModelMain.h"
#include "ui/MyTreeView.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

void MainWindow::miDelete()
{
    deleteFlow(choose(Scope::Selected));
}
void MainWindow::miDeleteChat()
{
    deleteFlow(choose(Scope::Chat));
}
void MainWindow::miDeleteAll()
{
    deleteFlow(choose(Scope::All));
}
void MainWindow::miDeleteToolbar()
{
    deleteFlow(choose(Scope::Toolbar));
}

void MainWindow::deleteFlow(const Chosen &chosen)
{
    if (!chosen.source || chosen.source->kind != NodeKind::LocalDb)
        return;
    auto *node = static_cast<_LocalDbItemNode *>(chosen.source);
    BusyGuard busy(this, busyKeyOf(node));
    if (!busy.acquired())
        return;
    const QString name = node->text;
    const QString folder = LocalDatabases::folderOf(name);
    const char *question = chosen.scope == Scope::Selected ? "IDS_CONFIRM_DEL_SEL_MESSAGES"
                           : chosen.scope == Scope::Chat   ? "IDS_CONFIRM_DEL_THIS_CHAT"
                                                           : "IDS_CONFIRM_DEL_THIS_LOCALDB";
    if (chosen.scope == Scope::Selected && chosen.messages.isEmpty())
        return;
    // What goes is noted before the question: the tree may change while it
    // is open.
    QStringList uids;
    for (const _KikMessage *message : chosen.messages)
        uids.append(message->uid);
    const _KikChat *chat = chosen.chat ? chosen.chat->chat : nullptr;
    const QString partnerJid = chat && chat->user ? chat->user->jid : QString();
    if (!MessageBoxes::askQuestion(this, ids(question)))
        return;
    node = m_mainModel->findLocalDb(name);
    if (!node)
        return;
    try {
        if (chosen.scope == Scope::Selected || chosen.scope == Scope::Chat) {
            auto db = std::dynamic_pointer_cast<KikLocalDb>(chosen.db);
            if (!db)
                return;
            if (chosen.scope == Scope::Selected)
                db->deleteMessages(uids);
            else if (!partnerJid.isEmpty())
                db->deleteChat(partnerJid);
            clearLists();
            m_mainModel->dropChats(node);
            node->db.reset();
            node->dataSet.reset();
            openLocalDb(node);
            reselect(node);
        } else {
            clearLists();
            m_tree->setCurrentIndex(QModelIndex());
            removeSourceNode(node);
            LocalDatabases::remove(folder);
            MessageBoxes::showInformation(this, ids("IDS_DEL_LOCALDB_SUC"));
        }
    } catch (const std::exception &e) {
        MessageBoxes::showError(this, QString::fromUtf8(e.what()));
    }
}

void MainWindow::miClearCache()
{
    clearCacheFiles();
    MessageBoxes::showInformation(this, ids("IDS_SUC_CLEAR_CACHE"));
}

void MainWindow::miOpenDBFolder()
{
    openFolder(DataRoot::localDatabaseFolder().absolutePath());
}

void MainWindow::miViewIOSCacheFiles()
{
    _ItemNode *node = currentNode();
    if (!node || node->kind != NodeKind::IPhone)
        return;
    const QString id = safeLeafName(static_cast<_IOSDeviceItemNode *>(node)->device.uniqueDeviceId);
    QDir cache = DataRoot::iosCacheFolder();
    openFolder(id.isEmpty() ? cache.absolutePath() : cache.filePath(id));
}

void MainWindow::miViewAndroidCacheFiles()
{
    _ItemNode *node = currentNode();
    if (!node || node->kind != NodeKind::Android)
        return;
    auto *phone = static_cast<_AndroidDeviceItemNode *>(node);
    if (phone->connected) {
        openFolder(phone->device.cacheFolder().absolutePath());
        return;
    }
    const QString id = safeLeafName(phone->phone.serial);
    QDir cache = DataRoot::androidCacheFolder();
    openFolder(id.isEmpty() ? cache.absolutePath() : cache.filePath(id));
}

void MainWindow::miUnmoutDevice()
{
    _ItemNode *node = currentNode();
    if (node && (node->kind == NodeKind::IPhone || node->kind == NodeKind::Android))
        removeSourceNode(node);
}

QString MainWindow::helpPagePath()
{
    return DataRoot::subFolder(QStringLiteral("help")).filePath(QStringLiteral("velloran-help.html"));
}

QString MainWindow::writeHelpPage()
{
    // The page is built into the program and written out for the browser.
    QFile page(QStringLiteral(":/res/help.html"));
    const QString path = helpPagePath();
    QSaveFile out(path);
    if (!page.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly) || out.write(page.readAll()) < 0
        || !out.commit())
        return QString();
    return path;
}

void MainWindow::miHelp()
{
    const QString path = writeHelpPage();
    if (path.isEmpty()) {
        MessageBoxes::showError(
            this, QStringLiteral("can not write %1.").arg(QDir::toNativeSeparators(helpPagePath())));
        return;
    }
    openUrl(QUrl::fromLocalFile(path));
}

void MainWindow::miFeedback()
{
    openUrl(QUrl(QString::fromLatin1(kHomeUrl)));
}

void MainWindow::miHome()
{
    openUrl(QUrl(QString::fromLatin1(kHomeUrl)));
}

void MainWindow::miAbout()
{
    AboutUsForm form(this);
    form.exec();
}
