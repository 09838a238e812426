#include "cli/CliMessages.h"

#include "app/DataRoot.h"
#include "app/DiskFull.h"

#include <QRegularExpression>

QString withoutCachePaths(const QString &text)
{
    // A full disk is told with the folder that could not be written: the
    // user needs it to know which disk to free.
    if (isDiskFullMessage(text))
        return text;
    QString result = text;
    for (const QString &cache :
         {DataRoot::iosCacheFolder().absolutePath(), DataRoot::androidCacheFolder().absolutePath()}) {
        // "<cache>/<source key>/[ab-extract/]rest" becomes "rest"; the cache
        // folder alone becomes "the program's cache".
        const QRegularExpression inside(QRegularExpression::escape(cache)
                                        + QStringLiteral("/[^/\\s]+(/ab-extract)?(/|(?=[\\s.,:;)\"']|$))"));
        result.replace(inside, QString());
        result.replace(cache, QStringLiteral("the program's cache"));
    }
    return result;
}
