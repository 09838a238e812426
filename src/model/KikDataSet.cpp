#include "model/KikDataSet.h"

#include "model/MessageOrder.h"

#include <algorithm>

KikDataSet::~KikDataSet()
{
    qDeleteAll(chats);
    qDeleteAll(users);
    qDeleteAll(messages);
}

namespace {

template <typename T>
T *store(QMap<qint64, T *> &map, T *record)
{
    if (!record)
        return nullptr;
    auto it = map.find(record->_id);
    if (it != map.end()) {
        if (it.value() != record)
            delete it.value();
        it.value() = record;
    } else {
        map.insert(record->_id, record);
    }
    return record;
}

} // namespace

_KikUser *KikDataSet::addUser(_KikUser *user)
{
    return store(users, user);
}

_KikChat *KikDataSet::addChat(_KikChat *chat)
{
    return store(chats, chat);
}

_KikMessage *KikDataSet::addMessage(_KikMessage *message)
{
    return store(messages, message);
}

KikMessageList KikDataSet::allMessages() const
{
    KikMessageList list = messages.values();
    sortMessages(list);
    return list;
}

QList<_KikChat *> KikDataSet::chatsNewestFirst() const
{
    QList<_KikChat *> list = chats.values();
    sortChats(list);
    return list;
}
