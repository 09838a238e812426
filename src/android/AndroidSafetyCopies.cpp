#include "android/AndroidSafetyCopies.h"
#include "app/DiskFull.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <stdexcept>

namespace AndroidSafetyCopies {

void keepNewest(const QDir &folder, const QString &pattern, int keep)
{
    const QFileInfoList entries =
        folder.entryInfoList({pattern}, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Time);
    for (qsizetype i = keep; i < entries.size(); ++i) {
        if (entries[i].isDir() && !entries[i].isSymLink())
            QDir(entries[i].absoluteFilePath()).removeRecursively();
        else
            QFile::remove(entries[i].absoluteFilePath());
    }
}

QDir archiveFolder(const QDir &cache)
{
    const QDir archives(cache.filePath(QStringLiteral("abfiles-before-restore")));
    archives.mkpath(QStringLiteral("."));
    keepNewest(archives, QStringLiteral("*.ab"), kKept);
    return archives;
}

QString keepDatabaseCopy(const QDir &cache)
{
    QDir copies(cache.filePath(QStringLiteral("dbfiles-before-restore")));
    copies.mkpath(QStringLiteral("."));
    keepNewest(copies, QStringLiteral("*.dbdir"), kKept - 1);
    const QString target = copies.filePath(
        QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd_hhmmss")) + QStringLiteral(".dbdir"));
    QDir(target).removeRecursively();
    QDir().mkpath(target);
    const QDir db(cache.filePath(QStringLiteral("ab-extract/apps/kik.android/db")));
    for (const QFileInfo &file : db.entryInfoList(QDir::Files | QDir::Hidden)) {
        const QString to = target + QLatin1Char('/') + file.fileName();
        bool copied = false;
        try {
            copied = copyFileUnlessDiskFull(file.absoluteFilePath(), to);
        } catch (const DiskFullError &) {
            QDir(target).removeRecursively();
            throw;
        }
        if (!copied)
            throw std::runtime_error(
                QStringLiteral("Can not copy %1 to %2.")
                    .arg(QDir::toNativeSeparators(file.absoluteFilePath()), QDir::toNativeSeparators(to))
                    .toStdString());
    }
    return target;
}

} // namespace AndroidSafetyCopies
