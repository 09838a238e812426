#include "android/AndroidKikPaths.h"

#include "app/FileUtil.h"
#include "app/LogCategories.h"
#include "db/Sqlite3DB.h"

#include <QDebug>
#include <QFileInfo>

namespace AndroidKikPaths {

QString databasePath(const QDir &root)
{
    const QString fallback = root.absoluteFilePath(QString::fromLatin1(kDefaultDatabase));
    if (QFileInfo(fallback).isFile())
        return fallback;
    const QDir db(root.absoluteFilePath(QStringLiteral("apps/kik.android/db")));
    const QString coreDb = db.absoluteFilePath(QStringLiteral("kikCoreDatabase.db"));
    if (!QFileInfo(coreDb).isFile())
        return fallback;
    try {
        Sqlite3DB cores;
        cores.openThrow(coreDb, Sqlite3DB::ReadOnly);
        Sqlite3Cursor c = cores.queryThrow("select core_id from CoreTable where is_active=1");
        while (c.moveNext()) {
            const QString id = c.textAt(0);
            // The id becomes part of a file name here and on the phone.
            if (id.isEmpty() || safeName(id) != id)
                continue;
            const QString path = db.absoluteFilePath(id + QStringLiteral(".kikDatabase.db"));
            if (QFileInfo(path).isFile())
                return path;
        }
    } catch (const std::exception &e) {
        qCWarning(lcAndroid).noquote() << "cannot read the active Kik account:" << e.what();
    }
    return fallback;
}

QString safeName(const QString &value)
{
    QString name;
    for (const QChar c : safeLeafName(value)) {
        const bool plain = c.unicode() < 128
                           && (c.isLetterOrNumber() || c == QLatin1Char('.') || c == QLatin1Char('_')
                               || c == QLatin1Char('-'));
        if (plain && (!name.isEmpty() || (c != QLatin1Char('.') && c != QLatin1Char('-'))))
            name += c;
    }
    return name.size() > 100 ? QString() : name;
}

} // namespace AndroidKikPaths
