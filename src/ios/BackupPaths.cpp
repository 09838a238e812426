#include "ios/BackupPaths.h"

#include "app/DataRoot.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace BackupPaths {

QString defaultBackupRootFor(const QString &homeFolder)
{
    const QDir home(homeFolder);
#if defined(Q_OS_WIN)
    if (QFileInfo(home.filePath(QStringLiteral("AppData/Roaming"))).isDir())
        return home.filePath(QStringLiteral("AppData/Roaming/Apple Computer/MobileSync/Backup"));
    return home.filePath(QStringLiteral("Application Data/Apple Computer/MobileSync/Backup"));
#elif defined(Q_OS_MACOS)
    return home.filePath(QStringLiteral("Library/Application Support/MobileSync/Backup"));
#else
    Q_UNUSED(home);
    return deviceBackupWorkRoot();
#endif
}

QString defaultBackupRoot()
{
    return defaultBackupRootFor(QDir::homePath());
}

QString deviceBackupWorkRoot()
{
    return QDir(DataRoot::path()).filePath(QStringLiteral("ios_backups"));
}

QString safeDestination(const QString &folder, const QString &relativePath)
{
    if (folder.isEmpty() || relativePath.isEmpty() || relativePath.startsWith(QLatin1Char('/')))
        return QString();
    const QStringList parts = relativePath.split(QLatin1Char('/'));
    for (const QString &part : parts) {
        if (part.isEmpty() || part == QLatin1String(".") || part == QLatin1String("..")
            || part.contains(QLatin1Char('\\')) || part.contains(QLatin1Char(':')) || part.contains(QChar(0)))
            return QString();
    }
    const QString base = QDir::cleanPath(QDir(folder).absolutePath());
    const QString joined = QDir::cleanPath(base + QLatin1Char('/') + relativePath);
    if (!joined.startsWith(base + QLatin1Char('/')))
        return QString();
    return joined;
}

} // namespace BackupPaths
