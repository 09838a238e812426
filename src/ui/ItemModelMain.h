// The source tree: a "Devices" group with the connected phones and a
// "Local Databases" group with the local databases, each with its chats.
#pragma once

#include "ui/TreeNodes.h"

#include <QHash>
#include <QImage>

// A JPEG or PNG picture, or a null image for anything else.
QImage readJpegOrPng(const QString &path);

class ItemModelMain : public AbsTreeItemModel
{
    Q_OBJECT
public:
    explicit ItemModelMain(QObject *parent = nullptr);

    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    _ItemNode *devicesGroup() const { return m_topLevel[0]; }
    _ItemNode *localDbGroup() const { return m_topLevel[1]; }

    _IOSDeviceItemNode *addIPhone(const IOSDeviceRecord &record);
    _AndroidDeviceItemNode *addAndroid(const AndroidPhoneRecord &record);
    _LocalDbItemNode *addLocalDb(const QString &name);
    // One chat node per chat, in the list's order, below the database node;
    // the node keeps the list.
    void attachChats(_AbsDBItemNode *node, const QList<_KikChat *> &chats);
    // Removes the chat nodes below a database node and forgets its chats.
    void dropChats(_AbsDBItemNode *node);
    // Removes the node with its children (never a group node).
    void removeNode(_ItemNode *node);

    // The local database node of that name (case-insensitive), or null.
    _LocalDbItemNode *findLocalDb(const QString &name) const;
    QList<_IOSDeviceItemNode *> iPhones() const;
    QList<_AndroidDeviceItemNode *> androids() const;
    _AndroidDeviceItemNode *findAndroid(const QString &serial) const;
    // Every chat node of the tree, in tree order.
    QList<_ChatSessionItemNode *> chatNodes() const;

    // Icon width in the tree.
    static constexpr int kIconWidth = 18;

private:
    void insertNode(_ItemNode *parent, _ItemNode *node);
    QIcon chatIcon(_ChatSessionItemNode *node) const;
    QIcon resourceIcon(const char *path) const;

    mutable QHash<QString, QIcon> m_icons;
};
