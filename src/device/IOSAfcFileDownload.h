// Copies device files and folder trees out of an AFC connection into local
// folders, with per-file progress, cancellation (thrown as JobCancelled)
// and an optional skip of files whose device modification time the file
// cache index already holds.
#pragma once

#include "device/AfcConnection.h"

#include <QByteArray>
#include <QStringList>

class FileCacheIndex;
class JobProgress;

class IOSAfcFileDownload
{
public:
    static constexpr qint64 kBufferSize = 524288;
    static constexpr int kMaxDepth = 64;

    // Both may be null (no progress, no cache).
    IOSAfcFileDownload(JobProgress *progress, FileCacheIndex *cache);

    // Copies one regular file to `localPath` (folders and other kinds are
    // left alone). A file that ends early because of a read error is kept
    // but gets no cache entry and is listed in incompleteFiles().
    void downloadFileThrow(AfcConnection &afc, const AfcFileRecord &file, const QString &localPath,
                           bool useCache);
    // Copies a device folder tree into a new sub-folder of `localParent`.
    // Names that could leave the target folder are skipped, and so are
    // folders nested deeper than kMaxDepth.
    void downloadFolderThrow(AfcConnection &afc, const AfcFileRecord &folder, const QString &localParent,
                             bool useCache);

    // Device paths copied only in part, in the order they were met.
    QStringList incompleteFiles() const { return m_incomplete; }
    int copiedFiles() const { return m_copied; }
    int skippedFiles() const { return m_skipped; }

    // The local name for a device name: cleaned, and empty when nothing safe
    // is left ("." or "..", a slash, a zero character).
    static QString localName(const QString &deviceName);

private:
    void throwIfCancelled() const;
    void reportProgress(const AfcFileRecord &file, qint64 total);

    JobProgress *m_progress;
    FileCacheIndex *m_cache;
    QByteArray m_buffer;
    QStringList m_incomplete;
    int m_copied = 0;
    int m_skipped = 0;
    int m_depth = 0;
};
