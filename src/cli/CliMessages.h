// Error texts as the user should read them: the program's own cache
// folders (where a backup's or an archive's files are copied to be read)
// are internal; a path inside them is shown as the path inside the source.
#pragma once

#include <QString>

QString withoutCachePaths(const QString &text);
