#include "model/KikRecords.h"

void linkMessageToChat(_KikChat *chat, _KikMessage *message)
{
    if (!chat || !message)
        return;
    if (message->chat == chat || message->more_chats.contains(chat))
        return;
    // The newest link names the message's chat, as it always has; the
    // chats linked before it stay beside it.
    if (message->chat)
        message->more_chats.append(message->chat);
    message->chat = chat;
    chat->messages.append(message);
}

QList<_KikChat *> chatsOf(const _KikMessage *message)
{
    QList<_KikChat *> chats;
    if (!message)
        return chats;
    for (_KikChat *chat : message->more_chats) {
        if (chat && chat != message->chat && !chats.contains(chat))
            chats.append(chat);
    }
    if (message->chat)
        chats.append(message->chat);
    return chats;
}
