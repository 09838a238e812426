#include "app/DiskFull.h"

#include <QDir>
#include <QFile>
#include <QFileDevice>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

namespace {

QString folderOf(const QString &path)
{
    const QFileInfo info(path);
    return QDir::toNativeSeparators(info.isDir() ? info.absoluteFilePath() : info.absolutePath());
}

} // namespace

DiskFullError::DiskFullError(const QString &path)
    : std::runtime_error(diskFullMessage(path).toStdString()), m_folder(folderOf(path))
{}

namespace {

const QString kDiskFullStart =
    QStringLiteral("There is not enough free space on the computer's disk to write ");

} // namespace

QString diskFullMessage(const QString &path)
{
    return kDiskFullStart + folderOf(path) + QStringLiteral(". Free some space and try again.");
}

bool isDiskFullMessage(const QString &text)
{
    return text.startsWith(kDiskFullStart);
}

bool isDiskFullErrno(int error)
{
    switch (error) {
    case ENOSPC:
    case EFBIG:
#if defined(EDQUOT)
    case EDQUOT:
#endif
        return true;
    default:
        return false;
    }
}

bool isDiskFullFileError(const QFileDevice &file, int savedErrno)
{
    if (isDiskFullErrno(savedErrno))
        return true;
    if (file.error() == QFileDevice::NoError)
        return false;
    if (file.error() == QFileDevice::ResourceError)
        return true;
    // Qt keeps only the system's text of other write errors.
    const QString text = file.errorString();
    for (const int code : {
             ENOSPC, EFBIG
#if defined(EDQUOT)
                 ,
                 EDQUOT
#endif
         }) {
        if (text == QString::fromLocal8Bit(std::strerror(code)))
            return true;
    }
    return false;
}

bool copyFileUnlessDiskFull(const QString &from, const QString &to)
{
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    QFile out(to);
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
    QByteArray block(1024 * 1024, Qt::Uninitialized);
    for (;;) {
        const qint64 n = in.read(block.data(), block.size());
        if (n < 0) {
            out.close();
            out.remove();
            return false;
        }
        errno = 0;
        const bool wrote = n == 0 ? out.flush() : out.write(block.constData(), n) == n;
        if (!wrote) {
            const int savedErrno = errno;
            const bool full = isDiskFullFileError(out, savedErrno);
            out.close();
            out.remove();
            if (full)
                throw DiskFullError(to);
            return false;
        }
        if (n == 0)
            break;
    }
    out.close();
    out.setPermissions(in.permissions());
    return true;
}

void throwIfDiskFull(const QFileDevice &file, const QString &path, int savedErrno)
{
    if (isDiskFullFileError(file, savedErrno))
        throw DiskFullError(path);
}
