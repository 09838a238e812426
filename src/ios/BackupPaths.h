// Where backups are looked for, and safe paths below a destination folder.
#pragma once

#include <QString>

namespace BackupPaths {

// The folder iTunes/Finder writes backups to on this system: Windows
// "AppData/Roaming/Apple Computer/MobileSync/Backup" (or "Application Data"
// when there is no "AppData/Roaming"), macOS "Library/Application
// Support/MobileSync/Backup" below the home folder, elsewhere the folder
// this program's own device backups go to. Need not exist.
QString defaultBackupRoot();
// Same, computed for the given home folder (tests).
QString defaultBackupRootFor(const QString &homeFolder);

// The folder below the data root that device backups are written to on
// systems without iTunes ("ios_backups").
QString deviceBackupWorkRoot();

// `folder` joined with the "/"-separated `relativePath`, or an empty text
// when any part of the path could leave the folder or is not a plain name
// (empty, ".", "..", holding a backslash, a colon or NUL, or absolute).
QString safeDestination(const QString &folder, const QString &relativePath);

} // namespace BackupPaths
