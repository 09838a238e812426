// Superuser file steps shared by the load and restore jobs: the staging
// folder on the shared storage, and files put back into Kik's data folder.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class AndroidChannel;

namespace AndroidRootFiles {

inline constexpr char kKikDataFolder[] = "/data/data/kik.android";

// Empties (creates) the staging folder.
void prepareStaging(AndroidChannel &channel, const QString &staging);
// Removes the staging folder again, so no copy of Kik's private files stays
// readable on the shared storage. Never throws; false when the channel
// failed (it may have broken with an earlier transfer).
bool removeStaging(AndroidChannel &channel, const QString &staging);

// Gives a file put back as superuser the owner and group of Kik's data
// folder, the permissions Kik's files are given (777) and, where restorecon exists, its
// security context, so that Kik can open it again.
void handToKik(AndroidChannel &channel, const QString &phonePath);

// Many files go into Kik's data folder as one archive: one upload and one
// superuser command instead of a copy, owner, mode and context round trip
// per file.

// A file for Kik's data folder: `phonePath` lies inside it.
struct KikFolderFile
{
    QString localPath;
    QString phonePath;
};

// Whether the phone's superuser shell has `tar` and `xargs` (toybox has
// both since Android 6; older phones may have neither).
bool canUnpackArchives(AndroidChannel &channel);

// Whether a path can travel inside the archive and its file list: below
// Kik's data folder, made of plain parts (ASCII letters, digits, ".", "_",
// "-", none of them "." or ".." or starting with "-").
bool fitsArchive(const QString &phonePath);

// Writes an uncompressed ustar archive holding every file under its path
// relative to Kik's data folder. Throws std::runtime_error when a path does
// not fit or a file cannot be read or written (the archive is removed).
void writeKikArchive(const QList<KikFolderFile> &files, const QString &archivePath);

// Writes `names` into the file `path`, one a line, for a phone's `tar -T`
// or `xargs`. Throws DiskFullError or AppError; the file is removed then.
void writeNameList(const QStringList &names, const QString &path);

// The superuser command that unpacks the staged archive into Kik's data
// folder and gives what it unpacked the owner and group of that folder:
// the files named in the staged list (one path a line, may be empty) and
// `extraFiles` also get the permissions Kik's files are given (777); `folders` (the folders the
// archive may have created) only the owner. Status 0 when all of it worked.
QString unpackCommand(const QString &stagedArchive, const QString &stagedList, const QStringList &extraFiles,
                      const QStringList &folders);

// The command that gives `paths` and the files named in the staged list
// (when not empty) their security context; its status is of no interest
// (phones without restorecon need none).
QString relabelCommand(const QStringList &paths, const QString &stagedList);

// The folders strictly between Kik's data folder and each path, sorted,
// each once.
QStringList foldersInKikFolder(const QStringList &phonePaths);

} // namespace AndroidRootFiles
