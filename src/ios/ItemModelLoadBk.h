// The list of backups in the backup chooser: one row per backup, newest
// first, with the columns "Name", "Backup Date" and "Path".
#pragma once

#include "ios/BackupManifest.h"

#include <QAbstractItemModel>

#include <memory>
#include <vector>

class ItemModelLoadBk : public QAbstractItemModel
{
    Q_OBJECT
public:
    struct _BKItemNode
    {
        QString name;
        std::shared_ptr<BackupManifest> backup;
    };

    explicit ItemModelLoadBk(QObject *parent = nullptr);
    ~ItemModelLoadBk() override;

    // Inserts the backup before the first row with an earlier date (after
    // rows of the same date); returns its node.
    _BKItemNode *addBackup(const std::shared_ptr<BackupManifest> &backup);
    std::shared_ptr<BackupManifest> backupAt(int row) const;
    // True when a listed backup has the same backupKey.
    bool contains(const QString &backupKey) const;
    int indexOfKey(const QString &backupKey) const;

    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    int rowTotal() const { return int(m_rows.size()); }

    std::vector<std::unique_ptr<_BKItemNode>> m_rows;
};
