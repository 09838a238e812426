#include "app/FileUtil.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

namespace {

bool isReservedDeviceName(const QString &base)
{
    static const QStringList reserved = {
        QStringLiteral("CON"),  QStringLiteral("PRN"),  QStringLiteral("AUX"),  QStringLiteral("CLOCK$"),
        QStringLiteral("NUL"),  QStringLiteral("COM1"), QStringLiteral("COM2"), QStringLiteral("COM3"),
        QStringLiteral("COM4"), QStringLiteral("COM5"), QStringLiteral("COM6"), QStringLiteral("COM7"),
        QStringLiteral("COM8"), QStringLiteral("COM9"), QStringLiteral("LPT1"),
    };
    return reserved.contains(base, Qt::CaseInsensitive);
}

} // namespace

QString sanitiseFileName(const QString &name)
{
    const QString base = name.section(QLatin1Char('.'), 0, 0);
    const QString suffix = name.contains(QLatin1Char('.')) ? name.section(QLatin1Char('.'), -1) : QString();
    if (isReservedDeviceName(base)) {
        QString result = QStringLiteral("$$") + base + QStringLiteral("$$");
        if (!suffix.isEmpty())
            result += QLatin1Char('.') + suffix;
        return result;
    }
    // NUL and every other control character go too: the system would cut
    // the name at a NUL, and the others make names no one can type.
    static const QRegularExpression invalid(QStringLiteral("[\\\\/:*\\?\"<>|\\x{0}-\\x{1f}\\x{7f}-\\x{9f}]"));
    QString result = name;
    result.remove(invalid);
    return result.trimmed();
}

QString shortenFileName(const QString &name, int maxBytes)
{
    if (name.toUtf8().size() <= maxBytes)
        return name;
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString suffix = dot > 0 && name.size() - dot <= 16 ? name.mid(dot) : QString();
    QString base = name.left(name.size() - suffix.size());
    const int room = maxBytes - int(suffix.toUtf8().size());
    // Cut whole characters (never half a surrogate pair) until it fits.
    while (!base.isEmpty() && base.toUtf8().size() > room) {
        base.chop(1);
        if (!base.isEmpty() && base.back().isHighSurrogate())
            base.chop(1);
    }
    return base.trimmed() + suffix;
}

QString uniqueFilePath(const QString &path)
{
    if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
        return path;
    const QFileInfo info(path);
    const QDir folder = info.dir();
    const QString base = info.completeBaseName();
    const QString suffix = info.suffix();
    for (qint64 n = 1;; ++n) {
        QString name = QStringLiteral("%1(%2)").arg(base).arg(n);
        if (!suffix.isEmpty())
            name += QLatin1Char('.') + suffix;
        const QString candidate = folder.filePath(name);
        if (!QFileInfo::exists(candidate) && !QFileInfo(candidate).isSymLink())
            return candidate;
    }
}

void removeTree(const QString &folder)
{
    QDir dir(folder);
    if (!dir.exists())
        return;
    const QFileInfoList entries = dir.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QFileInfo &entry : entries) {
        // A link is removed itself; what it points to is never touched.
        if (entry.isDir() && !entry.isSymLink())
            removeTree(entry.absoluteFilePath());
        else
            QFile::remove(entry.absoluteFilePath());
    }
    dir.rmdir(dir.absolutePath());
}

QString safeLeafName(const QString &name)
{
    QString leaf = name;
    leaf.replace(QLatin1Char('\\'), QLatin1Char('/'));
    leaf = leaf.section(QLatin1Char('/'), -1);
    leaf.remove(QChar(0));
    leaf = sanitiseFileName(leaf);
    if (leaf == QLatin1String(".") || leaf == QLatin1String(".."))
        return QString();
    return leaf;
}
