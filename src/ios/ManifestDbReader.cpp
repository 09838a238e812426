#include "ios/ManifestDbReader.h"

#include "app/AppError.h"
#include "db/SqliteError.h"
#include "device/CFType.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>
#include <QUrl>

#include <sqlite3.h>

#include <memory>
#include <stdexcept>

namespace {

struct DbClose
{
    void operator()(sqlite3 *db) const { sqlite3_close_v2(db); }
};
struct StmtFinalize
{
    void operator()(sqlite3_stmt *s) const { sqlite3_finalize(s); }
};

[[noreturn]] void fail(sqlite3 *db, int rc, const QString &path)
{
    throw AppError(QStringLiteral("Cannot read %1. %2").arg(path, sqliteErrorText(db, rc)));
}

// Resolves a keyed-archive reference ({"CF$UID": n}) to its object.
CFType resolve(const CFType &objects, const CFType &value)
{
    quint64 index = 0;
    if (value.isUid()) {
        index = value.toUid();
    } else if (value.isDictionary() && value.count() == 1
               && value.value(QStringLiteral("CF$UID")).isNumber()) {
        // The XML form of a reference.
        const qint64 n = value.value(QStringLiteral("CF$UID")).toInt64(-1);
        if (n < 0)
            return CFType();
        index = quint64(n);
    } else {
        return value;
    }
    if (index >= quint64(objects.count()))
        return CFType();
    return objects.at(int(index));
}

std::uint32_t u32(const CFType &v)
{
    const qint64 n = v.toInt64(0);
    return n < 0 || n > 0xFFFFFFFFll ? 0 : std::uint32_t(n);
}

} // namespace

bool parseFileArchive(const QByteArray &archive, MbdbRecord &record)
{
    const CFType root = CFType::fromPlistData(archive);
    const CFType objects = root.value(QStringLiteral("$objects"));
    if (!objects.isArray())
        return false;
    CFType top = root.value(QStringLiteral("$top")).value(QStringLiteral("root"));
    const CFType file = resolve(objects, top);
    if (!file.isDictionary())
        return false;
    auto field = [&](const char *name) { return resolve(objects, file.value(QString::fromLatin1(name))); };
    record.modifiedTime = u32(field("LastModified"));
    record.createdTime = u32(field("Birth"));
    record.accessedTime = u32(field("LastStatusChange"));
    const qint64 size = field("Size").toInt64(0);
    record.fileSize = size < 0 ? 0 : std::uint64_t(size);
    record.mode = std::uint16_t(u32(field("Mode")) & 0xFFFF);
    record.userId = u32(field("UserID"));
    record.groupId = u32(field("GroupID"));
    const quint64 inode = quint64(field("InodeNumber").toInt64(0));
    record.inodeHigh = std::uint32_t(inode >> 32);
    record.inodeLow = std::uint32_t(inode & 0xFFFFFFFFu);
    record.protectionClass = std::uint8_t(u32(field("ProtectionClass")) & 0xFF);
    const CFType target = field("Target");
    if (target.isString())
        record.linkTarget = target.toQString();
    const CFType key = field("EncryptionKey");
    if (key.isDictionary())
        record.encryptionKey = resolve(objects, key.value(QStringLiteral("NS.data"))).toBytes();
    else if (key.isData())
        record.encryptionKey = key.toBytes();
    const CFType digest = field("Digest");
    if (digest.isData())
        record.dataHash = digest.toBytes();
    return true;
}

namespace {

// Reads the Files table of the database at `path`. `inPlace`: the file is
// the backup's own and is opened immutable, so that SQLite neither locks it
// nor creates "-shm"/"-wal" files in the backup folder (which may also be
// read-only).
MbdbRecordTable readFilesTable(const QString &path, bool inPlace)
{
    sqlite3 *raw = nullptr;
    int rc = SQLITE_OK;
    if (inPlace) {
        const QByteArray uri =
            QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toEncoded() + "?immutable=1";
        rc = sqlite3_open_v2(uri.constData(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
    } else {
        rc = sqlite3_open_v2(path.toUtf8().constData(), &raw, SQLITE_OPEN_READONLY, nullptr);
    }
    std::unique_ptr<sqlite3, DbClose> db(raw);
    if (rc != SQLITE_OK)
        fail(raw, rc, path);

    sqlite3_stmt *rawStmt = nullptr;
    rc = sqlite3_prepare_v2(db.get(), "SELECT fileID, domain, relativePath, flags, file FROM Files", -1,
                            &rawStmt, nullptr);
    if (rc != SQLITE_OK)
        fail(db.get(), rc, path);
    std::unique_ptr<sqlite3_stmt, StmtFinalize> stmt(rawStmt);

    auto text = [&](int col) {
        const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(stmt.get(), col));
        return p ? QString::fromUtf8(p, sqlite3_column_bytes(stmt.get(), col)) : QString();
    };

    MbdbRecordTable table;
    QSet<QString> domains; // one shared copy of each domain name
    for (;;) {
        const int step = sqlite3_step(stmt.get());
        if (step == SQLITE_DONE)
            break;
        if (step != SQLITE_ROW)
            fail(db.get(), step, path);
        MbdbRecord r;
        r.storedFileId = text(0);
        if (!isSafeFileId(r.storedFileId))
            continue;
        r.domain = *domains.insert(text(1));
        r.relativePath = text(2);
        r.flags = sqlite3_column_int(stmt.get(), 3);
        const auto *blob = static_cast<const char *>(sqlite3_column_blob(stmt.get(), 4));
        const int blobSize = sqlite3_column_bytes(stmt.get(), 4);
        if (blob && blobSize > 0)
            parseFileArchive(QByteArray::fromRawData(blob, blobSize), r);
        const QString key = r.storedFileId.toLower();
        table.insert(key, std::move(r));
    }
    return table;
}

} // namespace

MbdbRecordTable readManifestDb(const QString &path)
{
    if (!QFileInfo(path).isFile())
        throw AppError(QStringLiteral("Cannot find %1").arg(path));
    // A "-wal" file beside the database holds rows not yet written into it.
    // An immutable open would miss them, and a normal one would write to the
    // backup folder; read a copy of both instead.
    const QString wal = path + QStringLiteral("-wal");
    if (QFileInfo(wal).size() > 0) {
        QTemporaryDir temp; // removed with the copies when this returns
        const QString copy = temp.filePath(QStringLiteral("Manifest.db"));
        if (!temp.isValid() || !QFile::copy(path, copy) || !QFile::copy(wal, copy + QStringLiteral("-wal")))
            throw AppError(QStringLiteral("Cannot read %1. Cannot copy it to a temporary folder.").arg(path));
        return readFilesTable(copy, false);
    }
    return readFilesTable(path, true);
}
