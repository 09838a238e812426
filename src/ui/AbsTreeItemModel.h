// Shared behaviour of tree models whose rows are owned node objects: each
// index carries its node as internal pointer.
#pragma once

#include <QAbstractItemModel>
#include <QList>
#include <QPersistentModelIndex>
#include <QString>

class AbsTreeItemModel : public QAbstractItemModel
{
    Q_OBJECT
public:
    struct _ItemNode
    {
        _ItemNode(int nodeKind, const QString &nodeText, _ItemNode *parentNode = nullptr)
            : kind(nodeKind), text(nodeText), parent(parentNode)
        {}
        virtual ~_ItemNode() { qDeleteAll(children); }
        _ItemNode(const _ItemNode &) = delete;
        _ItemNode &operator=(const _ItemNode &) = delete;

        int kind;
        QString text;
        _ItemNode *parent;
        // The index the model handed out for this node last.
        QModelIndex index;
        QList<_ItemNode *> children; // owned
    };

    explicit AbsTreeItemModel(QObject *parent = nullptr) : QAbstractItemModel(parent) {}
    ~AbsTreeItemModel() override;

    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;

    // The node of an index made by this model, or null.
    static _ItemNode *nodeOf(const QModelIndex &index);
    // A fresh index of a node of this model (column 0).
    QModelIndex indexOf(_ItemNode *node) const;
    // Whether the node is (still) part of this model's tree.
    bool contains(const _ItemNode *node) const;

protected:
    const QList<_ItemNode *> &childrenOf(const QModelIndex &parent) const;
    QList<_ItemNode *> m_topLevel; // owned
};
