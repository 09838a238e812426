#include "ui/TreeNodes.h"

#include "app/Translation.h"
#include "model/KikText.h"
#include "model/MessageOrder.h"

#include <QSet>

_RootDeviceItemNode::_RootDeviceItemNode() : _ItemNode(NodeKind::DevicesGroup, ids("IDS_ROOT_DEVICE")) {}

KikMessageList _AbsDBItemNode::allMessages(bool sorted) const
{
    // A message linked to several chats is listed once.
    KikMessageList messages;
    QSet<const _KikMessage *> seen;
    qsizetype total = 0;
    for (const _KikChat *chat : chats)
        total += chat->messages.size();
    messages.reserve(total);
    seen.reserve(total);
    for (const _KikChat *chat : chats) {
        for (_KikMessage *message : chat->messages) {
            if (!seen.contains(message)) {
                seen.insert(message);
                messages.append(message);
            }
        }
    }
    if (sorted)
        sortMessages(messages);
    return messages;
}

_IOSDeviceItemNode::_IOSDeviceItemNode(const IOSDeviceRecord &record, _ItemNode *parentNode)
    : _AbsDBItemNode(NodeKind::IPhone, record.deviceName, parentNode), device(record)
{}

QString AndroidPhoneRecord::displayName() const
{
    QString name = manufacturer;
    if (!model.isEmpty())
        name += QLatin1Char(' ') + model;
    return name.trimmed();
}

_AndroidDeviceItemNode::_AndroidDeviceItemNode(const AndroidPhoneRecord &record, _ItemNode *parentNode)
    : _AbsDBItemNode(NodeKind::Android, record.displayName(), parentNode), phone(record)
{}

_LocalDbItemNode::_LocalDbItemNode(const QString &name, _ItemNode *parentNode)
    : _AbsDBItemNode(NodeKind::LocalDb, name, parentNode)
{}

_ChatSessionItemNode::_ChatSessionItemNode(_KikChat *sessionChat, _ItemNode *parentNode)
    : _ItemNode(NodeKind::Chat,
                sessionChat && sessionChat->user ? displayName(sessionChat->user) : QStringLiteral("Unknown"),
                parentNode),
      chat(sessionChat)
{}

_AbsDBItemNode *sourceNodeOf(_ItemNode *node)
{
    if (!node)
        return nullptr;
    if (node->kind == NodeKind::Chat)
        node = node->parent;
    if (node
        && (node->kind == NodeKind::IPhone || node->kind == NodeKind::Android
            || node->kind == NodeKind::LocalDb))
        return static_cast<_AbsDBItemNode *>(node);
    return nullptr;
}
