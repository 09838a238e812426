// Writing outputs without harming what is already there: a file is written
// under a temporary name beside its target and renamed over the target only
// when it is complete and the target is absent or a regular file; removal
// touches only regular files and folders, never devices, pipes or sockets.
#pragma once

#include <QString>

namespace SafeFile {

// Removes a file or folder this run created: a regular file, or a folder
// with its content. Anything else (a device node, a pipe, a socket, a
// symbolic link's target) is left alone. Returns true when nothing is left.
bool removeCreated(const QString &path);

// True when something is at the path that is neither a regular file nor a
// folder nor a symbolic link to one of them (a device node, pipe, socket).
bool isSpecialFile(const QString &path);

} // namespace SafeFile

// A file being written to `tempPath()`, a hidden name beside the target.
// commit() renames it over the target; otherwise the destructor removes it.
// Throws AppError when the temporary file cannot be made.
class StagedFile
{
public:
    explicit StagedFile(const QString &target);
    ~StagedFile();
    StagedFile(const StagedFile &) = delete;
    StagedFile &operator=(const StagedFile &) = delete;

    QString target() const { return m_target; }
    QString tempPath() const { return m_temp; }

    // Replaces the target by the written file. Throws, leaving the target as
    // it was, when the target has become something other than a regular
    // file (or a folder) meanwhile or the rename fails.
    void commit();
    // Removes the temporary file.
    void discard();

private:
    QString m_target;
    QString m_temp;
    int m_cleanup = 0;
    bool m_done = false;
};
