// libarchive's own text for the last failure of an archive handle, for the
// failure messages of the code that calls libarchive.
#pragma once

#include <QString>

struct archive;

// The handle's message, or `fallback` when libarchive recorded none.
QString archiveErrorText(archive *a, const QString &fallback = QStringLiteral("unknown error"));
