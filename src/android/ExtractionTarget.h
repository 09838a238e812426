// The folder an archive is unpacked into: which of its folders are real
// ones, and how much disk space is left for it.
#pragma once

#include <QSet>
#include <QString>

// A folder found to be a real one (or made here) is not looked at again, and
// free space is asked of the system once and then counted down as files are
// written; it is asked again only when the count says a file may not fit.
// Another program filling the disk meanwhile still ends in a failed write,
// which the caller reports as a full disk.
class ExtractionTarget
{
public:
    // Free space kept on the disk while unpacking.
    static constexpr qint64 kDiskReserve = 16 * 1024 * 1024;

    explicit ExtractionTarget(const QString &root) : m_root(root) {}

    const QString &root() const { return m_root; }

    // Whether an existing part of `relative` below the root is a symbolic
    // link, through which a write would land elsewhere.
    bool passesSymlink(const QString &relative);

    // Makes the folder `relative` (and its parents) below the root; throws
    // AppError when it cannot.
    void makeFolder(const QString &relative);

    // Takes `size` bytes of the disk for `path`, or throws DiskFullError
    // when the disk cannot hold them and the reserve.
    void takeSpace(qint64 size, const QString &path);

private:
    QString m_root;
    QSet<QString> m_realFolders;
    bool m_spaceKnown = false;
    qint64 m_available = 0;
};
