#include "app/DataRoot.h"

#include "app/AppInfo.h"
#include "app/Platform.h"

#include <QFile>
#include <QFileInfo>
#include <QMutex>

namespace DataRoot {
namespace {

QMutex &lock()
{
    static QMutex mutex;
    return mutex;
}

QString &overridePath()
{
    static QString value;
    return value;
}

QString &cachedPath()
{
    static QString value;
    return value;
}

} // namespace

void setOverride(const QString &folder)
{
    QMutexLocker locker(&lock());
    overridePath() = folder.isEmpty() ? QString() : QFileInfo(folder).absoluteFilePath();
    cachedPath().clear();
}

void applyEnvironment()
{
    const QString env = qEnvironmentVariable("VELLORAN_DATA_ROOT");
    bool hasOverride;
    {
        QMutexLocker locker(&lock());
        hasOverride = !overridePath().isEmpty();
    }
    if (!env.isEmpty() && !hasOverride)
        setOverride(env);
}

QString computeFrom(const QString &roamingFolder)
{
    const QString productId = QString::fromLatin1(AppInfo::kProductId);
    const QString velloran = QDir(roamingFolder).filePath(QStringLiteral("Velloran"));
    QString base = velloran;
    QFile redirect(QDir(velloran).filePath(productId + QStringLiteral(".redirect")));
    if (redirect.open(QIODevice::ReadOnly)) {
        const QString target = QString::fromUtf8(redirect.readAll()).trimmed();
        if (!target.isEmpty() && QFileInfo::exists(target))
            base = target;
    }
    return QDir(base).filePath(productId);
}

QString path()
{
    QMutexLocker locker(&lock());
    if (cachedPath().isEmpty()) {
        cachedPath() = overridePath().isEmpty() ? computeFrom(Platform::roamingFolder()) : overridePath();
    }
    QDir().mkpath(cachedPath());
    return cachedPath();
}

QDir dir()
{
    return QDir(path());
}

QDir subFolder(const QString &name)
{
    QDir root = dir();
    root.mkpath(name);
    return QDir(root.filePath(name));
}

QDir logFolder()
{
    return subFolder(QStringLiteral("qlogs"));
}
QDir localDatabaseFolder()
{
    return subFolder(QStringLiteral("local_databases"));
}
QDir iosCacheFolder()
{
    return subFolder(QStringLiteral("ios_cache"));
}
QDir androidCacheFolder()
{
    return subFolder(QStringLiteral("android_cache"));
}

} // namespace DataRoot
