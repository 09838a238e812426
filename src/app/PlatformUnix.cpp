#include "app/Platform.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QUrl>

#include <unistd.h>

namespace Platform {

QString roamingFolder()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (folder.isEmpty())
        folder = QDir::home().filePath(QStringLiteral(".local/share"));
    return folder;
}

void openInExplorer(const QString &folder)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

void openWithShell(const QString &path)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

bool hardLink(const QString &existing, const QString &newPath)
{
    return ::link(QFile::encodeName(existing).constData(), QFile::encodeName(newPath).constData()) == 0;
}

} // namespace Platform
