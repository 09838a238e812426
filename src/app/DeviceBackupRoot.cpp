#include "app/DeviceBackupRoot.h"

#include "app/DataRoot.h"
#include "app/FileUtil.h"

#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>

namespace {

const QString kWorkFolder = QStringLiteral("__velloran_iosbk_temp");
const QString kPathFile = QStringLiteral("__velloran_iosbk_temp.path");

QString pathFile()
{
    return DataRoot::dir().filePath(kPathFile);
}

// The remembered base when it is an existing folder this user can write.
QString rememberedBase()
{
    QFile file(pathFile());
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QString text = QString::fromUtf8(file.read(4096)).trimmed();
    const QFileInfo base(text);
    if (text.isEmpty() || !base.isAbsolute() || !base.isDir() || !base.isWritable())
        return QString();
    return base.absoluteFilePath();
}

} // namespace

QDir tempBackupRoot()
{
    QString base = rememberedBase();
    if (base.isEmpty()) {
        base = DataRoot::path();
        QFile file(pathFile());
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(base.toUtf8());
    }
    return QDir(QDir(base).filePath(kWorkFolder));
}

void clearTempBackupRoot()
{
    removeTree(tempBackupRoot().absolutePath());
    QFile::remove(pathFile());
}

qint64 freeDiskSpace(const QDir &dir)
{
    const QStorageInfo storage(dir.absolutePath());
    if (!storage.isValid() || !storage.isReady())
        return -1;
    return storage.bytesAvailable();
}
