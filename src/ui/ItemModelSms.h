// The message list: date, direction, contact and text of each message of a
// list the model does not own (the messages belong to the data set shown).
#pragma once

#include "model/KikRecords.h"

#include <QAbstractItemModel>
#include <QHash>
#include <QIcon>

class ItemModelSms : public QAbstractItemModel
{
    Q_OBJECT
public:
    explicit ItemModelSms(QObject *parent = nullptr);

    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Replaces the list and resets the model.
    void setMessages(const KikMessageList &messages);
    const KikMessageList &messages() const { return m_messages; }
    _KikMessage *messageAt(int row) const;
    // The index of a row (column 0), for selecting it.
    QModelIndex rowIndex(int row) const { return index(row, 0); }

    static const QColor &sentBackground();

private:
    QIcon icon(bool sent) const;

    KikMessageList m_messages;
    mutable QIcon m_sentIcon;
    mutable QIcon m_receivedIcon;
};
