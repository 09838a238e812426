#include "model/KikRecords.h"

void linkMessageToChat(_KikChat *chat, _KikMessage *message)
{
    if (!chat || !message)
        return;
    if (message->chat == chat || message->more_chats.contains(chat))
        return;
    if (!message->chat)
        message->chat = chat;
    else
        message->more_chats.append(chat);
    chat->messages.append(message);
}

QList<_KikChat *> chatsOf(const _KikMessage *message)
{
    QList<_KikChat *> chats;
    if (!message)
        return chats;
    if (message->chat)
        chats.append(message->chat);
    for (_KikChat *chat : message->more_chats) {
        if (chat && !chats.contains(chat))
            chats.append(chat);
    }
    return chats;
}
