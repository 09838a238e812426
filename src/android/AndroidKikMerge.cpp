#include "android/AndroidKikMerge.h"

#include "android/AndroidKikDb.h"
#include "android/AndroidKikPaths.h"
#include "app/AppError.h"
#include "app/FileUtil.h"
#include "app/LogCategories.h"
#include "db/Sqlite3RowCopier.h"
#include "jobs/JobCancelled.h"

#include <QDateTime>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

#include <filesystem>
#include <stdexcept>
#include <vector>

namespace {

const QStringList kSideFiles{QStringLiteral("-shm"), QStringLiteral("-wal"), QStringLiteral("-journal")};

const std::pair<const char *, const char *> kMessageIndexes[] = {
    {"bt_idx_messagesTable_uid", "uid"},
    {"bt_idx_messagesTable_partner_jid", "partner_jid"},
    {"bt_idx_messagesTable_bin_id", "bin_id"},
    {"bt_idx_messagesTable_timestamp", "timestamp"}};

struct MergeEntry
{
    qint64 key = 0;
    qint64 timeMs = 0;
    bool existing = false;
    qint64 rowId = 0;
    _KikMessage *message = nullptr;
};

// Entries close in key (10) and time (60 s) keep their key order; all
// others go by time. The order is not transitive, so a merge sort is used:
// it only compares inside the ranges it merges.
bool entryLess(const MergeEntry &a, const MergeEntry &b)
{
    const quint64 keyDiff = a.key > b.key ? quint64(a.key) - quint64(b.key) : quint64(b.key) - quint64(a.key);
    const quint64 msDiff =
        a.timeMs > b.timeMs ? quint64(a.timeMs) - quint64(b.timeMs) : quint64(b.timeMs) - quint64(a.timeMs);
    if (keyDiff <= 10 && msDiff / 1000 <= 60)
        return a.key < b.key;
    return a.timeMs < b.timeMs;
}

void mergeSort(std::vector<MergeEntry> &items)
{
    const size_t n = items.size();
    std::vector<MergeEntry> other(n);
    for (size_t width = 1; width < n; width *= 2) {
        for (size_t lo = 0; lo < n; lo += 2 * width) {
            const size_t mid = std::min(lo + width, n), hi = std::min(lo + 2 * width, n);
            size_t i = lo, j = mid, k = lo;
            while (i < mid && j < hi)
                other[k++] = std::move(entryLess(items[j], items[i]) ? items[j++] : items[i++]);
            while (i < mid)
                other[k++] = std::move(items[i++]);
            while (j < hi)
                other[k++] = std::move(items[j++]);
        }
        items.swap(other);
    }
}

void removeWithSideFiles(const QString &path)
{
    QFile::remove(path);
    for (const QString &suffix : kSideFiles)
        QFile::remove(path + suffix);
}

qint64 fileSize(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() ? info.size() : 0;
}

int countRows(AndroidKikDb &db, const char *sql)
{
    Sqlite3Cursor c = db.queryThrow(Sqlite3Sql(sql));
    return c.moveNext() ? int(c.int64At(0)) : 0;
}

void copyWorkFile(const QString &from, const QString &to)
{
    if (!QFile::copy(from, to)) {
        QFile source(from);
        throw AppError(QStringLiteral("Can not copy %1. %2")
                           .arg(from, source.exists() ? QStringLiteral("copy failed")
                                                      : QStringLiteral("file not found")));
    }
}

// A phone in WAL mode may hold its newest rows only in the -wal file, and a
// hot journal must be rolled back: both travel with a copy of the database.
void copyWithSideFiles(const QString &from, const QString &to)
{
    copyWorkFile(from, to);
    for (const QString &suffix : {QStringLiteral("-wal"), QStringLiteral("-journal")}) {
        if (fileSize(from + suffix) > 0)
            copyWorkFile(from + suffix, to + suffix);
    }
}

// Empties the work copy's message table before the adapter opens it: our
// own message indexes go first, so that neither the delete has to maintain
// them nor the adapter builds them over rows that are about to go.
void emptyMessageTable(const QString &work)
{
    Sqlite3DB raw;
    raw.openThrow(work, Sqlite3DB::ReadWrite);
    raw.executeThrow("PRAGMA synchronous=OFF");
    for (const auto &index : kMessageIndexes)
        raw.executeThrow(QStringLiteral("DROP INDEX IF EXISTS [%1]").arg(QString::fromLatin1(index.first)));
    raw.executeThrow("DELETE FROM [messagesTable]");
    QString ignored;
    raw.exec(QStringLiteral("UPDATE [sqlite_sequence] SET [seq]=0 WHERE [name]='messagesTable'"), ignored);
    raw.executeThrow("VACUUM");
    raw.close();
}

void flushToDisk(const QString &path)
{
    QFile file(path);
    bool flushed = file.open(QIODevice::ReadWrite);
#ifdef Q_OS_WIN
    flushed = flushed && ::_commit(file.handle()) == 0;
#else
    flushed = flushed && ::fsync(file.handle()) == 0;
#endif
    if (!flushed)
        throw AppError(QStringLiteral("write %1 error. %2").arg(path, file.errorString()));
}

// Puts the merged work copy in the place of the tree's database. The old
// side files are first moved aside (a stale -wal beside the new file would
// be replayed into it) and come back when the rename fails, so the tree's
// database is either the old one, whole, or the new one.
void replaceDatabase(const QString &work, const QString &cached)
{
    flushToDisk(work);
    QList<std::pair<QString, QString>> aside;
    const auto restore = [&aside] {
        for (const auto &[from, to] : std::as_const(aside))
            QFile::rename(to, from);
    };
    for (const QString &suffix : kSideFiles) {
        const QString from = cached + suffix, to = work + QStringLiteral("-old") + suffix;
        if (!QFileInfo::exists(from))
            continue;
        QFile::remove(to);
        if (!QFile::rename(from, to)) {
            restore();
            throw AppError(QStringLiteral("cant rename %1 to %2.").arg(from, to));
        }
        aside.append({from, to});
    }
    std::error_code error;
    std::filesystem::rename(std::filesystem::path(work.toStdWString()),
                            std::filesystem::path(cached.toStdWString()), error);
    if (error) {
        restore();
        throw AppError(QStringLiteral("cant rename %1 to %2.").arg(work, cached));
    }
    for (const auto &[from, to] : std::as_const(aside))
        QFile::remove(to);
    for (const QString &suffix : kSideFiles) {
        if (fileSize(work + suffix) > 0 && !QFile::rename(work + suffix, cached + suffix))
            throw AppError(QStringLiteral("cant rename %1 to %2.").arg(work + suffix, cached + suffix));
        QFile::remove(work + suffix);
    }
}

} // namespace

QString androidThumbName(const QString &value)
{
    return AndroidKikPaths::safeName(value);
}

AndroidMergeResult mergeIntoAndroidTree(const QDir &root, const KikMessageList &messages,
                                        const AndroidMergeHooks &hooks)
{
    AndroidMergeResult result;
    const QString cached = AndroidKikPaths::databasePath(root);
    result.databasePath = cached;
    const QString thumbs = root.absoluteFilePath(QString::fromLatin1(AndroidKikPaths::kThumbsFolder));
    QDir().mkpath(thumbs);

    const QString work = cached + QString::number(QDateTime::currentMSecsSinceEpoch());
    // The phone's rows are read from a second copy: opening the tree's own
    // file would let SQLite fold a -wal file into it or roll a hot journal
    // back, changing it even when the merge then fails.
    const QString snapshot = work + QStringLiteral("-phone");
    removeWithSideFiles(work);
    removeWithSideFiles(snapshot);
    AndroidKikDb db(root, work);
    QList<AndroidUploadItem> thumbUploads;
    QHash<QString, QString> copiedThumbs; // target -> the file last copied there
    try {
        copyWithSideFiles(cached, work);
        copyWithSideFiles(cached, snapshot);
        emptyMessageTable(work);
        db.ensureOpen();
        // Room for the rebuilt table and its indexes, so that the bulk
        // insert does not spill pages to disk halfway.
        db.executeThrow("PRAGMA cache_size=-32768");
        // The work copy is thrown away on any failure, so its writes need
        // not reach the disk one by one; it is flushed once before it
        // takes the place of the tree's database.
        db.executeThrow("PRAGMA synchronous=OFF");
        db.executeThrow(
            Sqlite3Sql("ATTACH DATABASE ? AS phone").addTextParam(QDir::toNativeSeparators(snapshot)));
        result.phoneMessagesBefore = countRows(db, "select count(*) from phone.messagesTable");

        std::vector<MergeEntry> entries;
        entries.reserve(size_t(result.phoneMessagesBefore) + size_t(messages.size()));
        // The phone's uids: a new message whose uid the phone holds is never
        // written, whichever of the two sorts first, so the phone's row stays.
        QSet<QString> phoneUids;
        {
            Sqlite3Cursor c = db.queryThrow("select _id, timestamp, uid from phone.messagesTable");
            while (c.moveNext()) {
                if (!c.isNullAt(2))
                    phoneUids.insert(c.textAt(2));
                MergeEntry e;
                e.key = e.rowId = c.int64At(0);
                e.timeMs = c.int64At(1);
                e.existing = true;
                entries.push_back(e);
            }
        }
        for (_KikMessage *m : messages) {
            MergeEntry e;
            e.message = m;
            e.key = m ? m->sort_key : 0;
            e.timeMs = m && m->ts.isValid() ? m->ts.toMSecsSinceEpoch() : 0;
            entries.push_back(e);
        }
        mergeSort(entries);

        QStringList columns;
        for (const _SqliteCol &col : db.tbCols(QStringLiteral("messagesTable"))) {
            if (col.name.compare(QLatin1String("_id"), Qt::CaseInsensitive) != 0)
                columns << QLatin1Char('[') + col.name + QLatin1Char(']');
        }
        // The work copy's message table is empty now, so the uids written
        // during this merge are exactly those it holds: they are tracked
        // here instead of being looked up row by row. A message without uid
        // has no key to compare and is always written. Every row of the
        // phone is written back, even one whose uid another phone row
        // shares: the phone's history is never thinned out.
        QSet<QString> written = std::move(phoneUids);
        const auto firstTime = [&written](const QString &uid) {
            if (uid.isEmpty())
                return true;
            if (written.contains(uid))
                return false;
            written.insert(uid);
            return true;
        };
        // Our own message indexes are rebuilt once after the bulk insert,
        // which is much cheaper than keeping them up to date row by row.
        for (const auto &index : kMessageIndexes)
            db.executeThrow(
                QStringLiteral("DROP INDEX IF EXISTS [%1]").arg(QString::fromLatin1(index.first)));

        Sqlite3Transaction transaction(db);
        // Rows of the attached phone.messagesTable go into main.messagesTable
        // (every column but _id) in the order asked.
        const QString list = columns.join(QLatin1Char(','));
        QStringList marks;
        for (qsizetype i = 0; i < columns.size(); ++i)
            marks << QStringLiteral("?");
        Sqlite3RowCopier phoneRows(
            db, QStringLiteral("SELECT _id,%1 FROM phone.messagesTable ORDER BY _id").arg(list),
            QStringLiteral("INSERT INTO main.messagesTable(%1) VALUES(%2)")
                .arg(list, marks.join(QLatin1Char(','))),
            QStringLiteral(
                "INSERT INTO main.messagesTable(%1) SELECT %1 FROM phone.messagesTable WHERE _id=?")
                .arg(list),
            QStringLiteral("Cannot copy the phone's messages: %1"),
            QStringLiteral("Cannot read the phone's messages: %1"));
        QSet<const _KikUser *> usersDone;
        const qsizetype total = qsizetype(entries.size());
        int lastPercent = -1;
        for (qsizetype n = 0; n < total; ++n) {
            if (hooks.cancelled && hooks.cancelled())
                throw JobCancelled();
            const int percent = int(n * 99 / total);
            if (hooks.progress && percent != lastPercent)
                hooks.progress(lastPercent = percent);
            const MergeEntry &e = entries[size_t(n)];
            if (e.existing) {
                phoneRows.copy(e.rowId);
                continue;
            }
            _KikMessage *m = e.message;
            if (!m || !m->chat || !m->chat->user) {
                qCDebug(lcAndroid, "skip invalid message, !msg || !msg->chat || !msg->chat->user");
                continue;
            }
            _KikUser *user = m->chat->user;
            if (!usersDone.contains(user)) {
                usersDone.insert(user);
                if (db.findUserIdByJid(user->jid) == 0)
                    db.insertUserThrow(user);
                for (const _KikMember &member : std::as_const(user->members))
                    db.insertMemberThrow(member);
            }
            if (firstTime(m->uid)) {
                db.insertMsgThrow(m);
                ++result.inserted;
            }
            db.insertAttachmentsThrow(m);
            const std::pair<const QString *, const char *> thumbsOf[] = {
                {&m->preview_path, "image:preview"},
                {&m->icon_path, "image:icon"},
                {&m->png_preview_path, "image:png-preview"},
            };
            for (const auto &[local, key] : thumbsOf) {
                if (local->isEmpty())
                    continue;
                const QString name =
                    androidThumbName(m->attachment.value(QString::fromLatin1(key)).toString());
                if (name.isEmpty() || fileSize(*local) <= 0)
                    continue;
                const QString target = thumbs + QLatin1Char('/') + name;
                // Many messages share a thumbnail: a target that already
                // holds a copy of this very file is not copied again.
                const auto copied = copiedThumbs.constFind(target);
                if (copied != copiedThumbs.cend() && *copied == *local) {
                    thumbUploads.append(
                        {*local, QString::fromLatin1(AndroidKikPaths::kPhoneThumbsFolder) + name, false});
                    continue;
                }
                copiedThumbs.insert(target, *local);
                if (QFileInfo(target).absoluteFilePath() != QFileInfo(*local).absoluteFilePath()) {
                    QFile::remove(target);
                    if (!QFile::copy(*local, target))
                        qCWarning(lcAndroid).noquote() << "cannot copy thumbnail" << *local;
                }
                thumbUploads.append(
                    {*local, QString::fromLatin1(AndroidKikPaths::kPhoneThumbsFolder) + name, false});
            }
        }
        phoneRows.finish();
        for (const auto &[name, column] : kMessageIndexes)
            db.executeThrow(QStringLiteral("CREATE INDEX %1 ON messagesTable(%2)")
                                .arg(QString::fromLatin1(name), QString::fromLatin1(column)));
        transaction.commit();
        result.phoneMessagesAfter = countRows(db, "select count(*) from main.messagesTable");
        db.executeThrow("DETACH DATABASE phone");
        db.close();
        removeWithSideFiles(snapshot);
        replaceDatabase(work, cached);
    } catch (...) {
        db.close();
        removeWithSideFiles(work);
        removeWithSideFiles(snapshot);
        throw;
    }

    result.uploads = thumbUploads;
    const QString phoneDb =
        QString::fromLatin1(AndroidKikPaths::kPhoneDatabaseFolder) + QFileInfo(cached).fileName();
    result.uploads.append({cached, phoneDb, true});
    for (const QString &suffix : kSideFiles) {
        if (fileSize(cached + suffix) > 0)
            result.uploads.append({cached + suffix, phoneDb + suffix, true});
    }
    return result;
}
