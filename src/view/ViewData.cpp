#include "view/ViewData.h"

#include <QCoreApplication>
#include <QDir>
#include <QMutex>

namespace ViewData {
namespace {

QMutex &lock()
{
    static QMutex mutex;
    return mutex;
}

QString &overrideFolder()
{
    static QString folder;
    return folder;
}

} // namespace

QString programFolder()
{
    {
        QMutexLocker locker(&lock());
        if (!overrideFolder().isEmpty())
            return overrideFolder();
    }
    return QCoreApplication::applicationDirPath();
}

void setProgramFolder(const QString &folder)
{
    QMutexLocker locker(&lock());
    overrideFolder() = folder.isEmpty() ? QString() : QDir(folder).absolutePath();
}

QString dataPath(const QString &relative)
{
    return QDir(programFolder()).filePath(relative);
}

QUrl baseUrl()
{
    QString folder = programFolder();
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return QUrl::fromLocalFile(folder);
}

} // namespace ViewData
