// Tree selection, the lists, both searches, sorting, toolbar state and the
// context menus of the main window.
#include "ui/MainWindow.h"

#include "app/Translation.h"
#include "gui/MessageBoxes.h"
#include "model/KikLocalDb.h"
#include "model/KikText.h"
#include "model/LocalDatabases.h"
#include "model/MessageOrder.h"
#include "ui/ItemModelMain.h"
#include "ui/ItemModelSms.h"
#include "ui/MyTreeView.h"
#include "view/gui/KikBubbleViewMgr.h"

#include <QAction>
#include <QCursor>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPixmap>
#include <QStatusBar>

#include <algorithm>

_ItemNode *MainWindow::currentNode() const
{
    _ItemNode *node = AbsTreeItemModel::nodeOf(m_tree->currentIndex());
    return m_mainModel->contains(node) ? node : nullptr;
}

_AbsDBItemNode *MainWindow::currentSource() const
{
    return sourceNodeOf(currentNode());
}

void MainWindow::selectNode(_ItemNode *node)
{
    const QModelIndex index = m_mainModel->indexOf(node);
    if (index.isValid()) {
        m_tree->setCurrentIndex(index);
        m_tree->scrollTo(index);
    }
}

void MainWindow::reselect(_ItemNode *node)
{
    m_tree->selectionModel()->clear();
    m_tree->setCurrentIndex(QModelIndex());
    selectNode(node);
}

QString MainWindow::busyKeyOf(const _AbsDBItemNode *node)
{
    switch (node->kind) {
    case NodeKind::Android:
        return QStringLiteral("android:") + static_cast<const _AndroidDeviceItemNode *>(node)->phone.serial;
    case NodeKind::IPhone:
        return QStringLiteral("iphone:")
               + static_cast<const _IOSDeviceItemNode *>(node)->device.uniqueDeviceId;
    default:
        return QStringLiteral("db:") + node->text.toLower();
    }
}

MainWindow::Chosen MainWindow::choose(Scope scope) const
{
    Chosen chosen;
    _ItemNode *node = currentNode();
    if (scope == Scope::Toolbar) {
        if (m_smsList->selectionModel()->hasSelection())
            scope = Scope::Selected;
        else if (!node)
            return chosen;
        else
            scope = node->kind == NodeKind::Chat ? Scope::Chat : Scope::All;
    }
    chosen.scope = scope;
    switch (scope) {
    case Scope::Selected: {
        if (!m_shownSource || !m_mainModel->contains(m_shownSource))
            return chosen;
        chosen.source = m_shownSource;
        QModelIndexList rows = m_smsList->selectionModel()->selectedRows(0);
        std::sort(rows.begin(), rows.end());
        for (const QModelIndex &row : rows) {
            if (_KikMessage *message = m_smsModel->messageAt(row.row()))
                chosen.messages.append(message);
        }
        break;
    }
    case Scope::Chat:
        if (!node || node->kind != NodeKind::Chat)
            return chosen;
        chosen.chat = static_cast<_ChatSessionItemNode *>(node);
        chosen.source = chosen.chat->source();
        if (chosen.chat->chat)
            chosen.messages = chosen.chat->chat->messages;
        sortMessages(chosen.messages);
        break;
    case Scope::All:
    case Scope::Toolbar:
        chosen.source = sourceNodeOf(node);
        if (chosen.source)
            chosen.messages = chosen.source->allMessages();
        break;
    }
    if (chosen.source) {
        chosen.dataSet = chosen.source->dataSet;
        chosen.db = chosen.source->db;
    }
    return chosen;
}

void MainWindow::refreshToolbar()
{
    const _AbsDBItemNode *source = currentSource();
    const int kind = source ? source->kind : 0;
    const bool haveAndroid = !m_mainModel->androids().isEmpty();
    action(QStringLiteral("miBackupToolbar"))->setEnabled(kind == NodeKind::IPhone);
    action(QStringLiteral("miI2aToolbar"))->setEnabled(kind == NodeKind::IPhone && haveAndroid);
    action(QStringLiteral("miDb2aToolbar"))->setEnabled(kind == NodeKind::LocalDb && haveAndroid);
    action(QStringLiteral("miExportToolbar"))
        ->setEnabled(kind == NodeKind::IPhone || kind == NodeKind::LocalDb);
    action(QStringLiteral("miPrintToolbar"))
        ->setEnabled(kind == NodeKind::IPhone || kind == NodeKind::LocalDb);
    action(QStringLiteral("miDeleteToolbar"))->setEnabled(kind == NodeKind::LocalDb);
}

void MainWindow::clearLists()
{
    m_smsModel->setMessages({});
    m_bubbles->showBubble({});
    m_smsCount->setText(QStringLiteral("Messages: 0"));
    m_chatName->clear();
    m_chatImg->clear();
    m_shownSource = nullptr;
    m_shownData.reset();
}

void MainWindow::showMessages(_AbsDBItemNode *source, const KikMessageList &messages, const _KikChat *chat)
{
    KikMessageList sorted = messages;
    sortMessagesByTime(sorted);
    if (m_smsList->header()->sortIndicatorOrder() == Qt::DescendingOrder)
        std::reverse(sorted.begin(), sorted.end());
    // Hold the data before the views point at it; release the old only after.
    KikDataSetPtr previous = m_shownData;
    m_shownSource = source;
    m_shownData = source ? source->dataSet : KikDataSetPtr();
    m_smsModel->setMessages(sorted);
    m_bubbles->showBubble(sorted);
    m_smsCount->setText(QStringLiteral("Messages: %1").arg(sorted.size()));
    if (chat) {
        m_chatName->setText(chat->user ? displayName(chat->user) : QStringLiteral("Unknown"));
        QImage picture;
        if (chat->user && !chat->user->photo_path.isEmpty())
            picture = readJpegOrPng(chat->user->photo_path);
        m_chatImg->setPixmap(QPixmap::fromImage(picture));
    } else {
        m_chatName->clear();
        m_chatImg->clear();
    }
    if (source)
        statusBar()->showMessage(
            QStringLiteral("Total: %1").arg(source->dataSet ? source->dataSet->messages.size() : 0));
}

void MainWindow::openLocalDb(_LocalDbItemNode *node)
{
    auto db = std::make_shared<KikLocalDb>(LocalDatabases::folderOf(node->text));
    loadSource(node, db);
    m_tree->expand(m_mainModel->indexOf(node));
}

void MainWindow::showNode(_ItemNode *node)
{
    if (!node) {
        clearLists();
        return;
    }
    switch (node->kind) {
    case NodeKind::LocalDb: {
        auto *db = static_cast<_LocalDbItemNode *>(node);
        if (!db->db) {
            try {
                openLocalDb(db);
                db->openError.clear();
            } catch (const std::exception &e) {
                db->openError = QString::fromUtf8(e.what());
                db->db.reset();
                db->dataSet.reset();
                clearLists();
                MessageBoxes::showError(this, db->openError);
                return;
            }
        }
        showMessages(db, db->allMessages(false), nullptr); // sorted by time there
        break;
    }
    case NodeKind::IPhone:
    case NodeKind::Android: {
        auto *source = static_cast<_AbsDBItemNode *>(node);
        showMessages(source, source->allMessages(false), nullptr);
        break;
    }
    case NodeKind::Chat: {
        auto *chat = static_cast<_ChatSessionItemNode *>(node);
        showMessages(chat->source(), chat->chat ? chat->chat->messages : KikMessageList(), chat->chat);
        break;
    }
    default:
        clearLists();
        break;
    }
}

void MainWindow::onMainTreeSelected(const QItemSelection &, const QItemSelection &)
{
    refreshToolbar();
    // The current index moves after the selection; show what becomes current.
    const QModelIndexList selected = m_tree->selectionModel()->selectedIndexes();
    _ItemNode *node = selected.isEmpty() ? nullptr : AbsTreeItemModel::nodeOf(selected.first());
    if (node && !m_mainModel->contains(node))
        node = nullptr;
    showNode(node);
    refreshToolbar();
}

void MainWindow::removeSourceNode(_ItemNode *node)
{
    if (!node || !m_mainModel->contains(node))
        return;
    _AbsDBItemNode *source = sourceNodeOf(node);
    const bool shown = source && m_shownSource == source;
    _ItemNode *current = currentNode();
    bool currentInside = false;
    for (_ItemNode *n = current; n; n = n->parent)
        currentInside = currentInside || n == node;
    if (shown || currentInside) {
        m_tree->selectionModel()->clear();
        m_tree->setCurrentIndex(QModelIndex());
        clearLists();
    }
    m_mainModel->removeNode(node);
    refreshToolbar();
}

void MainWindow::onSMSItemSelected(const QItemSelection &selected, const QItemSelection &)
{
    if (selected.isEmpty())
        return;
    const int row = selected.indexes().first().row();
    if (m_smsModel->messageAt(row))
        m_bubbles->scrollToPos(row);
}

void MainWindow::onSMSSortIndicatorChanged(int column, Qt::SortOrder order)
{
    QHeaderView *header = m_smsList->header();
    if (column != 0) {
        header->setSortIndicator(0, Qt::AscendingOrder);
        return;
    }
    KikMessageList messages = m_smsModel->messages();
    sortMessagesByTime(messages);
    if (order == Qt::DescendingOrder)
        std::reverse(messages.begin(), messages.end());
    m_smsModel->setMessages(messages);
    m_bubbles->showBubble(messages);
}

void MainWindow::searchMessages()
{
    const QString keyword = m_smsKeyword->text().trimmed();
    if (keyword.isEmpty())
        return;
    const int count = m_smsModel->rowCount();
    if (count == 0) {
        MessageBoxes::showInformation(this, ids("IDS_CAN_NOT_FOUND_AND_MESSAGES"));
        return;
    }
    const QModelIndex current = m_smsList->currentIndex();
    const int start = current.isValid() ? current.row() + 1 : 0;
    auto hit = [&](int row) {
        return summaryText(m_smsModel->messageAt(row)).contains(keyword, Qt::CaseInsensitive)
               || m_smsModel->messageAt(row)->body.contains(keyword, Qt::CaseInsensitive);
    };
    int found = -1;
    for (int row = start; row < count && found < 0; ++row) {
        if (hit(row))
            found = row;
    }
    for (int row = 0; found < 0 && start > 0 && row < qMin(start, count); ++row) {
        if (hit(row))
            found = row;
    }
    if (found < 0) {
        MessageBoxes::showInformation(this, ids("IDS_CAN_NOT_FOUNDSMS_KEYWORD_%0").arg(keyword));
        return;
    }
    const QModelIndex index = m_smsModel->rowIndex(found);
    m_smsList->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect
                                                            | QItemSelectionModel::Rows);
    m_smsList->scrollTo(index);
}

void MainWindow::searchCotnact()
{
    const QString keyword = m_contactKeyword->text().trimmed();
    if (keyword.isEmpty())
        return;
    const QList<_ChatSessionItemNode *> chats = m_mainModel->chatNodes();
    const int count = int(chats.size());
    // The current node may be of any kind: compared as a node, never cast.
    const _ItemNode *current = currentNode();
    qsizetype currentAt = -1;
    for (qsizetype i = 0; i < chats.size() && currentAt < 0; ++i) {
        if (chats[i] == current)
            currentAt = i;
    }
    const int start = currentAt >= 0 ? int(currentAt) + 1 : 0;
    int found = -1;
    for (int i = start; i < count && found < 0; ++i) {
        if (chats[i]->text.contains(keyword, Qt::CaseInsensitive))
            found = i;
    }
    for (int i = 0; found < 0 && start > 0 && i < qMin(start, count); ++i) {
        if (chats[i]->text.contains(keyword, Qt::CaseInsensitive))
            found = i;
    }
    if (found < 0) {
        MessageBoxes::showInformation(this, ids("IDS_CAN_NOT_FOUNDCONTACT_KEYWORD_%0").arg(keyword));
        return;
    }
    selectNode(chats[found]);
}

QMenu *MainWindow::buildTreeContextMenu(_ItemNode *node)
{
    if (!node || !m_mainModel->contains(node))
        return nullptr;
    const bool haveAndroid = !m_mainModel->androids().isEmpty();
    auto *menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("menuTree"));
    auto add = [&](const char *name) { menu->addAction(action(QString::fromLatin1(name))); };
    switch (node->kind) {
    case NodeKind::LocalDbGroup:
        add("miOpenDBFolder");
        add("miImportiTunes");
        break;
    case NodeKind::IPhone:
        add("miBackupAll");
        action(QStringLiteral("miI2aAll"))->setEnabled(haveAndroid);
        add("miI2aAll");
        add("miExportAll");
        add("miPrintAll");
        add("miUnmoutDevice");
        add("miViewIOSCacheFiles");
        break;
    case NodeKind::Android:
        add("miViewAndroidCacheFiles");
        break;
    case NodeKind::LocalDb:
        action(QStringLiteral("miDb2aAll"))->setEnabled(haveAndroid);
        add("miDb2aAll");
        add("miExportAll");
        add("miPrintAll");
        add("miDeleteAll");
        add("miImportiTunesToLocalDb");
        break;
    case NodeKind::Chat:
        if (node->parent->kind == NodeKind::IPhone) {
            add("miBackupChat");
            action(QStringLiteral("miI2aChat"))->setEnabled(haveAndroid);
            add("miI2aChat");
            add("miExportChat");
            add("miPrintChat");
        } else if (node->parent->kind == NodeKind::LocalDb) {
            action(QStringLiteral("miDb2aChat"))->setEnabled(haveAndroid);
            add("miDb2aChat");
            add("miExportChat");
            add("miPrintChat");
            add("miDeleteChat");
        }
        break;
    default:
        break;
    }
    if (menu->actions().isEmpty()) {
        delete menu;
        return nullptr;
    }
    return menu;
}

QMenu *MainWindow::buildSmsContextMenu()
{
    if (!m_shownSource || !m_mainModel->contains(m_shownSource)
        || !m_smsList->selectionModel()->hasSelection())
        return nullptr;
    const char *const *names = nullptr;
    static const char *const localDb[] = {"miDb2a", "miExport", "miPrint", "miDelete", nullptr};
    static const char *const iPhone[] = {"miBackup", "miI2a", "miExport", "miPrint", nullptr};
    if (m_shownSource->kind == NodeKind::LocalDb)
        names = localDb;
    else if (m_shownSource->kind == NodeKind::IPhone)
        names = iPhone;
    else
        return nullptr;
    const bool haveAndroid = !m_mainModel->androids().isEmpty();
    action(QStringLiteral("miDb2a"))->setEnabled(haveAndroid);
    action(QStringLiteral("miI2a"))->setEnabled(haveAndroid);
    auto *menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("menuMessages"));
    for (; *names; ++names)
        menu->addAction(action(QString::fromLatin1(*names)));
    return menu;
}

void MainWindow::onMainTreeContextMenu()
{
    const QModelIndex index = m_tree->indexAt(m_tree->lastContextMenuPos());
    _ItemNode *node = AbsTreeItemModel::nodeOf(index);
    if (!node)
        return;
    if (m_tree->currentIndex() != index)
        m_tree->setCurrentIndex(index);
    QMenu *menu = buildTreeContextMenu(node);
    if (!menu)
        return;
    menu->exec(m_tree->viewport()->mapToGlobal(m_tree->lastContextMenuPos()));
    delete menu;
}

void MainWindow::onSMSContextMenu()
{
    QMenu *menu = buildSmsContextMenu();
    if (!menu)
        return;
    menu->exec(m_smsList->viewport()->mapToGlobal(m_smsList->lastContextMenuPos()));
    delete menu;
}
