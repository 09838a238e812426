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

} // namespace Platform
