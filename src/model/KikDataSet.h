// Owner of every record read from one source.
#pragma once

#include "model/KikRecords.h"

#include <QMap>

#include <memory>

class KikDataSet
{
public:
    KikDataSet() = default;
    ~KikDataSet();
    KikDataSet(const KikDataSet &) = delete;
    KikDataSet &operator=(const KikDataSet &) = delete;

    // Take ownership of a record, stored under its _id, and return it. A
    // record already stored under that _id is deleted and replaced.
    _KikUser *addUser(std::unique_ptr<_KikUser> user);
    _KikChat *addChat(std::unique_ptr<_KikChat> chat);
    _KikMessage *addMessage(std::unique_ptr<_KikMessage> message);

    _KikUser *user(qint64 id) const { return users.value(id); }
    _KikChat *chat(qint64 id) const { return chats.value(id); }
    _KikMessage *message(qint64 id) const { return messages.value(id); }

    // Every message of the data set, in message order.
    KikMessageList allMessages() const;
    // Chats, newest last message first.
    QList<_KikChat *> chatsNewestFirst() const;

    // The records by _id; the data set owns them (deleted with it).
    QMap<qint64, _KikChat *> chats;
    QMap<qint64, _KikUser *> users;
    QMap<qint64, _KikMessage *> messages;
};

using KikDataSetPtr = std::shared_ptr<KikDataSet>;
