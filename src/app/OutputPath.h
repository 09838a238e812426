// Checks made before a command or job writes an output: the output is never
// one of its inputs nor inside one, and a file output is a regular file (or
// nothing yet), never a device node, a pipe, a socket or a folder.
#pragma once

#include <QString>
#include <QStringList>

namespace OutputPath {

enum class Kind { File, Folder };

// The absolute, cleaned path with the symbolic links of its existing part
// resolved; the part that does not exist yet is appended as given.
QString resolved(const QString &path);

// True when `path` is `container` or lies below it (both resolved).
bool isSameOrInside(const QString &path, const QString &container);

// Throws AppError with a message for the user when `output` is
// one of `inputs` or lies inside one, or when something of the wrong kind
// is at `output`.
void check(const QString &output, Kind kind, const QStringList &inputs = {});

} // namespace OutputPath
