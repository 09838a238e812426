// Unpacking Android backup archives.
#include "android/AndroidBackup.h"
#include "android/ArchiveEntryFile.h"
#include "android/ArchiveError.h"
#include "android/BlockQueue.h"
#include "android/ExtractionTarget.h"
#include "android/ZlibStream.h"
#include "app/AppError.h"
#include "app/DiskFull.h"
#include "app/LogCategories.h"
#include "app/Platform.h"

#include <QDebug>
#include <QFileInfo>
#include <QRegularExpression>

#include <archive.h>
#include <archive_entry.h>

#include <memory>
#include <stdexcept>
#include <thread>

namespace {

constexpr qint64 kMaxHeaderLine = 4096;
constexpr qsizetype kCopyBlock = 64 * 1024;
// Entries up to this size may be linked to an equal file of an earlier
// extraction (they are compared in memory).
constexpr qint64 kReuseMaxSize = 1024 * 1024;

struct ArchiveReadDeleter
{
    void operator()(archive *a) const { archive_read_free(a); }
};

// Reads the archive body on its own thread, a few blocks ahead of the tar
// reader: inflated when the header says it is compressed, else as it is.
class BodySource
{
public:
    BodySource(QFile &file, bool compressed)
        : m_file(file), m_compressed(compressed), m_reader(file), m_queue(8)
    {
        m_thread = std::thread([this] {
            for (;;) {
                const QByteArray block = nextBlock();
                if (block.isEmpty() || !m_queue.push(block))
                    break;
            }
            m_queue.close();
        });
    }
    ~BodySource() { stop(); }
    BodySource(const BodySource &) = delete;
    BodySource &operator=(const BodySource &) = delete;

    // The next block, or none at the end of the data.
    std::optional<QByteArray> next() { return m_queue.pop(); }

    // Ends the reading thread; its state may be read afterwards.
    void stop()
    {
        m_queue.close();
        if (m_thread.joinable())
            m_thread.join();
    }
    // Reads what the tar reader left after the archive's end, so that a
    // compressed body cut short (its checksum missing) is noticed.
    void drain()
    {
        while (next()) {
        }
    }
    bool ended()
    {
        stop();
        return m_compressed ? m_reader.state() == ZlibInflateReader::State::Ended : !m_readFailed;
    }
    qint64 totalOut()
    {
        stop();
        return m_compressed ? m_reader.totalOut() : m_rawTotal;
    }
    QByteArray current; // the block libarchive is reading

private:
    QByteArray nextBlock()
    {
        if (m_compressed)
            return m_reader.next().toByteArray();
        QByteArray block = m_file.read(kCopyBlock);
        if (block.isEmpty() && m_file.error() != QFileDevice::NoError)
            m_readFailed = true;
        m_rawTotal += block.size();
        return block;
    }

    QFile &m_file;
    bool m_compressed;
    bool m_readFailed = false;
    qint64 m_rawTotal = 0;
    ZlibInflateReader m_reader;
    BlockQueue m_queue;
    std::thread m_thread;
};

la_ssize_t readCallback(archive *a, void *data, const void **buffer)
{
    auto *source = static_cast<BodySource *>(data);
    std::optional<QByteArray> block = source->next();
    if (!block) {
        if (source->ended()) {
            *buffer = nullptr;
            return 0;
        }
        archive_set_error(a, EIO, "the compressed data is damaged or cut short");
        return -1;
    }
    source->current = std::move(*block);
    *buffer = source->current.constData();
    return la_ssize_t(source->current.size());
}

// Reads an entry's data whole into `data` (`size` bytes, as recorded);
// false when libarchive cannot or the entry holds another amount.
bool readWhole(archive *reader, qint64 size, QByteArray &data)
{
    data.resize(size);
    qint64 got = 0;
    while (got < size) {
        const la_ssize_t n = archive_read_data(reader, data.data() + got, size_t(size - got));
        if (n <= 0)
            return false;
        got += n;
    }
    char extra = 0;
    return archive_read_data(reader, &extra, 1) == 0;
}

// Whether `path` is a plain file holding exactly `data`.
bool holdsExactly(const QString &path, const QByteArray &data)
{
    const QFileInfo info(path);
    if (info.isSymLink() || !info.isFile() || info.size() != data.size())
        return false;
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(data.size() + 1) == data;
}

// Writes one entry; false when libarchive could not read its data. When
// `earlier` names a file of an earlier extraction, an entry with the same
// content becomes a hard link to it instead of a new file.
bool extractFile(archive *reader, archive_entry *entry, ExtractionTarget &target, const QString &relative,
                 const QString &earlier)
{
    const QString full = target.root() + QLatin1Char('/') + relative;
    const qsizetype slash = relative.lastIndexOf(QLatin1Char('/'));
    target.makeFolder(slash < 0 ? QString() : relative.left(slash));
    const bool sized = archive_entry_size_is_set(entry);
    const qint64 size = sized ? archive_entry_size(entry) : -1;
    QByteArray block;
    if (!earlier.isEmpty() && sized && size >= 0 && size <= kReuseMaxSize
        && QFileInfo(earlier).size() == size) {
        if (!readWhole(reader, size, block))
            return false;
        if (holdsExactly(earlier, block) && Platform::hardLink(earlier, full))
            return true;
    }
    if (sized)
        target.takeSpace(size, full);
    QFile out(full);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw AppError(QStringLiteral("create %1 error. %2").arg(full, out.errorString()));
    if (!block.isNull()) {
        ArchiveEntryFile::write(out, block.constData(), block.size(), full);
        ArchiveEntryFile::finish(out, full);
        return true;
    }
    block.resize(kCopyBlock);
    qint64 written = 0;
    // Entries without a recorded size are counted as they grow.
    const auto grown = [&](qint64 n) {
        written += n;
        if (!sized && written % (64 * kCopyBlock) < n)
            target.takeSpace(64 * kCopyBlock, full);
    };
    if (!ArchiveEntryFile::copyData(reader, out, block, full, grown))
        return false;
    ArchiveEntryFile::finish(out, full);
    return true;
}

// Reads the four header lines (magic, format version 1 to 5, compression
// flag, encryption) and returns whether the body is compressed.
bool readAndroidBackupHeader(QFile &file, const QString &archivePath)
{
    const auto notAnArchive = [&archivePath] {
        throw AppError(QStringLiteral("%1 is not an Android backup archive.")
                           .arg(QDir::toNativeSeparators(archivePath)));
    };
    QByteArrayList lines;
    for (int line = 0; line < 4; ++line) {
        const QByteArray text = file.readLine(kMaxHeaderLine);
        if (!text.endsWith('\n'))
            notAnArchive();
        lines.append(text.trimmed());
    }
    const QByteArray &version = lines[1];
    if (lines[0] != "ANDROID BACKUP" || version.size() != 1 || version[0] < '1' || version[0] > '5'
        || (lines[2] != "0" && lines[2] != "1"))
        notAnArchive();
    if (lines[3].compare("none", Qt::CaseInsensitive) == 0)
        return lines[2] == "1";
    if (lines[3] == "AES-256")
        throw AppError(QStringLiteral(
            "Your backup file is encrypted. Please backup again without entering a password."));
    notAnArchive();
    return false;
}

// Removes what a failed extraction wrote: the whole destination when it
// made it, else the files it wrote there.
class ExtractionCleanup
{
public:
    explicit ExtractionCleanup(const QString &root) : m_root(root), m_rootIsNew(!QFileInfo::exists(root)) {}
    ~ExtractionCleanup()
    {
        if (m_done)
            return;
        if (m_rootIsNew) {
            QDir(m_root).removeRecursively();
            return;
        }
        for (const QString &path : std::as_const(m_files))
            QFile::remove(path);
    }
    ExtractionCleanup(const ExtractionCleanup &) = delete;
    ExtractionCleanup &operator=(const ExtractionCleanup &) = delete;

    // Whether a failure removes the whole destination (it is new), so the
    // files written need not be counted.
    bool removesAll() const { return m_rootIsNew; }
    void wrote(const QString &path) { m_files.append(path); }
    void done() { m_done = true; }

private:
    QString m_root;
    bool m_rootIsNew;
    bool m_done = false;
    QStringList m_files;
};

} // namespace

QString cleanAndroidBackupPath(const QString &entryPath)
{
    static const QRegularExpression leadingDot(QStringLiteral("^\\./"));
    static const QRegularExpression forbidden(QStringLiteral("[\\\\:*?\"<>|\\n\\r\\t]"));
    QString path = entryPath;
    path.remove(leadingDot);
    path.remove(forbidden);
    return path;
}

QString safeAndroidBackupPath(const QString &cleanedPath)
{
    if (cleanedPath.startsWith(QLatin1Char('/')))
        return QString();
    QStringList kept;
    for (const QString &part : cleanedPath.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (part == QLatin1String(".."))
            return QString();
        if (part != QLatin1String(".") && !part.contains(QChar(0)))
            kept.append(part);
    }
    return kept.join(QLatin1Char('/'));
}

int extractAndroidBackup(const QString &archivePath, const QDir &destination, const QString &corruptedMessage,
                         const AndroidBackupEntryFilter &wanted, const AndroidBackupReuse &reuse)
{
    QFile file(archivePath);
    if (!file.open(QIODevice::ReadOnly))
        throw AppError(QStringLiteral("open %1 error. %2").arg(archivePath, file.errorString()));

    const bool compressed = readAndroidBackupHeader(file, archivePath);
    BodySource inflater(file, compressed);
    std::unique_ptr<archive, ArchiveReadDeleter> reader(archive_read_new());
    archive_read_support_format_all(reader.get());
    archive_read_support_filter_all(reader.get());
    if (archive_read_open(reader.get(), &inflater, nullptr, readCallback, nullptr) != ARCHIVE_OK)
        throw AppError(corruptedMessage);

    const QString root = destination.absolutePath();
    ExtractionCleanup cleanup(root);
    ExtractionTarget target(root);
    if (!QDir().mkpath(root))
        throw AppError(
            QStringLiteral("create %1 error. %2").arg(root, QStringLiteral("cannot create folder")));
    // A read error of libarchive: the archive is damaged, and the reader says
    // why unless the body ended early (its own message would then only name
    // the missing bytes).
    const auto damaged = [&] {
        const QString detail = archiveErrorText(reader.get(), QString());
        if (!inflater.ended() || detail.isEmpty())
            throw AppError(corruptedMessage);
        throw AppError(corruptedMessage + QStringLiteral(" (%1)").arg(detail));
    };
    int files = 0;
    for (;;) {
        archive_entry *entry = nullptr;
        const int rc = archive_read_next_header(reader.get(), &entry);
        if (rc == ARCHIVE_EOF) {
            inflater.drain();
            if (!inflater.ended())
                damaged();
            break;
        }
        if (rc < ARCHIVE_WARN)
            damaged();
        const char *utf8 = archive_entry_pathname_utf8(entry);
        const QString name =
            utf8 ? QString::fromUtf8(utf8) : QString::fromLocal8Bit(archive_entry_pathname(entry));
        const QString cleaned = cleanAndroidBackupPath(name);
        if (cleaned.isEmpty())
            continue;
        const QString relative = safeAndroidBackupPath(cleaned);
        // Entries the caller has no use for are passed over unread.
        if (!relative.isEmpty() && wanted && !wanted(relative))
            continue;
        if (relative.isEmpty() || target.passesSymlink(relative)) {
            qCWarning(lcAndroid).noquote() << "skip unsafe backup entry" << name;
            continue;
        }
        const mode_t type = archive_entry_filetype(entry);
        if (type == AE_IFDIR) {
            target.makeFolder(relative);
        } else if (type == AE_IFREG && !archive_entry_hardlink(entry)) {
            const QString full = root + QLatin1Char('/') + relative;
            if (!cleanup.removesAll() && !QFileInfo::exists(full))
                cleanup.wrote(full);
            // Links go only into a new destination, where no file is in
            // the way and nothing else holds the linked files.
            const bool linkable =
                cleanup.removesAll() && !reuse.folder.isEmpty() && reuse.applies && reuse.applies(relative);
            const QString earlier = linkable ? reuse.folder + QLatin1Char('/') + relative : QString();
            if (!extractFile(reader.get(), entry, target, relative, earlier))
                damaged();
            ++files;
        }
    }
    if (inflater.totalOut() == 0)
        throw AppError(corruptedMessage);
    cleanup.done();
    return files;
}
