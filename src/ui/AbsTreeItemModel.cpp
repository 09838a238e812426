#include "ui/AbsTreeItemModel.h"

#include <functional>

AbsTreeItemModel::~AbsTreeItemModel()
{
    qDeleteAll(m_topLevel);
}

const QList<AbsTreeItemModel::_ItemNode *> &AbsTreeItemModel::childrenOf(const QModelIndex &parent) const
{
    if (!parent.isValid())
        return m_topLevel;
    return nodeOf(parent)->children;
}

QModelIndex AbsTreeItemModel::index(int row, int column, const QModelIndex &parent) const
{
    if (row < 0 || column < 0 || column >= columnCount(parent))
        return {};
    if (parent.isValid() && !nodeOf(parent))
        return {};
    const QList<_ItemNode *> &children = childrenOf(parent);
    if (row >= children.size())
        return {};
    _ItemNode *node = children[row];
    const QModelIndex made = createIndex(row, column, node);
    if (column == 0)
        node->index = made;
    return made;
}

QModelIndex AbsTreeItemModel::parent(const QModelIndex &child) const
{
    const _ItemNode *node = nodeOf(child);
    if (!node || !node->parent)
        return {};
    return indexOf(node->parent);
}

int AbsTreeItemModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid() && (parent.column() != 0 || !nodeOf(parent)))
        return 0;
    return int(childrenOf(parent).size());
}

AbsTreeItemModel::_ItemNode *AbsTreeItemModel::nodeOf(const QModelIndex &index)
{
    if (!index.isValid())
        return nullptr;
    return static_cast<_ItemNode *>(index.internalPointer());
}

QModelIndex AbsTreeItemModel::indexOf(_ItemNode *node) const
{
    if (!node)
        return {};
    const QList<_ItemNode *> &siblings = node->parent ? node->parent->children : m_topLevel;
    const qsizetype row = siblings.indexOf(node);
    if (row < 0)
        return {};
    node->index = createIndex(int(row), 0, node);
    return node->index;
}

bool AbsTreeItemModel::contains(const _ItemNode *node) const
{
    if (!node)
        return false;
    const std::function<bool(const QList<_ItemNode *> &)> search = [&](const QList<_ItemNode *> &nodes) {
        for (const _ItemNode *n : nodes) {
            if (n == node || search(n->children))
                return true;
        }
        return false;
    };
    return search(m_topLevel);
}
