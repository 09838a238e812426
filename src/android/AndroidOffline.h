// Working with Android backups without a phone: reading an extracted tree
// or an archive, and the offline transfer into a new archive.
#pragma once

#include "android/AndroidKikDb.h"
#include "android/AndroidKikMerge.h"
#include "model/KikDataSet.h"

#include <QDir>
#include <QString>

#include <memory>

struct AndroidLoaded
{
    KikDataSetPtr data;
    std::shared_ptr<AndroidKikDb> db;
    QString databasePath;
};

// The corrupted-data message used when an archive cannot be read.
inline constexpr char kAbCorruptedMessage[] = "ab file data is corrupted.";

// Reads the Kik database of an extracted tree (the folder holding "apps")
// through a read-only connection. A tree of the user's is given a
// `privateFolder`: nothing in the tree is written, and a database with a
// "-wal" or "-journal" is read from a copy made there.
AndroidLoaded loadAndroidTree(const QDir &root, const QString &privateFolder = QString());

// Unpacks the archive into `cacheFolder`/"ab-extract" (replacing what was
// there) and reads it.
AndroidLoaded loadAndroidBackupFile(const QString &archivePath, const QDir &cacheFolder);

struct AndroidOfflineResult
{
    AndroidMergeResult merge;
    int entries = 0; // entries of the new archive
};

// Unpacks `phoneArchive` into a work folder beside `outArchive`, merges the
// messages into it and packs the result as `outArchive`. The phone's
// archive is only read; `outArchive` appears only when everything worked.
// Throws JobCancelled when `hooks.cancelled` answers true between the
// steps or during the merge.
AndroidOfflineResult transferToAndroidBackup(const KikMessageList &messages, const QString &phoneArchive,
                                             const QString &outArchive, const AndroidMergeHooks &hooks = {});
