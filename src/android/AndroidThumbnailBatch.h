// Many thumbnails come from a rooted phone as one archive: the names go up
// as a list, the phone's tar packs them as superuser, and the archive comes
// down in one transfer. A file at a time costs a copy, a chmod and a
// download round trip per thumbnail, which for a phone holding thousands
// of pictures means thousands of round trips (adb starts a process for each).
#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

class AndroidChannel;

namespace AndroidThumbnailBatch {

// Names per archive: bounds the copy left on the phone's shared storage and
// lets the job report progress and take a cancel between archives.
inline constexpr qsizetype kNamesPerArchive = 1000;
// Fewer missing thumbnails than this are fetched one by one.
inline constexpr qsizetype kMinimumBatch = 4;

// Whether a thumbnail's name can travel in the list and the archive: one
// plain part (ASCII letters, digits, ".", "_", "-"), not starting with "."
// or "-", at most 100 characters.
bool fitsBatch(const QString &name);

// The superuser command that packs the files of `folder` named in the
// staged list (one name a line) into the staged archive.
QString packCommand(const QString &folder, const QString &stagedList, const QString &stagedArchive);

// What one archive brought.
struct Result
{
    // True when the phone made an archive and it came down.
    bool packed = false;
    // The names now in the local folder (and the ones that were empty on
    // the phone, which are not kept, as with a single download).
    QSet<QString> fetched;
    // True when the phone packed every name and the archive was read to its
    // end: the names it lacks need not be tried one by one.
    bool complete = false;
};

// Unpacks the regular files of `archivePath` whose names are in `wanted`
// into `folder`. Each file is written under a temporary name in `work` and
// renamed when whole, so a cut archive leaves no partial thumbnail behind.
// Other entries (other names, folders, links, paths) are skipped. A broken
// archive ends the unpacking with what was complete so far. Throws
// DiskFullError when the disk is full and AppError when a file cannot be
// written otherwise.
Result unpack(const QString &archivePath, const QSet<QString> &wanted, const QString &folder,
              const QString &work);

// Fetches `names` (each fitting the batch, none of them in `folder` yet)
// from the phone's `phoneFolder` through `staging` on its shared storage.
// A phone that cannot pack (no tar, or an older one) gives a result that
// is not `packed`; the caller then fetches one by one. Channel failures throw, as downloads
// do.
Result fetch(AndroidChannel &channel, const QString &phoneFolder, const QString &staging,
             const QStringList &names, const QString &folder, const QString &work);

} // namespace AndroidThumbnailBatch
