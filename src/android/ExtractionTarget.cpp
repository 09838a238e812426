#include "android/ExtractionTarget.h"

#include "app/AppError.h"
#include "app/DiskFull.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

bool ExtractionTarget::passesSymlink(const QString &relative)
{
    QString path = m_root;
    QString checked;
    for (const QString &part : relative.split(QLatin1Char('/'))) {
        path += QLatin1Char('/') + part;
        checked += checked.isEmpty() ? part : QLatin1Char('/') + part;
        if (m_realFolders.contains(checked))
            continue;
        const QFileInfo info(path);
        if (info.isSymLink())
            return true;
        if (!info.exists())
            return false;
        if (info.isDir())
            m_realFolders.insert(checked);
    }
    return false;
}

void ExtractionTarget::makeFolder(const QString &relative)
{
    if (relative.isEmpty() || m_realFolders.contains(relative))
        return;
    const QString folder = m_root + QLatin1Char('/') + relative;
    if (!QDir().mkpath(folder))
        throw AppError(
            QStringLiteral("create %1 error. %2").arg(folder, QStringLiteral("cannot create folder")));
    // Every parent is a real folder now: none of them was a link (checked
    // before), and mkpath made the missing ones.
    QString part = relative;
    while (!part.isEmpty() && !m_realFolders.contains(part)) {
        m_realFolders.insert(part);
        const qsizetype slash = part.lastIndexOf(QLatin1Char('/'));
        part = slash < 0 ? QString() : part.left(slash);
    }
}

void ExtractionTarget::takeSpace(qint64 size, const QString &path)
{
    if (!m_spaceKnown || size > m_available - kDiskReserve) {
        QStorageInfo storage(m_root);
        storage.refresh();
        if (!storage.isValid())
            return;
        m_available = storage.bytesAvailable();
        m_spaceKnown = true;
        if (size > m_available - kDiskReserve)
            throw DiskFullError(path);
    }
    m_available -= size;
}
