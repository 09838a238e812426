// A write that failed because the computer's disk is full (or the user's
// quota, or the largest file size allowed, is reached). Such a failure is
// reported as itself: no other way of fetching or writing the same data can
// help, so callers do not fall back to one.
#pragma once

#include <QString>

#include <stdexcept>

class QFileDevice;

class DiskFullError : public std::runtime_error
{
public:
    // `path` is the folder (or a file inside it) that could not be written.
    explicit DiskFullError(const QString &path);
    const QString &folder() const { return m_folder; }

private:
    QString m_folder;
};

// "There is not enough free space on the computer's disk to write <folder>.
// Free some space and try again." The folder of a file path is named.
QString diskFullMessage(const QString &path);

// True for a text made by diskFullMessage.
bool isDiskFullMessage(const QString &text);

// ENOSPC, EFBIG or EDQUOT.
bool isDiskFullErrno(int error);

// True when `file`'s last failed write or flush ran out of space. `savedErrno`
// is errno taken right after the failing call (0 when not known).
bool isDiskFullFileError(const QFileDevice &file, int savedErrno = 0);

// Copies the file `from` to `to` (which must not exist yet) with its
// permissions, as QFile::copy does. A copy that runs out of space is
// removed and throws DiskFullError naming `to`'s folder; other failures
// remove it and give false.
bool copyFileUnlessDiskFull(const QString &from, const QString &to);

// Throws DiskFullError for `path` when `file` failed for lack of space.
void throwIfDiskFull(const QFileDevice &file, const QString &path, int savedErrno = 0);
