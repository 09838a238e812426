// Merging messages from another source into the Kik database of an
// extracted Android backup tree ("ab-extract"): the phone's messages are
// kept, new ones are added once (by uid), everything is renumbered in time
// order, thumbnails are copied into the tree, and the tree's database is
// replaced only after the merge has committed.
#pragma once

#include "model/KikRecords.h"

#include <QDir>
#include <QList>
#include <QString>

#include <functional>

struct AndroidUploadItem
{
    QString localPath;
    QString phonePath;
    bool mustSucceed = false;
};

struct AndroidMergeResult
{
    QString databasePath;             // the tree's database (replaced)
    int phoneMessagesBefore = 0;      // rows of its messagesTable before
    int phoneMessagesAfter = 0;       // and after the merge
    int inserted = 0;                 // new messages written
    QList<AndroidUploadItem> uploads; // thumbnails, then the database files
};

struct AndroidMergeHooks
{
    std::function<void(int percent)> progress; // may be empty
    std::function<bool()> cancelled;           // may be empty
};

// Runs the merge on the tree below `root` (the folder holding "apps").
// Throws AppError on failure and JobCancelled when cancelled;
// in both cases the work copy is removed and the tree's database is left
// as it was.
AndroidMergeResult mergeIntoAndroidTree(const QDir &root, const KikMessageList &messages,
                                        const AndroidMergeHooks &hooks = {});

// One file name for a thumbnail taken from a source's attachment map, or
// empty when nothing safe is left.
QString androidThumbName(const QString &value);
