// Writing the data of an archive's entries into files, for the readers of
// archives that come from phones: a write that fails for lack of space is
// reported as a full disk, any other as a failed write of that file.
#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

class QFileDevice;
struct archive;

namespace ArchiveEntryFile {

// Writes `size` bytes to `out` (the file `path`); throws DiskFullError or
// AppError when it cannot.
void write(QFileDevice &out, const char *data, qint64 size, const QString &path);

// Flushes and closes `out`; throws as write() does.
void finish(QFileDevice &out, const QString &path);

// Copies the data of the entry `reader` stands at into `out` through
// `block` (its size is the size of each read), telling `wrote` of every
// piece. False when the archive broke within the entry; `out` is left open.
bool copyData(archive *reader, QFileDevice &out, QByteArray &block, const QString &path,
              const std::function<void(qint64)> &wrote = {});

} // namespace ArchiveEntryFile
