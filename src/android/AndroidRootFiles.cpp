#include "android/AndroidRootFiles.h"

#include "android/AndroidChannel.h"
#include "android/AndroidShell.h"
#include "android/ArchiveEntryFile.h"
#include "app/AppError.h"
#include "app/DiskFull.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <memory>
#include <stdexcept>

namespace AndroidRootFiles {

namespace {

constexpr qsizetype kCopyBlock = 256 * 1024;
// What the unpacked files have until they are handed to Kik (owner, then
// the mode Kik's files are given): root's alone.
constexpr mode_t kArchiveEntryMode = 0100600;

QString kikFolder()
{
    return QString::fromLatin1(kKikDataFolder);
}

// The owner and group of Kik's data folder, read on the phone.
QString kikOwner()
{
    return QStringLiteral("$(stat -c %u:%g %1)").arg(AndroidShell::quote(kikFolder()));
}

QString quotedList(const QStringList &paths)
{
    QStringList quoted;
    quoted.reserve(paths.size());
    for (const QString &path : paths)
        quoted << AndroidShell::quote(path);
    return quoted.join(QLatin1Char(' '));
}

struct ArchiveWriteDeleter
{
    void operator()(archive *a) const { archive_write_free(a); }
};

struct EntryDeleter
{
    void operator()(archive_entry *e) const { archive_entry_free(e); }
};

QString archiveError(archive *writer)
{
    const char *text = archive_error_string(writer);
    return text ? QString::fromUtf8(text) : QStringLiteral("unknown error");
}

void addFile(archive *writer, const KikFolderFile &file, const QString &archivePath)
{
    const QString entryPath = file.phonePath.mid(kikFolder().size() + 1);
    QFile in(file.localPath);
    if (!in.open(QIODevice::ReadOnly))
        throw AppError(QStringLiteral("open %1 error. %2").arg(file.localPath, in.errorString()));
    const qint64 size = in.size();
    std::unique_ptr<archive_entry, EntryDeleter> entry(archive_entry_new());
    archive_entry_copy_pathname(entry.get(), entryPath.toUtf8().constData());
    archive_entry_set_mode(entry.get(), kArchiveEntryMode);
    archive_entry_set_uid(entry.get(), 0);
    archive_entry_set_gid(entry.get(), 0);
    const time_t mtime = time_t(std::max<qint64>(0, QFileInfo(in).lastModified().toSecsSinceEpoch()));
    archive_entry_set_mtime(entry.get(), mtime, 0);
    archive_entry_set_size(entry.get(), size);
    if (archive_write_header(writer, entry.get()) != ARCHIVE_OK) {
        if (isDiskFullErrno(archive_errno(writer)))
            throw DiskFullError(archivePath);
        throw AppError(
            QStringLiteral("Cannot store %1 in the archive: %2").arg(entryPath, archiveError(writer)));
    }
    QByteArray block(kCopyBlock, Qt::Uninitialized);
    qint64 left = size;
    while (left > 0) {
        const qint64 n = in.read(block.data(), std::min<qint64>(left, block.size()));
        if (n <= 0)
            throw AppError(QStringLiteral("read %1 error. %2").arg(file.localPath, in.errorString()));
        if (archive_write_data(writer, block.constData(), size_t(n)) != la_ssize_t(n)) {
            if (isDiskFullErrno(archive_errno(writer)))
                throw DiskFullError(archivePath);
            throw AppError(QStringLiteral("write %1 error. %2").arg(entryPath, archiveError(writer)));
        }
        left -= n;
    }
}

} // namespace

void prepareStaging(AndroidChannel &channel, const QString &staging)
{
    const QString folder = AndroidShell::quote(staging);
    channel.suCommand(QStringLiteral("rm -fr %1; mkdir -p %1").arg(folder));
}

bool removeStaging(AndroidChannel &channel, const QString &staging)
{
    try {
        // The parent ("Kik") goes only when nothing else is in it.
        channel.suCommand(
            QStringLiteral("rm -fr %1; rmdir %2 2>/dev/null")
                .arg(AndroidShell::quote(staging), AndroidShell::quote(QFileInfo(staging).path())));
    } catch (...) {
        // The phone may be gone; the copies then go with the next load.
        return false;
    }
    return true;
}

void handToKik(AndroidChannel &channel, const QString &phonePath)
{
    const QString path = AndroidShell::quote(phonePath);
    channel.suCommand(QStringLiteral("chown %1 %2").arg(kikOwner(), path));
    channel.suCommand(QStringLiteral("restorecon %1").arg(path));
}

bool canUnpackArchives(AndroidChannel &channel)
{
    return channel.suCommand(QStringLiteral("tar --help >/dev/null 2>&1 && xargs --help >/dev/null 2>&1"))
           == 0;
}

bool fitsArchive(const QString &phonePath)
{
    const QString prefix = kikFolder() + QLatin1Char('/');
    if (!phonePath.startsWith(prefix))
        return false;
    const QStringList parts = phonePath.mid(prefix.size()).split(QLatin1Char('/'));
    for (const QString &part : parts) {
        if (part.isEmpty() || part == QLatin1String(".") || part == QLatin1String("..")
            || part.startsWith(QLatin1Char('-')))
            return false;
        for (const QChar c : part) {
            const char16_t u = c.unicode();
            const bool plain = (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z')
                               || (u >= u'0' && u <= u'9') || u == u'.' || u == u'_' || u == u'-';
            if (!plain)
                return false;
        }
    }
    return true;
}

void writeKikArchive(const QList<KikFolderFile> &files, const QString &archivePath)
{
    for (const KikFolderFile &file : files) {
        if (!fitsArchive(file.phonePath))
            throw AppError(QStringLiteral("%1 cannot be sent in an archive.").arg(file.phonePath));
    }
    QFile::remove(archivePath);
    std::unique_ptr<archive, ArchiveWriteDeleter> writer(archive_write_new());
    archive_write_set_format_ustar(writer.get());
    archive_write_add_filter_none(writer.get());
    // One 512-byte block per record: no padding beyond the end marker.
    archive_write_set_bytes_per_block(writer.get(), 512);
    try {
        if (archive_write_open_filename(writer.get(), QFile::encodeName(archivePath).constData())
            != ARCHIVE_OK)
            throw AppError(
                QStringLiteral("create %1 error. %2").arg(archivePath, archiveError(writer.get())));
        for (const KikFolderFile &file : files)
            addFile(writer.get(), file, archivePath);
        if (archive_write_close(writer.get()) != ARCHIVE_OK) {
            if (isDiskFullErrno(archive_errno(writer.get())))
                throw DiskFullError(archivePath);
            throw AppError(QStringLiteral("write %1 error. %2").arg(archivePath, archiveError(writer.get())));
        }
    } catch (...) {
        writer.reset();
        QFile::remove(archivePath);
        throw;
    }
}

void writeNameList(const QStringList &names, const QString &path)
{
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw AppError(QStringLiteral("create %1 error. %2").arg(path, out.errorString()));
    const QByteArray text = names.join(QLatin1Char('\n')).toUtf8() + '\n';
    try {
        ArchiveEntryFile::write(out, text.constData(), text.size(), path);
        ArchiveEntryFile::finish(out, path);
    } catch (...) {
        out.close();
        QFile::remove(path);
        throw;
    }
}

QString unpackCommand(const QString &stagedArchive, const QString &stagedList, const QStringList &extraFiles,
                      const QStringList &folders)
{
    QStringList steps;
    steps << QStringLiteral("tar -xf %1 -C %2")
                 .arg(AndroidShell::quote(stagedArchive), AndroidShell::quote(kikFolder()));
    if (!stagedList.isEmpty()) {
        const QString list = AndroidShell::quote(stagedList);
        steps << QStringLiteral("xargs chown %1 < %2").arg(kikOwner(), list)
              << QStringLiteral("xargs chmod 777 < %1").arg(list);
    }
    if (!extraFiles.isEmpty() || !folders.isEmpty())
        steps << QStringLiteral("chown %1 %2").arg(kikOwner(), quotedList(extraFiles + folders));
    if (!extraFiles.isEmpty())
        steps << QStringLiteral("chmod 777 %1").arg(quotedList(extraFiles));
    return steps.join(QStringLiteral(" && "));
}

QString relabelCommand(const QStringList &paths, const QString &stagedList)
{
    QStringList steps;
    if (!paths.isEmpty())
        steps << QStringLiteral("restorecon %1").arg(quotedList(paths));
    if (!stagedList.isEmpty())
        steps << QStringLiteral("xargs restorecon < %1").arg(AndroidShell::quote(stagedList));
    return steps.join(QStringLiteral("; "));
}

QStringList foldersInKikFolder(const QStringList &phonePaths)
{
    const QString top = kikFolder();
    QSet<QString> folders;
    for (const QString &path : phonePaths) {
        if (!path.startsWith(top + QLatin1Char('/')))
            continue;
        QString folder = QFileInfo(path).path();
        while (folder.size() > top.size() && folder.startsWith(top + QLatin1Char('/'))) {
            folders.insert(folder);
            folder = QFileInfo(folder).path();
        }
    }
    QStringList sorted(folders.cbegin(), folders.cend());
    sorted.sort();
    return sorted;
}

} // namespace AndroidRootFiles
