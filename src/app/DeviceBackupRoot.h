// The work folder for device backups: "__velloran_iosbk_temp" below a base
// folder on a volume with room for it. The base is remembered in
// "__velloran_iosbk_temp.path" in the data root; without a usable one the
// data root itself is the base.
#pragma once

#include <QDir>
#include <QString>

QDir tempBackupRoot();
// Removes the work folder with everything in it and forgets the base.
void clearTempBackupRoot();
// Bytes free for this user on the folder's volume; -1 when unknown.
qint64 freeDiskSpace(const QDir &dir);
