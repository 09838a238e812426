// Loading Kik's iOS store (N messages in C chats, a fifth of them with an
// attachment description) into a KikDataSet with IOSKikDb, next to stepping
// the same select statements with the raw SQLite API and parsing the same
// description files with libplist. Reports peak memory per message.
// Usage: ios_kik_load_bench [messages] [chats]   (default 1000000 5000)
#include "BenchSupport.h"

#include "ios/IOSKikDb.h"
#include "model/KikDataSet.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <plist/plist.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Resets the peak so that the load's own peak can be read afterwards.
void resetPeak()
{
    if (FILE *f = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", f);
        std::fclose(f);
    }
}

qint64 touchRows(sqlite3 *db, const char *sql, int contentColumn, QList<QByteArray> *contentIds)
{
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
        std::exit(1);
    }
    const int columns = sqlite3_column_count(stmt);
    qint64 cells = 0;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        for (int c = 0; c < columns; ++c) {
            switch (sqlite3_column_type(stmt, c)) {
            case SQLITE_TEXT:
            case SQLITE_BLOB:
                cells += sqlite3_column_bytes(stmt, c) > 0;
                break;
            case SQLITE_FLOAT:
                cells += sqlite3_column_double(stmt, c) != 0.0;
                break;
            default:
                cells += sqlite3_column_int64(stmt, c) != 0;
            }
        }
        const int last = contentColumn < 0 ? -1 : columns - 1;
        if (last >= 0 && sqlite3_column_type(stmt, last) == SQLITE_TEXT)
            contentIds->append(QByteArray(reinterpret_cast<const char *>(sqlite3_column_text(stmt, last)),
                                          sqlite3_column_bytes(stmt, last)));
    }
    sqlite3_finalize(stmt);
    return cells;
}

// The statements IOSKikDb runs, stepped and read with the raw API, and each
// description parsed with libplist.
double rawLoad(const QString &app, qint64 &cells, qint64 &parsed)
{
    QElapsedTimer timer;
    timer.start();
    const QByteArray store = QDir(app).filePath(QStringLiteral("Documents/kik.sqlite")).toUtf8();
    sqlite3 *db = nullptr;
    sqlite3_open_v2(store.constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    QList<QByteArray> contentIds;
    cells = 0;
    for (const char *sql :
         {"select * from Z_PRIMARYKEY", "select * from Z_9ADMINSINVERSE", "select * from Z_9BANSINVERSE",
          "select * from ZKIKUSER", "select * from Z_9MEMBERS", "select * from ZKIKCHAT"})
        cells += touchRows(db, sql, -1, nullptr);
    cells += touchRows(db,
                       "select m.*,a.ZCONTENT from ZKIKMESSAGE as m left join ZKIKATTACHMENT "
                       "as a on m.Z_PK=a.ZMESSAGE",
                       1, &contentIds);
    cells += touchRows(db, "select * from Z_4MESSAGES", -1, nullptr);
    sqlite3_close(db);
    const QString attachments = QDir(app).filePath(QStringLiteral("Documents/attachments/"));
    parsed = 0;
    for (const QByteArray &id : std::as_const(contentIds)) {
        QFile file(attachments + QString::fromUtf8(id));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray bytes = file.readAll();
        plist_t root = nullptr;
        plist_from_memory(bytes.constData(), uint32_t(bytes.size()), &root);
        if (root && plist_get_node_type(root) == PLIST_DICT)
            ++parsed;
        plist_free(root);
    }
    return timer.elapsed() / 1000.0;
}

double load(const QString &app, qint64 &count, long &peakKiB)
{
    resetPeak();
    const long before = Bench::statusKiB("VmRSS:");
    QElapsedTimer timer;
    timer.start();
    KikDataSet set;
    {
        IOSKikDb db(app);
        db.loadAll(set);
    }
    const double seconds = timer.elapsed() / 1000.0;
    peakKiB = Bench::statusKiB("VmHWM:") - before;
    count = set.messages.size();
    return seconds;
}

// Writes a fresh copy of every file of the thumbnail folder with plain file
// calls: the file-system cost that a first load pays and the raw run does not.
double plainThumbnailWrites(const QString &thumbs, const QString &into, int &files)
{
    const QStringList names = QDir(thumbs).entryList(QDir::Files);
    QList<QByteArray> contents;
    for (const QString &name : names) {
        QFile file(QDir(thumbs).filePath(name));
        contents.append(file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray());
    }
    QDir().mkpath(into);
    QElapsedTimer timer;
    timer.start();
    for (qsizetype i = 0; i < names.size(); ++i) {
        QFile file(QDir(into).filePath(names[i]));
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            file.write(contents[i]);
    }
    files = int(names.size());
    return timer.elapsed() / 1000.0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication qapp(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const int messages = argc > 1 ? std::atoi(argv[1]) : 1000000;
    const int chats = argc > 2 ? std::atoi(argv[2]) : 5000;
    QTemporaryDir tmp;
    const QString app = QDir(tmp.path()).filePath(QStringLiteral("com.kik.chat"));
    const QString script = QDir(QStringLiteral(VELLORAN_SOURCE_DIR))
                               .filePath(QStringLiteral("tests/fixtures/make_ios_kik_store.py"));
    std::printf("building a store of %d messages in %d chats...\n", messages, chats);
    std::fflush(stdout);
    if (Bench::timeProcess(QStringLiteral("/usr/bin/python3"),
                           {script, app, QDir(tmp.path()).filePath(QStringLiteral("e.json")),
                            QStringLiteral("--bulk"), QString::number(messages), QString::number(chats)})
        < 0) {
        std::fprintf(stderr, "the store builder failed\n");
        return 1;
    }

    qint64 cells = 0, parsed = 0;
    const double raw = rawLoad(app, cells, parsed);
    std::printf("raw select + libplist: %.2f s (%lld values, %lld descriptions)\n", raw,
                static_cast<long long>(cells), static_cast<long long>(parsed));

    qint64 loaded = 0;
    long peak = 0;
    const double first = load(app, loaded, peak);
    std::printf("IOSKikDb::loadAll, thumbnails written: %.2f s  ratio %.2f (target <= 3)\n", first,
                first / raw);
    std::printf("  %lld messages, peak memory %.1f MiB = %.0f bytes per message\n",
                static_cast<long long>(loaded), peak / 1024.0, loaded ? peak * 1024.0 / double(loaded) : 0.0);
    int files = 0;
    const double plain = plainThumbnailWrites(QDir(app).filePath(QStringLiteral("thumbs")),
                                              QDir(tmp.path()).filePath(QStringLiteral("plain")), files);
    std::printf("plain writes of the same %d thumbnail files: %.2f s; first load against raw run "
                "plus these writes: ratio %.2f\n",
                files, plain, first / (raw + plain));
    const double second = load(app, loaded, peak);
    std::printf("IOSKikDb::loadAll, thumbnails present: %.2f s  ratio %.2f\n", second, second / raw);
    const double rawAgain = rawLoad(app, cells, parsed);
    std::printf("raw select + libplist again: %.2f s\n", rawAgain);
    return loaded == messages ? 0 : 1;
}
