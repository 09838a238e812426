#include "android/AndroidThumbnailBatch.h"

#include "android/AndroidChannel.h"
#include "android/AndroidKikPaths.h"
#include "android/AndroidRootFiles.h"
#include "android/AndroidShell.h"
#include "android/ArchiveEntryFile.h"
#include "app/AppError.h"

#include <QDir>
#include <QFile>

#include <archive.h>
#include <archive_entry.h>

#include <memory>

namespace AndroidThumbnailBatch {

namespace {

constexpr qsizetype kCopyBlock = 256 * 1024;

struct ArchiveReadDeleter
{
    void operator()(archive *a) const { archive_read_free(a); }
};

QString entryName(archive_entry *entry)
{
    const char *utf8 = archive_entry_pathname_utf8(entry);
    if (utf8)
        return QString::fromUtf8(utf8);
    const char *raw = archive_entry_pathname(entry);
    return raw ? QString::fromLocal8Bit(raw) : QString();
}

// Copies the current entry's data into `temp`. False when the archive
// broke (the entry is cut or damaged); throws when `temp` cannot be written.
bool copyEntry(archive *reader, const QString &temp)
{
    QFile out(temp);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw AppError(QStringLiteral("create %1 error. %2").arg(temp, out.errorString()));
    QByteArray block(kCopyBlock, Qt::Uninitialized);
    if (!ArchiveEntryFile::copyData(reader, out, block, temp))
        return false;
    ArchiveEntryFile::finish(out, temp);
    return true;
}

} // namespace

bool fitsBatch(const QString &name)
{
    return !name.isEmpty() && AndroidKikPaths::safeName(name) == name;
}

QString packCommand(const QString &folder, const QString &stagedList, const QString &stagedArchive)
{
    return QStringLiteral("tar -cf %1 -C %2 -T %3")
        .arg(AndroidShell::quote(stagedArchive), AndroidShell::quote(folder),
             AndroidShell::quote(stagedList));
}

Result unpack(const QString &archivePath, const QSet<QString> &wanted, const QString &folder,
              const QString &work)
{
    Result result;
    std::unique_ptr<archive, ArchiveReadDeleter> reader(archive_read_new());
    archive_read_support_format_tar(reader.get());
    archive_read_support_filter_none(reader.get());
    if (archive_read_open_filename(reader.get(), QFile::encodeName(archivePath).constData(), 64 * 1024)
        != ARCHIVE_OK)
        return result;
    if (!QDir().mkpath(folder) || !QDir().mkpath(work))
        throw AppError(QStringLiteral("Cannot create the folder %1.").arg(folder));
    const QString temp = QDir(work).filePath(QStringLiteral("unpacking"));
    for (;;) {
        archive_entry *entry = nullptr;
        const int status = archive_read_next_header(reader.get(), &entry);
        if (status == ARCHIVE_EOF) {
            result.complete = true;
            break;
        }
        if (status < ARCHIVE_WARN)
            break;
        const QString name = entryName(entry);
        if (archive_entry_filetype(entry) != AE_IFREG || !wanted.contains(name)
            || result.fetched.contains(name))
            continue;
        const QString target = QDir(folder).filePath(name);
        if (archive_entry_size(entry) == 0) {
            result.fetched.insert(name);
            continue;
        }
        bool whole = false;
        try {
            whole = copyEntry(reader.get(), temp);
        } catch (...) {
            QFile::remove(temp);
            throw;
        }
        if (!whole) {
            QFile::remove(temp);
            break;
        }
        QFile::remove(target);
        if (!QFile::rename(temp, target)) {
            QFile::remove(temp);
            throw AppError(QStringLiteral("cant rename %1 to %2.").arg(temp, target));
        }
        result.fetched.insert(name);
    }
    return result;
}

Result fetch(AndroidChannel &channel, const QString &phoneFolder, const QString &staging,
             const QStringList &names, const QString &folder, const QString &work)
{
    if (!QDir().mkpath(work))
        throw AppError(QStringLiteral("Cannot create the folder %1.").arg(work));
    const QString list = QDir(work).filePath(QStringLiteral("thumbs.list"));
    const QString archivePath = QDir(work).filePath(QStringLiteral("thumbs.tar"));
    AndroidRootFiles::writeNameList(names, list);
    const QString stagedList = staging + QStringLiteral("/thumbs.list");
    const QString stagedArchive = staging + QStringLiteral("/thumbs.tar");
    Result result;
    try {
        channel.uploadFile(list, stagedList);
        const int packStatus = channel.suCommand(packCommand(phoneFolder, stagedList, stagedArchive));
        // The archive is made readable for the download; this fails when
        // tar made none.
        if (channel.suCommand(AndroidShell::chmodCommand(stagedArchive)) == 0
            && channel.downloadFile(stagedArchive, QString(), archivePath, true)) {
            result = unpack(archivePath, QSet<QString>(names.cbegin(), names.cend()), folder, work);
            result.packed = true;
            result.complete = result.complete && packStatus == 0;
        }
        channel.suCommand(QStringLiteral("rm -f %1 %2")
                              .arg(AndroidShell::quote(stagedArchive), AndroidShell::quote(stagedList)));
    } catch (...) {
        QFile::remove(list);
        QFile::remove(archivePath);
        throw;
    }
    QFile::remove(list);
    QFile::remove(archivePath);
    return result;
}

} // namespace AndroidThumbnailBatch
