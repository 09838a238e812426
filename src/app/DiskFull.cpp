#include "app/DiskFull.h"

#include <QDir>
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

void throwIfDiskFull(const QFileDevice &file, const QString &path, int savedErrno)
{
    if (isDiskFullFileError(file, savedErrno))
        throw DiskFullError(path);
}
