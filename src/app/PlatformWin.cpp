#include "app/Platform.h"

#include <QDir>
#include <QProcess>

#include <shellapi.h>
#include <windows.h>

namespace Platform {

QString roamingFolder()
{
    QDir home = QDir::home();
    QString roaming = home.filePath(QStringLiteral("AppData/Roaming"));
    if (QDir(roaming).exists())
        return roaming;
    return home.filePath(QStringLiteral("Application Data"));
}

void openInExplorer(const QString &folder)
{
    QProcess::startDetached(QStringLiteral("explorer \"") + QDir::toNativeSeparators(folder)
                            + QStringLiteral("\""));
}

void openWithShell(const QString &path)
{
    ShellExecuteW(nullptr, L"open", reinterpret_cast<const wchar_t *>(path.utf16()), nullptr, nullptr,
                  SW_SHOW);
}

bool hardLink(const QString &existing, const QString &newPath)
{
    return CreateHardLinkW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(newPath).utf16()),
                           reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(existing).utf16()),
                           nullptr)
           != 0;
}

} // namespace Platform
