#include "device/IOSAfcFileDownload.h"

#include "app/AppError.h"
#include "app/FileUtil.h"
#include "db/FileCacheIndex.h"
#include "jobs/JobCancelled.h"
#include "jobs/JobProgress.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <stdexcept>

namespace {

// The cache index keeps whole seconds; a record without a time is never
// taken as unchanged.
qint64 cacheDate(const AfcFileRecord &file)
{
    return file.modified.isValid() ? file.modified.toSecsSinceEpoch() : 0;
}

} // namespace

IOSAfcFileDownload::IOSAfcFileDownload(JobProgress *progress, FileCacheIndex *cache)
    : m_progress(progress), m_cache(cache)
{}

void IOSAfcFileDownload::throwIfCancelled() const
{
    if (m_progress && m_progress->isCancelled())
        throw JobCancelled();
}

QString IOSAfcFileDownload::localName(const QString &deviceName)
{
    if (deviceName.contains(QLatin1Char('/')) || deviceName.contains(QLatin1Char('\\'))
        || deviceName.contains(QChar(0)))
        return QString();
    const QString cleaned = sanitiseFileName(deviceName);
    if (cleaned.isEmpty() || cleaned == QLatin1String(".") || cleaned == QLatin1String(".."))
        return QString();
    return cleaned;
}

void IOSAfcFileDownload::reportProgress(const AfcFileRecord &file, qint64 total)
{
    if (!m_progress)
        return;
    JobReport::progress(
        m_progress, QString(), -1,
        QStringLiteral("Loading %1, %L2KB / %L3KB").arg(file.name()).arg(total / 1024).arg(file.size / 1024));
}

void IOSAfcFileDownload::downloadFileThrow(AfcConnection &afc, const AfcFileRecord &file,
                                           const QString &localPath, bool useCache)
{
    throwIfCancelled();
    const QFileInfo local(localPath);
    QDir().mkpath(local.absolutePath());
    if (!file.isFile())
        return;
    const qint64 date = cacheDate(file);
    if (useCache && m_cache && date != 0 && m_cache->lastDate(file.path) == date) {
        ++m_skipped;
        return;
    }
    AfcOpenFile deviceFile(afc, file.path);
    if (!deviceFile.isOpen())
        throw AppError(QStringLiteral("Please restart your phone to try again.<br/><br/>can not read %1.")
                           .arg(file.path));
    // A link planted where the copy goes is replaced, never written through.
    if (local.isSymLink())
        QFile::remove(localPath);
    QFile out(localPath);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw AppError(QStringLiteral("can not create %1.%2").arg(localPath, out.errorString()));
    if (m_buffer.isEmpty())
        m_buffer.resize(kBufferSize);
    qint64 total = 0;
    for (;;) {
        if (m_progress && m_progress->isCancelled()) {
            out.close();
            QFile::remove(localPath);
            deviceFile.close();
            throw JobCancelled();
        }
        const qint64 n = deviceFile.read(m_buffer.data(), kBufferSize);
        if (n < 1) {
            out.close();
            // A read error or a file shorter than the device said ends the
            // copy early: the file stays for the caller to judge, but the
            // cache must not take it as the device's file.
            if (n < 0 || total < file.size)
                m_incomplete.append(file.path);
            else if (useCache && m_cache && date != 0)
                m_cache->setLastDate(file.path, date);
            deviceFile.close();
            ++m_copied;
            return;
        }
        if (out.write(m_buffer.constData(), n) != n)
            throw AppError(QStringLiteral("write file %1 failed. %2").arg(localPath, out.errorString()));
        total += n;
        reportProgress(file, total);
    }
}

void IOSAfcFileDownload::downloadFolderThrow(AfcConnection &afc, const AfcFileRecord &folder,
                                             const QString &localParent, bool useCache)
{
    throwIfCancelled();
    if (!folder.isFolder() || m_depth >= kMaxDepth)
        return;
    const QString folderName = localName(folder.name());
    if (folderName.isEmpty())
        return;
    const QString localFolder = QDir(localParent).filePath(folderName);
    struct DepthGuard
    {
        int &depth;
        explicit DepthGuard(int &d) : depth(d) { ++depth; }
        ~DepthGuard() { --depth; }
    } guard(m_depth);
    for (const AfcFileRecord &entry : afc.listRecords(folder.path)) {
        if (entry.isFile()) {
            const QString name = localName(entry.name());
            if (!name.isEmpty())
                downloadFileThrow(afc, entry, QDir(localFolder).filePath(name), useCache);
        } else {
            downloadFolderThrow(afc, entry, localFolder, useCache);
        }
    }
}
