#include "FuzzSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <memory>

namespace Fuzz {
namespace {

void dropMessage(QtMsgType, const QMessageLogContext &, const QString &) {}

QTemporaryDir &scratch()
{
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/velloran-fuzz-XXXXXX"));
    return dir;
}

} // namespace

void quietLog()
{
    static const bool installed = [] {
        qInstallMessageHandler(dropMessage);
        return true;
    }();
    (void)installed;
}

QByteArray bytes(const std::uint8_t *data, std::size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

QString scratchFolder()
{
    return scratch().path();
}

void clearScratch()
{
    QDir dir(scratchFolder());
    for (const QString &name : dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden
                                             | QDir::System)) {
        const QString path = dir.filePath(name);
        if (QFileInfo(path).isDir() && !QFileInfo(path).isSymLink())
            QDir(path).removeRecursively();
        else
            QFile::remove(path);
    }
}

} // namespace Fuzz
