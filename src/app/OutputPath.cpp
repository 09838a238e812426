#include "app/OutputPath.h"

#include "app/AppError.h"
#include "app/SafeFile.h"

#include <QDir>
#include <QFileInfo>

#include <stdexcept>

namespace {

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

[[noreturn]] void refuse(const QString &text)
{
    throw AppError(text);
}

} // namespace

namespace OutputPath {

QString resolved(const QString &path)
{
    QString existing = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    QStringList missing;
    while (!QFileInfo::exists(existing)) {
        const QFileInfo info(existing);
        const QString parent = info.path();
        if (parent == existing)
            break;
        missing.prepend(info.fileName());
        existing = parent;
    }
    QString result = QFileInfo(existing).canonicalFilePath();
    if (result.isEmpty())
        result = existing;
    for (const QString &part : std::as_const(missing))
        result = QDir(result).filePath(part);
    return QDir::cleanPath(result);
}

bool isSameOrInside(const QString &path, const QString &container)
{
    const QString inner = resolved(path);
    QString outer = resolved(container);
    if (inner == outer)
        return true;
    if (!outer.endsWith(QLatin1Char('/')))
        outer += QLatin1Char('/');
    return inner.startsWith(outer);
}

void check(const QString &output, Kind kind, const QStringList &inputs)
{
    for (const QString &input : inputs) {
        if (input.isEmpty())
            continue;
        if (resolved(output) == resolved(input))
            refuse(QStringLiteral("The output %1 is an input of this command; choose another place "
                                  "for the output.")
                       .arg(native(output)));
        if (isSameOrInside(output, input))
            refuse(QStringLiteral("The output %1 lies inside the input %2; choose a place outside "
                                  "it for the output.")
                       .arg(native(output), native(input)));
    }
    const QFileInfo info(output);
    if (SafeFile::isSpecialFile(output))
        refuse(QStringLiteral("The output %1 is a device, a pipe or a socket, not a regular file.")
                   .arg(native(output)));
    if (kind == Kind::File && info.isDir())
        refuse(QStringLiteral("The output %1 is a folder; give a file name.").arg(native(output)));
    if (kind == Kind::Folder && info.exists() && !info.isDir())
        refuse(QStringLiteral("The output %1 is a file; give a folder.").arg(native(output)));
}

} // namespace OutputPath
