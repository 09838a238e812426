#include "android/AndroidRootFiles.h"

#include "android/AndroidChannel.h"
#include "android/AndroidShell.h"

#include <QFileInfo>

namespace AndroidRootFiles {

void prepareStaging(AndroidChannel &channel, const QString &staging)
{
    const QString folder = AndroidShell::quote(staging);
    channel.suCommand(QStringLiteral("rm -fr %1").arg(folder));
    channel.suCommand(QStringLiteral("mkdir -p %1").arg(folder));
}

bool removeStaging(AndroidChannel &channel, const QString &staging)
{
    try {
        channel.suCommand(QStringLiteral("rm -fr %1").arg(AndroidShell::quote(staging)));
    } catch (...) {
        // The phone may be gone; the copies then go with the next load.
        return false;
    }
    try {
        // The parent ("Kik") only when nothing else is in it.
        channel.suCommand(QStringLiteral("rmdir %1").arg(AndroidShell::quote(QFileInfo(staging).path())));
    } catch (...) {
    }
    return true;
}

void handToKik(AndroidChannel &channel, const QString &phonePath)
{
    const QString path = AndroidShell::quote(phonePath);
    const QString owner =
        QStringLiteral("$(stat -c %u:%g %1)").arg(AndroidShell::quote(QString::fromLatin1(kKikDataFolder)));
    channel.suCommand(QStringLiteral("chown %1 %2").arg(owner, path));
    channel.suCommand(QStringLiteral("restorecon %1").arg(path));
}

} // namespace AndroidRootFiles
