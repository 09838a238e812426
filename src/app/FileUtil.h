// File-name and folder helpers.
#pragma once

#include <QString>

// Removes characters that no file name may hold (also NUL and every other
// control character); reserved device names are wrapped in "$$" so that
// they become ordinary names.
QString sanitiseFileName(const QString &name);

// The name cut to at most `maxBytes` bytes of UTF-8, keeping a short
// suffix (".pdf"); file systems allow 255 bytes per name.
inline constexpr int kMaxFileNameBytes = 200;
QString shortenFileName(const QString &name, int maxBytes = kMaxFileNameBytes);

// The path itself when nothing exists there, else the first free
// "name(n).suffix" beside it.
QString uniqueFilePath(const QString &path);

// Removes a folder with its files and sub-folders. Hidden entries are left,
// and a folder that still holds them stays.
void removeTree(const QString &folder);

// A name that is safe to use as a single file name below a folder: no
// folder parts, no "." or "..", nothing that could leave the folder.
// Returns an empty text when nothing usable is left.
QString safeLeafName(const QString &name);
