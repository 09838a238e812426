// Extraction of single records of a backup, decrypting encrypted files.
#include "app/AppError.h"
#include "ios/BackupManifest.h"

#include "app/SafeFile.h"
#include "ios/BackupCrypto.h"
#include "ios/BackupPaths.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QTimeZone>

#include <cstdio>
#include <stdexcept>

namespace {

constexpr qint64 kChunkSize = 8192;

// Removes the temporary file unless it was committed.
struct PartFile
{
    QFile file;
    bool committed = false;
    explicit PartFile(const QString &path) : file(path) {}
    ~PartFile()
    {
        if (!committed) {
            file.close();
            file.remove();
        }
    }
};

// An encrypted copy whose length is no whole number of cipher blocks.
QString cutShort(const MbdbRecord &record)
{
    return QStringLiteral("The backup's copy of %1 is damaged: its encrypted content is cut short.")
        .arg(record.domain + QLatin1Char('/') + record.relativePath);
}

} // namespace

QString BackupManifest::contentPath(const MbdbRecord &record) const
{
    if (!record.storedFileId.isEmpty()) {
        if (!isSafeFileId(record.storedFileId))
            return QString();
        const QString id = record.storedFileId;
        return m_folder.filePath(id.left(2) + QLatin1Char('/') + id);
    }
    return m_folder.filePath(fileId(record.domain, record.relativePath));
}

QByteArray BackupManifest::fileKey(const MbdbRecord &record) const
{
    if (record.encryptionKey.isEmpty())
        return {};
    const QByteArray wrapped = record.encryptionKey.mid(4);
    if (wrapped.size() != 40)
        throw AppError(QStringLiteral("%1, the file key is not 40 bytes long.")
                           .arg(fileId(record.domain, record.relativePath)));
    QByteArray classKeyBytes = classKey(record.protectionClass);
    if (classKeyBytes.isEmpty()) {
        // Manifest.db keeps the class also in the key's first 4 bytes
        // (little-endian); use it when the record's class has no key.
        const auto *k = reinterpret_cast<const unsigned char *>(record.encryptionKey.constData());
        classKeyBytes = classKey(k[0] | (k[1] << 8) | (k[2] << 16) | (std::uint32_t(k[3]) << 24));
    }
    if (classKeyBytes.isEmpty())
        throw AppError(QStringLiteral("%1, no key for protection class %2.")
                           .arg(fileId(record.domain, record.relativePath))
                           .arg(record.protectionClass));
    const QByteArray key = BackupCrypto::aesKeyUnwrap(classKeyBytes, wrapped);
    if (key.size() != 32)
        throw AppError(QStringLiteral("%1, the file key cannot be unwrapped.")
                           .arg(fileId(record.domain, record.relativePath)));
    return key;
}

void BackupManifest::extractFile(const BackupFileNode *node, const QString &destination,
                                 ProgressCallback progress, void *context) const
{
    if (!node)
        throw AppError(QStringLiteral("No such file in the backup."));
    if (!node->hasRecord) {
        if (!QDir().mkpath(destination))
            throw AppError(QStringLiteral("can not create %1.").arg(destination));
        return;
    }
    extractFile(node->record, destination, progress, context);
}

void BackupManifest::extractFile(const MbdbRecord &record, const QString &destination,
                                 ProgressCallback progress, void *context) const
{
    if (record.isDir()) {
        if (!QDir().mkpath(destination))
            throw AppError(QStringLiteral("can not create %1.").arg(destination));
        return;
    }
    const QString id = fileId(record.domain, record.relativePath);
    if (record.isLink())
        throw AppError(
            QStringLiteral("%1 is a symbolic link; links are not extracted.").arg(record.relativePath));
    const QString source = contentPath(record);
    if (source.isEmpty())
        throw AppError(QStringLiteral("%1, the file id is not valid.").arg(record.storedFileId));
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        throw AppError(QStringLiteral("can not open %1. %2").arg(source, in.errorString()));
    // Writing over the content file itself would replace the backup's copy
    // (for an encrypted backup, with its plaintext).
    const QFileInfo destinationInfo(destination);
    if (destinationInfo.exists()
        && destinationInfo.canonicalFilePath() == QFileInfo(source).canonicalFilePath())
        throw AppError(
            QStringLiteral("can not create %1. It is the backup's own copy of the file.").arg(destination));

    const QByteArray key = m_encrypted ? fileKey(record) : QByteArray();
    if (!key.isEmpty() && in.size() % 16 != 0)
        throw AppError(cutShort(record));

    const QString folder = QFileInfo(destination).absolutePath();
    if (!QDir().mkpath(folder))
        throw AppError(
            QStringLiteral("can not create %1. %2").arg(destination, QStringLiteral("No folder.")));
    PartFile out(destination + QStringLiteral(".part"));
    if (!out.file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw AppError(QStringLiteral("can not create %1. %2").arg(destination, out.file.errorString()));

    const qint64 total = in.size();
    qint64 done = 0;
    qint64 written = 0;
    const qint64 wanted = qint64(qMin<std::uint64_t>(record.fileSize, std::uint64_t(total)));
    char buffer[kChunkSize];
    unsigned char plain[kChunkSize];
    std::unique_ptr<BackupCrypto::CbcDecryptor> cbc;
    if (!key.isEmpty())
        cbc = std::make_unique<BackupCrypto::CbcDecryptor>(key);
    for (;;) {
        if (cbc && written >= wanted)
            break; // the rest is CBC padding
        const qint64 n = in.read(buffer, kChunkSize);
        if (n < 0)
            throw AppError(QStringLiteral("can not open %1. %2").arg(source, in.errorString()));
        if (n == 0)
            break;
        done += n;
        if (cbc) {
            if (!cbc->decrypt(reinterpret_cast<unsigned char *>(buffer), std::size_t(n), plain))
                throw AppError(cutShort(record));
            const qint64 keep = qMin(n, wanted - written);
            if (out.file.write(reinterpret_cast<const char *>(plain), keep) != keep)
                throw AppError(
                    QStringLiteral("can not create %1. %2").arg(destination, out.file.errorString()));
            written += keep;
        } else {
            if (out.file.write(buffer, n) != n)
                throw AppError(
                    QStringLiteral("can not create %1. %2").arg(destination, out.file.errorString()));
            written += n;
        }
        if (progress)
            progress(total, done, context);
    }
    if (cbc && qint64(record.fileSize) > written)
        throw AppError(
            QStringLiteral("%1, the encrypted content is shorter than its recorded size.").arg(id));

    const QDateTime mtime = QDateTime::fromSecsSinceEpoch(record.modifiedTime, Qt::UTC);
    if (!out.file.flush())
        throw AppError(QStringLiteral("can not create %1. %2").arg(destination, out.file.errorString()));
    out.file.setFileTime(mtime, QFileDevice::FileModificationTime);
    out.file.setFileTime(mtime, QFileDevice::FileAccessTime);
    out.file.close();
    // Only a regular file is replaced (in one step); a folder, device node,
    // pipe or socket of that name stays as it is.
    if (SafeFile::isSpecialFile(destination) || QFileInfo(destination).isDir())
        throw AppError(
            QStringLiteral("can not create %1. %2")
                .arg(destination, QStringLiteral("Something other than a regular file is there.")));
    if (std::rename(QFile::encodeName(out.file.fileName()).constData(),
                    QFile::encodeName(destination).constData())
        != 0)
        throw AppError(QStringLiteral("can not create %1.").arg(destination));
    out.committed = true;
}

QString BackupManifest::extractInto(const MbdbRecord &record, const QString &folder, const QString &prefix,
                                    ProgressCallback progress, void *context) const
{
    QString relative = record.relativePath;
    if (!prefix.isEmpty()) {
        QString base = prefix;
        while (base.endsWith(QLatin1Char('/')))
            base.chop(1);
        if (relative == base)
            relative = QString();
        else if (relative.startsWith(base + QLatin1Char('/')))
            relative = relative.mid(base.size() + 1);
        else
            throw AppError(QStringLiteral("%1 is not below %2.").arg(record.relativePath, prefix));
    }
    QString destination;
    if (relative.isEmpty() && record.isDir())
        destination = QDir(folder).absolutePath();
    else
        destination = BackupPaths::safeDestination(folder, relative);
    if (destination.isEmpty())
        throw AppError(QStringLiteral("The backup names an unsafe path: %1").arg(record.relativePath));
    extractFile(record, destination, progress, context);
    return destination;
}
