#include "android/AndroidShell.h"

#include "app/AppError.h"

#include <stdexcept>

namespace AndroidShell {

namespace {

QString singleQuoted(const QString &text)
{
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

} // namespace

QString quote(const QString &path)
{
    if (path.isEmpty())
        throw AppError("An empty path cannot be used on the phone.");
    for (const QChar c : path) {
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QChar(0))
            throw AppError(
                QStringLiteral(
                    "The path %1 holds a line break or a zero character and cannot be used on the phone.")
                    .arg(QString(path)
                             .replace(QLatin1Char('\n'), QLatin1String("\\n"))
                             .replace(QLatin1Char('\r'), QLatin1String("\\r"))
                             .remove(QChar(0))));
    }
    return singleQuoted(path);
}

QString copyCommand(const QString &source, const QString &destination)
{
    return QStringLiteral("dd if=%1 of=%2").arg(quote(source), quote(destination));
}

QString chmodCommand(const QString &path)
{
    return QStringLiteral("chmod 777 %1").arg(quote(path));
}

QString suWrapped(const QString &command)
{
    if (command.contains(QLatin1Char('\n')) || command.contains(QLatin1Char('\r'))
        || command.contains(QChar(0)))
        throw AppError("A superuser command must be one line.");
    return QStringLiteral("su -c ") + singleQuoted(command);
}

} // namespace AndroidShell
