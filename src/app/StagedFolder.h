// A folder being filled under a temporary name beside its target, so that
// a failed or stopped run leaves no partial tree: commit() moves the
// content into place (renaming the folder when the target is new, moving
// each entry into an existing folder); otherwise the destructor removes it.
#pragma once

#include <QString>

class StagedFolder
{
public:
    // Throws AppError when the temporary folder cannot be made.
    explicit StagedFolder(const QString &target);
    ~StagedFolder();
    StagedFolder(const StagedFolder &) = delete;
    StagedFolder &operator=(const StagedFolder &) = delete;

    QString tempPath() const { return m_temp; }

    // Throws, leaving what was already moved, when an entry meets something
    // other than a regular file or folder of the same name in the target.
    void commit();
    void discard();

private:
    QString m_target;
    QString m_temp;
    int m_cleanup = 0;
    bool m_done = false;
};
