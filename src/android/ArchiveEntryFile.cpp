#include "android/ArchiveEntryFile.h"

#include "app/AppError.h"
#include "app/DiskFull.h"

#include <QFileDevice>

#include <archive.h>

#include <cerrno>

namespace ArchiveEntryFile {

void write(QFileDevice &out, const char *data, qint64 size, const QString &path)
{
    errno = 0;
    if (out.write(data, size) != size) {
        throwIfDiskFull(out, path, errno);
        throw AppError(QStringLiteral("write %1 error. %2").arg(path, out.errorString()));
    }
}

void finish(QFileDevice &out, const QString &path)
{
    errno = 0;
    if (!out.flush()) {
        throwIfDiskFull(out, path, errno);
        throw AppError(QStringLiteral("write %1 error. %2").arg(path, out.errorString()));
    }
    out.close();
}

bool copyData(archive *reader, QFileDevice &out, QByteArray &block, const QString &path,
              const std::function<void(qint64)> &wrote)
{
    for (;;) {
        const la_ssize_t n = archive_read_data(reader, block.data(), size_t(block.size()));
        if (n == 0)
            return true;
        if (n < 0)
            return false;
        write(out, block.constData(), n, path);
        if (wrote)
            wrote(n);
    }
}

} // namespace ArchiveEntryFile
