#include "ui/ItemModelSms.h"

#include "model/KikText.h"

#include <QColor>
#include <QImage>
#include <QLocale>
#include <QPixmap>
#include <QSize>

ItemModelSms::ItemModelSms(QObject *parent) : QAbstractItemModel(parent) {}

QModelIndex ItemModelSms::index(int row, int column, const QModelIndex &parent) const
{
    if (parent.isValid() || row < 0 || column < 0 || row >= m_messages.size() || column >= 4)
        return {};
    return createIndex(row, column);
}

QModelIndex ItemModelSms::parent(const QModelIndex &) const
{
    return {};
}

int ItemModelSms::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_messages.size());
}

int ItemModelSms::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 4;
}

const QColor &ItemModelSms::sentBackground()
{
    static const QColor colour(245, 255, 226);
    return colour;
}

QIcon ItemModelSms::icon(bool sent) const
{
    QIcon &slot = sent ? m_sentIcon : m_receivedIcon;
    if (slot.isNull()) {
        const QImage image(sent ? QStringLiteral(":/res/icon_sms-sent.png")
                                : QStringLiteral(":/res/icon_sms-receive.png"));
        slot = QIcon(QPixmap::fromImage(image.scaledToWidth(18, Qt::SmoothTransformation)));
    }
    return slot;
}

_KikMessage *ItemModelSms::messageAt(int row) const
{
    return row >= 0 && row < m_messages.size() ? m_messages[row] : nullptr;
}

QVariant ItemModelSms::data(const QModelIndex &index, int role) const
{
    const _KikMessage *message = index.isValid() ? messageAt(index.row()) : nullptr;
    if (!message)
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        switch (index.column()) {
        case 0:
            return QLocale::system().toString(message->ts.toLocalTime(), QLocale::ShortFormat);
        case 1:
            return message->was_me ? QStringLiteral("To") : QStringLiteral("From");
        case 2:
            if (message->target_user)
                return displayName(message->target_user);
            if (message->chat && message->chat->user)
                return displayName(message->chat->user);
            return QStringLiteral("Unknown");
        case 3:
            return summaryText(message);
        default:
            return {};
        }
    case Qt::DecorationRole:
        if (index.column() == 0)
            return icon(message->was_me);
        return {};
    case Qt::BackgroundRole:
        return message->was_me ? sentBackground() : QColor(Qt::white);
    case Qt::SizeHintRole:
        return QSize(0, 23);
    default:
        return {};
    }
}

QVariant ItemModelSms::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char *const names[] = {"Date", "Flag", "Contact", "Content"};
    if (section < 0 || section >= 4)
        return {};
    return QString::fromLatin1(names[section]);
}

void ItemModelSms::setMessages(const KikMessageList &messages)
{
    beginResetModel();
    m_messages = messages;
    endResetModel();
}
