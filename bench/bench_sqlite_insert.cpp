// Inserts 1,000,000 rows through Sqlite3Row::insertSql in one transaction and
// the same rows with the raw SQLite API, and prints both times and their
// ratio (target: the wrapper costs at most 1.5x the raw API).
#include "db/Sqlite3DB.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>

namespace {

constexpr const char *kSchema =
    "create table kik_message(_id INTEGER PRIMARY KEY AUTOINCREMENT, ts LONG, rec_ts LONG, "
    "target_user INTEGER, uid VARCHAR, was_me BOOLEAN, body TEXT, app_id VARCHAR)";

QString uidFor(int i)
{
    return QStringLiteral("%1-4c1d-9a7e-%2")
        .arg(i, 8, 16, QLatin1Char('0'))
        .arg(i * 7, 12, 16, QLatin1Char('0'));
}

double runWrapper(const QString &path, int rows)
{
    Sqlite3DB db;
    db.openThrow(path, Sqlite3DB::ReadWriteCreate);
    db.executeThrow(kSchema);
    QElapsedTimer timer;
    timer.start();
    db.beginTran();
    for (int i = 0; i < rows; ++i) {
        Sqlite3Row row;
        row.setVal(QStringLiteral("ts"), qint64(1500000000000) + i);
        row.setVal(QStringLiteral("rec_ts"), qint64(1500000000000) + i);
        row.setVal(QStringLiteral("target_user"), qint64(i % 1000 + 1));
        row.setVal(QStringLiteral("uid"), uidFor(i));
        row.setVal(QStringLiteral("was_me"), i % 2);
        row.setVal(QStringLiteral("body"), QStringLiteral("message body number %1").arg(i));
        db.executeThrow(row.insertSql(QStringLiteral("kik_message")));
    }
    db.commitTran();
    return double(timer.nsecsElapsed()) / 1e9;
}

double runRaw(const QString &path, int rows)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr);
    QElapsedTimer timer;
    timer.start();
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt *stmt = nullptr;
    sqlite3_prepare_v2(db,
                       "insert into kik_message(ts,rec_ts,target_user,uid,was_me,body) "
                       "values(?,?,?,?,?,?)",
                       -1, &stmt, nullptr);
    for (int i = 0; i < rows; ++i) {
        // The raw loop converts the same Qt texts to UTF-8, as any Qt caller must.
        const QByteArray uid = uidFor(i).toUtf8();
        const QByteArray body = QStringLiteral("message body number %1").arg(i).toUtf8();
        sqlite3_bind_int64(stmt, 1, 1500000000000 + i);
        sqlite3_bind_int64(stmt, 2, 1500000000000 + i);
        sqlite3_bind_int64(stmt, 3, i % 1000 + 1);
        sqlite3_bind_text(stmt, 4, uid.constData(), int(uid.size()), SQLITE_STATIC);
        sqlite3_bind_int64(stmt, 5, i % 2);
        sqlite3_bind_text(stmt, 6, body.constData(), int(body.size()), SQLITE_STATIC);
        if (sqlite3_step(stmt) != SQLITE_DONE) {
            std::fprintf(stderr, "raw insert failed: %s\n", sqlite3_errmsg(db));
            std::exit(1);
        }
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    sqlite3_close(db);
    return seconds;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? std::atoi(argv[1]) : 1000000;
    // "raw" or "wrapper" runs one side only (for instruction counts under callgrind).
    const QByteArray only = argc > 2 ? QByteArray(argv[2]) : QByteArray();
    QTemporaryDir dir;
    if (only == "raw" || only == "wrapper") {
        const double t = only == "raw" ? runRaw(dir.filePath(QStringLiteral("raw.db")), rows)
                                       : runWrapper(dir.filePath(QStringLiteral("w.db")), rows);
        std::printf("%s: %.3f s\n", only.constData(), t);
        return 0;
    }
    const double raw = runRaw(dir.filePath(QStringLiteral("raw.db")), rows);
    const double wrapped = runWrapper(dir.filePath(QStringLiteral("wrapper.db")), rows);
    std::printf("rows: %d\n", rows);
    std::printf("raw SQLite API:          %.3f s (%.0f rows/s)\n", raw, rows / raw);
    std::printf("Sqlite3Row::insertSql:   %.3f s (%.0f rows/s)\n", wrapped, rows / wrapped);
    std::printf("wrapper / raw:           %.2fx (target <= 1.50x)\n", wrapped / raw);
    return wrapped / raw <= 1.5 ? 0 : 1;
}
