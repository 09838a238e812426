#include "app/SafeFile.h"

#include "app/AbortCleanup.h"
#include "app/AppError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cstdio>
#include <stdexcept>

#include <sys/stat.h>

namespace {

enum class Kind { Missing, Regular, Folder, Link, Special };

Kind kindOf(const QString &path, bool follow)
{
    struct stat st = {};
    const QByteArray native = QFile::encodeName(path);
#ifdef Q_OS_WIN
    Q_UNUSED(follow);
    const int rc = ::stat(native.constData(), &st);
#else
    const int rc = follow ? ::stat(native.constData(), &st) : ::lstat(native.constData(), &st);
#endif
    if (rc != 0)
        return Kind::Missing;
    if (S_ISREG(st.st_mode))
        return Kind::Regular;
    if (S_ISDIR(st.st_mode))
        return Kind::Folder;
#ifndef Q_OS_WIN
    if (S_ISLNK(st.st_mode))
        return Kind::Link;
#endif
    return Kind::Special;
}

} // namespace

namespace SafeFile {

bool removeCreated(const QString &path)
{
    switch (kindOf(path, false)) {
    case Kind::Missing:
        return true;
    case Kind::Regular:
    case Kind::Link:
        return QFile::remove(path);
    case Kind::Folder:
        // Links inside are removed themselves, never followed.
        return QDir(path).removeRecursively();
    case Kind::Special:
        return false;
    }
    return false;
}

bool isSpecialFile(const QString &path)
{
    return kindOf(path, true) == Kind::Special;
}

} // namespace SafeFile

StagedFile::StagedFile(const QString &target) : m_target(target)
{
    const QFileInfo info(target);
    QTemporaryFile file(info.dir().filePath(QStringLiteral(".%1.XXXXXX.part").arg(info.fileName().left(64))));
    file.setAutoRemove(false);
    if (!file.open())
        throw AppError(
            QStringLiteral("Cannot write %1: %2").arg(QDir::toNativeSeparators(target), file.errorString()));
    m_temp = file.fileName();
    file.close();
    m_cleanup = AbortCleanup::add(m_temp);
}

StagedFile::~StagedFile()
{
    discard();
}

void StagedFile::commit()
{
    if (m_done)
        return;
    const Kind kind = kindOf(m_target, false);
    if (kind == Kind::Folder)
        throw AppError(QStringLiteral("%1 is a folder; the output must be a file.")
                           .arg(QDir::toNativeSeparators(m_target)));
    if (kind != Kind::Missing && kind != Kind::Regular)
        throw AppError(QStringLiteral("%1 is not a regular file; the program writes only regular files.")
                           .arg(QDir::toNativeSeparators(m_target)));
    if (std::rename(QFile::encodeName(m_temp).constData(), QFile::encodeName(m_target).constData()) != 0)
        throw AppError(QStringLiteral("Cannot write %1.").arg(QDir::toNativeSeparators(m_target)));
    m_done = true;
    AbortCleanup::forget(m_cleanup);
}

void StagedFile::discard()
{
    if (m_done)
        return;
    SafeFile::removeCreated(m_temp);
    AbortCleanup::forget(m_cleanup);
    m_done = true;
}
