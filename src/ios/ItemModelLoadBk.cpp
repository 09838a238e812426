#include "ios/ItemModelLoadBk.h"

#include <QColor>
#include <QLocale>
#include <QPixmap>
#include <QSize>

ItemModelLoadBk::ItemModelLoadBk(QObject *parent) : QAbstractItemModel(parent) {}

ItemModelLoadBk::~ItemModelLoadBk() = default;

ItemModelLoadBk::_BKItemNode *ItemModelLoadBk::addBackup(const std::shared_ptr<BackupManifest> &backup)
{
    const QDateTime date = backup->backupDate();
    int row = 0;
    // Rows are newest first; an invalid date counts as the earliest.
    while (row < rowTotal()) {
        const QDateTime other = m_rows[size_t(row)]->backup->backupDate();
        const bool earlier = !other.isValid() ? date.isValid() : (date.isValid() && other < date);
        if (earlier)
            break;
        ++row;
    }
    auto node = std::make_unique<_BKItemNode>(_BKItemNode{backup->displayName(), backup});
    _BKItemNode *added = node.get();
    beginInsertRows(QModelIndex(), row, row);
    m_rows.insert(m_rows.begin() + row, std::move(node));
    endInsertRows();
    return added;
}

std::shared_ptr<BackupManifest> ItemModelLoadBk::backupAt(int row) const
{
    return row >= 0 && row < rowTotal() ? m_rows[size_t(row)]->backup : nullptr;
}

int ItemModelLoadBk::indexOfKey(const QString &backupKey) const
{
    for (int i = 0; i < rowTotal(); ++i) {
        if (m_rows[size_t(i)]->backup->backupKey() == backupKey)
            return i;
    }
    return -1;
}

bool ItemModelLoadBk::contains(const QString &backupKey) const
{
    return indexOfKey(backupKey) >= 0;
}

QModelIndex ItemModelLoadBk::index(int row, int column, const QModelIndex &parent) const
{
    if (parent.isValid() || row < 0 || row >= rowTotal() || column < 0 || column >= 3)
        return QModelIndex();
    return createIndex(row, column, m_rows[size_t(row)].get());
}

QModelIndex ItemModelLoadBk::parent(const QModelIndex &) const
{
    return QModelIndex();
}

int ItemModelLoadBk::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : rowTotal();
}

int ItemModelLoadBk::columnCount(const QModelIndex &) const
{
    return 3;
}

QVariant ItemModelLoadBk::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowTotal())
        return QVariant();
    const _BKItemNode *node = m_rows[size_t(index.row())].get();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        if (index.column() == 0)
            return node->name;
        if (index.column() == 1)
            return QLocale::system().toString(node->backup->backupDate().toLocalTime(), QLocale::ShortFormat);
        return node->backup->folderPath();
    case Qt::DecorationRole:
        if (index.column() == 0) {
            const QPixmap icon(QStringLiteral(":res/iphone.png"));
            if (!icon.isNull())
                return icon.scaledToWidth(18, Qt::SmoothTransformation);
        }
        return QVariant();
    case Qt::BackgroundRole:
        return index.row() % 2 ? QColor(255, 255, 255) : QColor(250, 250, 250);
    case Qt::SizeHintRole:
        return QSize(0, 25);
    default:
        return QVariant();
    }
}

QVariant ItemModelLoadBk::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    static const char *const names[] = {"Name", "Backup Date", "Path"};
    return section >= 0 && section < 3 ? QString::fromLatin1(names[section]) : QVariant();
}
