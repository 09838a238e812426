#include "db/SqliteInput.h"

#include "app/AppError.h"
#include "db/Sqlite3DB.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <stdexcept>

namespace SqliteInput {

namespace {

// SQLITE_OPEN_URI: lets the file name carry "?immutable=1".
constexpr int kOpenUri = 0x40;

void copyOrThrow(const QString &from, const QString &to)
{
    // The copy is ours to write, whatever the original's permissions.
    if (!QFile::copy(from, to)
        || !QFile::setPermissions(to, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        throw AppError(QStringLiteral("Cannot read %1: making a private copy to read it failed.")
                           .arg(QDir::toNativeSeparators(from)));
}

} // namespace

bool needsPrivateCopy(const QString &file)
{
    const QFileInfo wal(file + QStringLiteral("-wal"));
    return (wal.exists() && wal.size() > 0) || QFileInfo::exists(file + QStringLiteral("-journal"));
}

void open(Sqlite3DB &db, const QString &file, const QString &privateFolder)
{
    const QFileInfo info(file);
    if (!info.isFile())
        throw AppError(QStringLiteral("unable to open database file: %1").arg(file));
    if (!needsPrivateCopy(file)) {
        // Immutable: SQLite neither locks nor creates "-shm" or "-wal".
        const QByteArray uri = QUrl::fromLocalFile(info.absoluteFilePath()).toEncoded();
        db.openThrow(QString::fromLatin1(uri) + QStringLiteral("?immutable=1"),
                     Sqlite3DB::ReadOnly | kOpenUri);
        return;
    }
    const QDir folder(privateFolder);
    if (privateFolder.isEmpty() || !QDir().mkpath(folder.absolutePath()))
        throw AppError(QStringLiteral("Cannot read %1: no private folder to copy it into.").arg(file));
    const QString copy = folder.absoluteFilePath(info.fileName());
    for (const QString &suffix :
         {QString(), QStringLiteral("-wal"), QStringLiteral("-journal"), QStringLiteral("-shm")})
        QFile::remove(copy + suffix);
    copyOrThrow(file, copy);
    for (const QString &suffix : {QStringLiteral("-wal"), QStringLiteral("-journal")}) {
        if (QFileInfo::exists(file + suffix))
            copyOrThrow(file + suffix, copy + suffix);
    }
    // Read-write so that SQLite can roll the journal back or read the log,
    // in the copy only.
    db.openThrow(copy, Sqlite3DB::ReadWrite);
    db.executeThrow(Sqlite3Sql(QStringLiteral("PRAGMA query_only=1")));
}

} // namespace SqliteInput
