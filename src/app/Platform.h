// Calls into the operating system's shell and folders. Windows and other
// systems each have their own implementation file.
#pragma once

#include <QString>

namespace Platform {

// The folder below which per-user program data lives ("roaming" on Windows,
// the XDG data home elsewhere).
QString roamingFolder();

// Opens a folder in the system's file manager, detached.
void openInExplorer(const QString &folder);

// Opens a file or folder with its default application.
void openWithShell(const QString &path);

// Makes `newPath` a second name of the existing file `existing` (a hard
// link). False when the file system cannot (another volume, no links).
bool hardLink(const QString &existing, const QString &newPath);

} // namespace Platform
