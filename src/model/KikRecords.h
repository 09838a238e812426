// The records of the conversation model: users (contacts and groups),
// group memberships, chats and messages.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QVariantMap>

struct _KikUser;
struct _KikChat;

struct _KikEntity
{
    virtual ~_KikEntity() = default;
    QByteArray other; // opaque extra data, kept unchanged by the local database
};

struct _KikMember
{
    _KikUser *group = nullptr;
    _KikUser *member = nullptr;
    bool is_admin = false;
    bool is_banned = false;
};

struct _KikUser : _KikEntity
{
    qint64 _id = 0;
    QString display_name;
    QString jid;
    QString photo_url;
    QString user_name;
    QString group_tab;
    QDateTime photo_ts;
    bool is_group_admin = false;
    bool is_group = false;
    QList<_KikMember> members;
    QString photo_path;
};

struct _KikMessage;

struct _KikChat : _KikEntity
{
    qint64 _id = 0;
    QDateTime last_ts;
    _KikUser *user = nullptr;
    QList<_KikMessage *> messages; // not owned
};

struct _KikMessage : _KikEntity
{
    qint64 _id = 0;
    qint64 sort_key = 0;
    QDateTime ts;
    QDateTime rec_ts;
    QString uid;
    bool was_me = false;
    QString body;
    QString content_id;
    QString app_id;
    QString sub_app_id;
    QByteArray render_ins;
    QVariantMap attachment;
    _KikUser *target_user = nullptr;
    _KikChat *chat = nullptr; // the chat of the message's last link
    // The other chats the message is linked to (Kik's iOS store can share
    // one message between two chats), earliest first; not owned, never
    // holds `chat`.
    QList<_KikChat *> more_chats;
    QString preview_path;
    QString png_preview_path;
    QString icon_path;
    QString content_path;
};

// Message pointers in display order; never owns its elements.
using KikMessageList = QList<_KikMessage *>;

// Links a message to a chat: the chat lists it, and the message names it
// as `chat` (a chat named there before moves to `more_chats`). Linking the
// same pair twice changes nothing.
void linkMessageToChat(_KikChat *chat, _KikMessage *message);
// Every chat the message is linked to, in the order linked: `more_chats`,
// then `chat`. Links written in this order load back with the same `chat`.
QList<_KikChat *> chatsOf(const _KikMessage *message);
