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
T *store(QMap<qint64, T *> &map, std::unique_ptr<T> record)
{
    if (!record)
        return nullptr;
    // The slot is made while the record is still owned here.
    T *&slot = map[record->_id];
    delete slot;
    slot = record.release();
    return slot;
}

} // namespace

_KikUser *KikDataSet::addUser(std::unique_ptr<_KikUser> user)
{
    return store(users, std::move(user));
}

_KikChat *KikDataSet::addChat(std::unique_ptr<_KikChat> chat)
{
    return store(chats, std::move(chat));
}

_KikMessage *KikDataSet::addMessage(std::unique_ptr<_KikMessage> message)
{
    return store(messages, std::move(message));
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
