// Remembers, for each device file copied into a cache folder, the device
// modification time the cached copy was taken from, so that a later copy can
// skip files that have not changed. One index file per cache.
//
// Names are matched exactly (case and all): a device path may hold "_" or
// "%", and no other file's date may ever stand in for a file's own.
#pragma once

#include "db/Sqlite3DB.h"

#include <QString>

class FileCacheIndex
{
public:
    // Stores the path; opens nothing.
    explicit FileCacheIndex(const QString &indexFile);
    // Commits the open transaction, if any, and closes.
    ~FileCacheIndex();
    FileCacheIndex(const FileCacheIndex &) = delete;
    FileCacheIndex &operator=(const FileCacheIndex &) = delete;

    // The stored date (seconds since 1970), or 0 when there is none or the
    // index cannot be read. Throws only when a new index cannot be created.
    qint64 lastDate(const QString &fileName);
    // Stores the date; database errors are ignored.
    void setLastDate(const QString &fileName, qint64 date);
    // Forgets the file; database errors are ignored.
    void remove(const QString &fileName);

    // Commits what was stored so far and starts a new transaction.
    void flush();

private:
    void ensureOpen();

    QString m_path;
    Sqlite3DB m_db;
};
