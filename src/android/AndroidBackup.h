// Android backup archives (".ab"): a short text header followed by one zlib
// stream holding a ustar archive of the app's private files.
//
// Both directions stream: the archive is never held in memory as a whole, so
// archives of several gigabytes work with a few hundred KiB of buffers.
#pragma once

#include <QDir>
#include <QString>

#include <functional>

struct archive;

// The exact header this program writes.
inline constexpr char kAndroidBackupHeader[] = "ANDROID BACKUP\n1\n1\nnone\n";

// Chooses the entries to unpack by their cleaned relative path.
using AndroidBackupEntryFilter = std::function<bool(const QString &relativePath)>;

// Files an extraction may take from an earlier one instead of writing them
// anew: a file entry `applies` accepts, whose content equals the file at the
// same relative path below `folder`, becomes a hard link to that file. A
// reload after a restore gets back the files it has just sent; linking them
// spares the disk making every one of them again.
struct AndroidBackupReuse
{
    QString folder;
    AndroidBackupEntryFilter applies;
};

// Unpacks the directory and regular-file entries of the archive below
// `destination` (only those `wanted` accepts, when given) and returns the
// number of files written. Entries whose path would leave the destination
// (absolute, "..", through a symbolic link) are skipped with a log line.
// Throws AppError: "not an Android backup archive" for a header
// other than magic, version 1 to 5, compression flag 0 or 1 and "none" or
// "AES-256"; the encryption message for "AES-256"; `corruptedMessage` when
// the body is no complete zlib stream or holds no readable archive; and the
// file errors. A failed extraction removes what it wrote. Files are linked
// from `reuse` only when the destination did not exist before.
int extractAndroidBackup(const QString &archivePath, const QDir &destination, const QString &corruptedMessage,
                         const AndroidBackupEntryFilter &wanted = {}, const AndroidBackupReuse &reuse = {});

// Writes a new archive holding every file below `source`, hidden ones
// included (Android's restore replaces the app's data with the archive's,
// so a file left out would be lost on the phone), symbolic links left out,
// and returns the number of entries. The file is
// removed again when writing fails.
int createAndroidBackup(const QDir &source, const QString &archivePath);

// The recursive step: the files of `folder` by name, then its sub-folders.
// `archiveFolder` is the folder's path inside the archive ("" for the top).
// Adds the number of entries written to `entries`.
void addFolderToTar(archive *writer, const QDir &folder, const QString &archiveFolder, int &entries);

// An entry path as read from an archive, cleaned of a leading "./" and of
// the characters \ : * ? " < > | and line breaks/tabs.
QString cleanAndroidBackupPath(const QString &entryPath);

// The cleaned path reduced to plain relative components, or empty when it
// is absolute or climbs out with "..".
QString safeAndroidBackupPath(const QString &cleanedPath);
