// The nodes of the source tree: the two group nodes, phones and local
// databases with the data read from them, and their chats.
#pragma once

#include "android/AndroidDevice.h"
#include "model/AbsKikDb.h"
#include "model/KikDataSet.h"
#include "ui/AbsTreeItemModel.h"

#include <QIcon>
#include <QString>

namespace NodeKind {
inline constexpr int DevicesGroup = 1;
inline constexpr int LocalDbGroup = 2;
inline constexpr int IPhone = 3;
inline constexpr int Android = 4;
inline constexpr int LocalDb = 5;
inline constexpr int Chat = 6;
} // namespace NodeKind

using _ItemNode = AbsTreeItemModel::_ItemNode;

struct _RootDeviceItemNode : _ItemNode
{
    _RootDeviceItemNode();
};

// A node that owns an open database and the data read from it. Both are
// shared: views and running jobs hold them too, so they stay alive until the
// last holder lets go, whatever happens to the node.
struct _AbsDBItemNode : _ItemNode
{
    using _ItemNode::_ItemNode;
    AbsKikDbPtr db;
    KikDataSetPtr dataSet;
    QList<_KikChat *> chats;
    // Every message of every chat, once each, in message order (or in chat
    // order when the caller sorts them itself).
    KikMessageList allMessages(bool sorted = true) const;
};

// What the window knows of a connected iPhone.
struct IOSDeviceRecord
{
    QString deviceName;     // "DeviceName"
    QString uniqueDeviceId; // "UniqueDeviceID"
    QString countryCode;    // "MobileSubscriberCountryCode"
    QString productVersion; // "ProductVersion"
    QString productType;    // "ProductType"
    void *handle = nullptr; // the device handle removals are matched by
};

struct _IOSDeviceItemNode : _AbsDBItemNode
{
    _IOSDeviceItemNode(const IOSDeviceRecord &record, _ItemNode *parent);
    IOSDeviceRecord device;
};

// What the window knows of a connected Android phone.
struct AndroidPhoneRecord
{
    QString serial;
    QString manufacturer;
    QString model;
    bool hasExternalStorage = true;
    // Manufacturer, then a blank and the model when there is one, trimmed.
    QString displayName() const;
};

struct _AndroidDeviceItemNode : _AbsDBItemNode
{
    _AndroidDeviceItemNode(const AndroidPhoneRecord &record, _ItemNode *parent);
    AndroidPhoneRecord phone;
    // Set for a phone that is connected (not one loaded from a folder).
    bool connected = false;
    AndroidDevice device;
};

struct _LocalDbItemNode : _AbsDBItemNode
{
    _LocalDbItemNode(const QString &name, _ItemNode *parent);
    // Set when opening failed; the node stays listed.
    QString openError;
};

struct _ChatSessionItemNode : _ItemNode
{
    _ChatSessionItemNode(_KikChat *chat, _ItemNode *parent);
    _KikChat *chat;
    // The decoration, read once.
    QIcon icon;
    _AbsDBItemNode *source() const { return static_cast<_AbsDBItemNode *>(parent); }
};

// The database node a node belongs to: itself for a phone or database, its
// parent for a chat, null for anything else.
_AbsDBItemNode *sourceNodeOf(_ItemNode *node);
