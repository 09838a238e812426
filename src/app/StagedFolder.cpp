#include "app/StagedFolder.h"

#include "app/AbortCleanup.h"
#include "app/AppError.h"
#include "app/SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <stdexcept>

namespace {

bool renamePath(const QString &from, const QString &to)
{
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

[[noreturn]] void cannotPlace(const QString &path)
{
    throw AppError(QStringLiteral("Cannot write %1: something other than a regular file is there.")
                       .arg(QDir::toNativeSeparators(path)));
}

// Moves every entry of `from` into `to`, merging folders and replacing
// regular files only.
void moveInto(const QString &from, const QString &to)
{
    const QFileInfoList entries =
        QDir(from).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo &entry : entries) {
        const QString target = QDir(to).filePath(entry.fileName());
        const QFileInfo existing(target);
        if (!existing.exists() && !existing.isSymLink()) {
            if (!renamePath(entry.absoluteFilePath(), target))
                cannotPlace(target);
        } else if (entry.isDir() && !entry.isSymLink() && existing.isDir() && !existing.isSymLink()) {
            moveInto(entry.absoluteFilePath(), target);
        } else if (entry.isFile() && existing.isFile() && !existing.isSymLink()) {
            if (!renamePath(entry.absoluteFilePath(), target))
                cannotPlace(target);
        } else {
            cannotPlace(target);
        }
    }
}

} // namespace

StagedFolder::StagedFolder(const QString &target) : m_target(QFileInfo(target).absoluteFilePath())
{
    const QFileInfo info(m_target);
    if (!QDir().mkpath(info.absolutePath()))
        throw AppError(QStringLiteral("Cannot create the folder %1.")
                           .arg(QDir::toNativeSeparators(info.absolutePath())));
    QTemporaryDir dir(info.dir().filePath(QStringLiteral(".%1.XXXXXX.part").arg(info.fileName().left(64))));
    if (!dir.isValid())
        throw AppError(QStringLiteral("Cannot write in the folder %1.")
                           .arg(QDir::toNativeSeparators(info.absolutePath())));
    dir.setAutoRemove(false);
    m_temp = dir.path();
    m_cleanup = AbortCleanup::add(m_temp);
}

StagedFolder::~StagedFolder()
{
    discard();
}

void StagedFolder::commit()
{
    if (m_done)
        return;
    const QFileInfo target(m_target);
    if (!target.exists() && !target.isSymLink()) {
        if (!renamePath(m_temp, m_target))
            cannotPlace(m_target);
    } else if (target.isDir()) {
        moveInto(m_temp, m_target);
        SafeFile::removeCreated(m_temp);
    } else {
        throw AppError(QStringLiteral("%1 is not a folder.").arg(QDir::toNativeSeparators(m_target)));
    }
    m_done = true;
    AbortCleanup::forget(m_cleanup);
}

void StagedFolder::discard()
{
    if (m_done)
        return;
    SafeFile::removeCreated(m_temp);
    AbortCleanup::forget(m_cleanup);
    m_done = true;
}
