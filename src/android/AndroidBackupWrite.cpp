// Writing Android backup archives that Android's restore accepts: plain
// ustar entries with octal fields, regular files only, each package's
// "_manifest" ahead of its other files.
#include "android/AndroidBackup.h"
#include "android/BlockQueue.h"
#include "android/ZlibStream.h"
#include "app/DiskFull.h"

#include <QDateTime>
#include <QFileInfo>

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <stdexcept>
#include <thread>

namespace {

constexpr qsizetype kCopyBlock = 64 * 1024;
constexpr mode_t kEntryMode = 0100642; // 33186
constexpr qint64 kMaxUstarTime = 077777777777;

[[noreturn]] void fail(const QString &text)
{
    throw std::runtime_error(text.toStdString());
}

struct ArchiveWriteDeleter
{
    void operator()(archive *a) const { archive_write_free(a); }
};

struct EntryDeleter
{
    void operator()(archive_entry *e) const { archive_entry_free(e); }
};

// Deflates on its own thread: the tar side gathers its 10 KiB records into
// larger blocks and hands them over through a short queue.
class DeflateSink
{
public:
    explicit DeflateSink(QFile &file) : m_deflater(file), m_queue(8)
    {
        m_pending.reserve(kBlock);
        m_thread = std::thread([this] {
            while (std::optional<QByteArray> block = m_queue.pop()) {
                if (!m_deflater.write(block->constData(), block->size())) {
                    m_failed.store(true);
                    m_queue.close();
                    return;
                }
            }
        });
    }
    ~DeflateSink() { stop(); }
    DeflateSink(const DeflateSink &) = delete;
    DeflateSink &operator=(const DeflateSink &) = delete;

    bool write(const char *data, size_t length)
    {
        m_pending.append(data, qsizetype(length));
        if (m_pending.size() < kBlock)
            return !m_failed.load();
        return flushPending();
    }

    // Hands over the rest, waits for the thread and ends the zlib stream.
    bool finish()
    {
        const bool handed = m_pending.isEmpty() || flushPending();
        stop();
        return handed && !m_failed.load() && m_deflater.finish();
    }

private:
    static constexpr qsizetype kBlock = 256 * 1024;

    bool flushPending()
    {
        QByteArray block;
        block.reserve(kBlock);
        block.swap(m_pending);
        return m_queue.push(std::move(block)) && !m_failed.load();
    }

    void stop()
    {
        m_queue.close();
        if (m_thread.joinable())
            m_thread.join();
    }

    ZlibDeflateWriter m_deflater;
    BlockQueue m_queue;
    QByteArray m_pending;
    std::atomic<bool> m_failed{false};
    std::thread m_thread;
};

la_ssize_t writeCallback(archive *a, void *data, const void *buffer, size_t length)
{
    auto *sink = static_cast<DeflateSink *>(data);
    if (!sink->write(static_cast<const char *>(buffer), length)) {
        archive_set_error(a, EIO, "cannot write the compressed archive");
        return -1;
    }
    return la_ssize_t(length);
}

QString archiveError(archive *writer)
{
    const char *text = archive_error_string(writer);
    return text ? QString::fromUtf8(text) : QStringLiteral("unknown error");
}

void addFile(archive *writer, const QFileInfo &info, const QString &entryPath)
{
    QFile in(info.absoluteFilePath());
    if (!in.open(QIODevice::ReadOnly))
        fail(QStringLiteral("open %1 error. %2").arg(info.absoluteFilePath(), in.errorString()));
    const qint64 size = in.size();
    // ustar holds the time as 11 octal digits; a time outside that range
    // (before 1970, say) is clamped rather than failing the whole archive.
    const time_t mtime = time_t(std::clamp<qint64>(info.lastModified().toSecsSinceEpoch(), 0, kMaxUstarTime));

    std::unique_ptr<archive_entry, EntryDeleter> entry(archive_entry_new());
    archive_entry_copy_pathname(entry.get(), entryPath.toUtf8().constData());
    archive_entry_set_mode(entry.get(), kEntryMode);
    archive_entry_set_uid(entry.get(), 0);
    archive_entry_set_gid(entry.get(), 0);
    archive_entry_set_dev(entry.get(), 0);
    archive_entry_set_ino(entry.get(), 0);
    archive_entry_set_atime(entry.get(), mtime, 0);
    archive_entry_set_ctime(entry.get(), mtime, 0);
    archive_entry_set_mtime(entry.get(), mtime, 0);
    archive_entry_set_size(entry.get(), size);
    // ustar holds at most 100 bytes of name plus 155 of prefix; libarchive
    // splits the path at a "/" and refuses what cannot be written that way.
    if (archive_write_header(writer, entry.get()) != ARCHIVE_OK)
        fail(
            QStringLiteral("Cannot store %1 in the backup archive: %2").arg(entryPath, archiveError(writer)));

    QByteArray block(kCopyBlock, Qt::Uninitialized);
    qint64 left = size;
    while (left > 0) {
        const qint64 n = in.read(block.data(), std::min<qint64>(left, block.size()));
        if (n <= 0)
            fail(QStringLiteral("read %1 error. %2").arg(info.absoluteFilePath(), in.errorString()));
        if (archive_write_data(writer, block.constData(), size_t(n)) != la_ssize_t(n))
            fail(QStringLiteral("write %1 error. %2").arg(entryPath, archiveError(writer)));
        left -= n;
    }
}

void removeQuietly(QFile &file)
{
    file.close();
    file.remove();
}

} // namespace

void addFolderToTar(archive *writer, const QDir &folder, const QString &archiveFolder, int &entries)
{
    const QString prefix = archiveFolder.isEmpty() ? QString() : archiveFolder + QLatin1Char('/');
    QFileInfoList files = folder.entryInfoList(QDir::Files | QDir::Hidden | QDir::NoSymLinks, QDir::Name);
    // Android's restore reads a package's manifest before anything else of
    // it; keep it first even when another name sorts ahead of it.
    for (qsizetype i = 1; i < files.size(); ++i) {
        if (files.at(i).fileName() == QLatin1String("_manifest")) {
            files.move(i, 0);
            break;
        }
    }
    for (const QFileInfo &info : std::as_const(files)) {
        addFile(writer, info, prefix + info.fileName());
        ++entries;
    }
    const QFileInfoList folders =
        folder.entryInfoList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::Name);
    for (const QFileInfo &info : folders)
        addFolderToTar(writer, QDir(info.absoluteFilePath()), prefix + info.fileName(), entries);
}

int createAndroidBackup(const QDir &source, const QString &archivePath)
{
    if (!source.exists())
        fail(QStringLiteral("archive_write_open error (%1).").arg(source.absolutePath()));
    QFile file(archivePath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        fail(QStringLiteral("compress %1 error. %2").arg(archivePath, file.errorString()));
    const qint64 headerSize = qint64(sizeof(kAndroidBackupHeader) - 1);
    if (file.write(kAndroidBackupHeader, headerSize) != headerSize) {
        const QString error = file.errorString();
        const bool full = isDiskFullFileError(file);
        removeQuietly(file);
        if (full)
            throw DiskFullError(archivePath);
        fail(QStringLiteral("write %1 error. %2").arg(archivePath, error));
    }

    int entries = 0;
    try {
        DeflateSink deflater(file);
        std::unique_ptr<archive, ArchiveWriteDeleter> writer(archive_write_new());
        archive_write_set_format_ustar(writer.get());
        archive_write_add_filter_none(writer.get());
        if (archive_write_open(writer.get(), &deflater, nullptr, writeCallback, nullptr) != ARCHIVE_OK)
            fail(QStringLiteral("archive_write_open error (%1).").arg(source.absolutePath()));
        addFolderToTar(writer.get(), source, QString(), entries);
        if (archive_write_close(writer.get()) != ARCHIVE_OK)
            fail(QStringLiteral("write %1 error. %2").arg(archivePath, archiveError(writer.get())));
        if (!deflater.finish())
            fail(QStringLiteral("write %1 error. %2").arg(archivePath, file.errorString()));
        if (!file.flush())
            fail(QStringLiteral("write %1 error. %2").arg(archivePath, file.errorString()));
    } catch (...) {
        // Whichever step noticed it, a write that ran out of space is told as such.
        const bool full = isDiskFullFileError(file);
        removeQuietly(file);
        if (full)
            throw DiskFullError(archivePath);
        throw;
    }
    file.close();
    return entries;
}
