#include "ui/ItemModelMain.h"

#include "app/Translation.h"

#include <QImage>
#include <QImageReader>
#include <QPixmap>
#include <QSize>

namespace {

QIcon scaledIcon(const QImage &image)
{
    return QIcon(
        QPixmap::fromImage(image.scaledToWidth(ItemModelMain::kIconWidth, Qt::SmoothTransformation)));
}

} // namespace

QImage readJpegOrPng(const QString &path)
{
    // Decided by content, so that a file of another kind is never handed
    // to a decoder that would complain about it.
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    const QByteArray format = reader.format();
    if (format != "jpeg" && format != "png")
        return QImage();
    return reader.read();
}

QIcon ItemModelMain::resourceIcon(const char *path) const
{
    const QString key = QString::fromLatin1(path);
    auto it = m_icons.constFind(key);
    if (it == m_icons.constEnd())
        it = m_icons.insert(key, scaledIcon(QImage(key)));
    return *it;
}

ItemModelMain::ItemModelMain(QObject *parent) : AbsTreeItemModel(parent)
{
    m_topLevel.append(new _RootDeviceItemNode);
    m_topLevel.append(new _ItemNode(NodeKind::LocalDbGroup, ids("IDS_ROOT_LOCALDB")));
}

int ItemModelMain::columnCount(const QModelIndex &) const
{
    return 1;
}

QVariant ItemModelMain::headerData(int, Qt::Orientation, int) const
{
    return {};
}

QIcon ItemModelMain::chatIcon(_ChatSessionItemNode *node) const
{
    if (!node->icon.isNull())
        return node->icon;
    const _KikUser *user = node->chat ? node->chat->user : nullptr;
    if (user && user->is_group) {
        node->icon = resourceIcon(":res/group.png");
        return node->icon;
    }
    QImage picture;
    if (user && !user->photo_path.isEmpty())
        picture = readJpegOrPng(user->photo_path);
    node->icon = picture.isNull() ? resourceIcon(":res/contact.png") : scaledIcon(picture);
    return node->icon;
}

QVariant ItemModelMain::data(const QModelIndex &index, int role) const
{
    if (index.row() < 0 || index.column() < 0)
        return {};
    _ItemNode *node = nodeOf(index);
    if (!node)
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return node->text;
    case Qt::SizeHintRole:
        return QSize(0, 25);
    case Qt::DecorationRole:
        switch (node->kind) {
        case NodeKind::DevicesGroup:
            return resourceIcon(":res/devices.png");
        case NodeKind::LocalDbGroup:
            return resourceIcon(":res/databases.png");
        case NodeKind::IPhone:
            return resourceIcon(":res/iphone.png");
        case NodeKind::Android:
            return resourceIcon(":res/android.png");
        case NodeKind::LocalDb:
            return resourceIcon(":res/database.png");
        case NodeKind::Chat:
            return chatIcon(static_cast<_ChatSessionItemNode *>(node));
        default:
            return {};
        }
    default:
        return {};
    }
}

void ItemModelMain::insertNode(_ItemNode *parent, _ItemNode *node)
{
    const int row = int(parent->children.size());
    beginInsertRows(indexOf(parent), row, row);
    parent->children.append(node);
    endInsertRows();
}

_IOSDeviceItemNode *ItemModelMain::addIPhone(const IOSDeviceRecord &record)
{
    auto *node = new _IOSDeviceItemNode(record, devicesGroup());
    insertNode(devicesGroup(), node);
    return node;
}

_AndroidDeviceItemNode *ItemModelMain::addAndroid(const AndroidPhoneRecord &record)
{
    auto *node = new _AndroidDeviceItemNode(record, devicesGroup());
    insertNode(devicesGroup(), node);
    return node;
}

_LocalDbItemNode *ItemModelMain::addLocalDb(const QString &name)
{
    auto *node = new _LocalDbItemNode(name, localDbGroup());
    insertNode(localDbGroup(), node);
    return node;
}

void ItemModelMain::attachChats(_AbsDBItemNode *node, const QList<_KikChat *> &chats)
{
    dropChats(node);
    node->chats = chats;
    if (chats.isEmpty())
        return;
    const int first = int(node->children.size());
    beginInsertRows(indexOf(node), first, first + int(chats.size()) - 1);
    for (_KikChat *chat : chats)
        node->children.append(new _ChatSessionItemNode(chat, node));
    endInsertRows();
}

void ItemModelMain::dropChats(_AbsDBItemNode *node)
{
    node->chats.clear();
    if (node->children.isEmpty())
        return;
    beginRemoveRows(indexOf(node), 0, int(node->children.size()) - 1);
    qDeleteAll(node->children);
    node->children.clear();
    endRemoveRows();
}

void ItemModelMain::removeNode(_ItemNode *node)
{
    if (!node || !node->parent || !contains(node))
        return;
    _ItemNode *parent = node->parent;
    const int row = int(parent->children.indexOf(node));
    beginRemoveRows(indexOf(parent), row, row);
    parent->children.removeAt(row);
    endRemoveRows();
    delete node;
}

_LocalDbItemNode *ItemModelMain::findLocalDb(const QString &name) const
{
    for (_ItemNode *node : localDbGroup()->children) {
        if (node->text.compare(name, Qt::CaseInsensitive) == 0)
            return static_cast<_LocalDbItemNode *>(node);
    }
    return nullptr;
}

QList<_IOSDeviceItemNode *> ItemModelMain::iPhones() const
{
    QList<_IOSDeviceItemNode *> result;
    for (_ItemNode *node : devicesGroup()->children) {
        if (node->kind == NodeKind::IPhone)
            result.append(static_cast<_IOSDeviceItemNode *>(node));
    }
    return result;
}

QList<_AndroidDeviceItemNode *> ItemModelMain::androids() const
{
    QList<_AndroidDeviceItemNode *> result;
    for (_ItemNode *node : devicesGroup()->children) {
        if (node->kind == NodeKind::Android)
            result.append(static_cast<_AndroidDeviceItemNode *>(node));
    }
    return result;
}

_AndroidDeviceItemNode *ItemModelMain::findAndroid(const QString &serial) const
{
    for (_AndroidDeviceItemNode *node : androids()) {
        if (node->phone.serial == serial)
            return node;
    }
    return nullptr;
}

QList<_ChatSessionItemNode *> ItemModelMain::chatNodes() const
{
    QList<_ChatSessionItemNode *> result;
    for (_ItemNode *group : m_topLevel) {
        for (_ItemNode *source : group->children) {
            for (_ItemNode *chat : source->children) {
                if (chat->kind == NodeKind::Chat)
                    result.append(static_cast<_ChatSessionItemNode *>(chat));
            }
        }
    }
    return result;
}
