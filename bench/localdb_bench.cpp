// Backing up N messages in N/100 chats into a new local database, next to
// inserting the same rows with the raw SQLite API in one transaction; then
// loadAll of that database next to stepping "select *" over its five tables.
// Usage: localdb_bench [messages]   (default 1000000)
#include "BenchSupport.h"

#include "jobs/HeadlessProgress.h"
#include "jobs/JobRunner.h"
#include "model/BackupKikMessagesThread.h"
#include "model/KikLocalDb.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTimeZone>

#include <sqlite3.h>

#include <cstdio>
#include <cstring>

#include <malloc.h>

namespace {

void fill(KikDataSet &set, int messages)
{
    const int chats = qMax(1, messages / 100);
    for (int c = 0; c < chats; ++c) {
        auto ownedUser = std::make_unique<_KikUser>();
        _KikUser *user = ownedUser.get();
        user->_id = c + 1;
        user->jid = QStringLiteral("user_%1@talk.kik.com").arg(c);
        user->display_name = QStringLiteral("User %1").arg(c);
        user->user_name = QStringLiteral("user_%1").arg(c);
        set.addUser(std::move(ownedUser));
        auto ownedChat = std::make_unique<_KikChat>();
        _KikChat *chat = ownedChat.get();
        chat->_id = c + 1;
        chat->user = user;
        set.addChat(std::move(ownedChat));
    }
    const qint64 base = 1400000000000LL;
    for (int i = 0; i < messages; ++i) {
        auto ownedM = std::make_unique<_KikMessage>();
        _KikMessage *m = ownedM.get();
        m->_id = i + 1;
        m->sort_key = i + 1;
        m->uid = QStringLiteral("5f0c%1-0000-4000-8000-000000000000").arg(i, 8, 10, QLatin1Char('0'));
        m->ts = QDateTime::fromMSecsSinceEpoch(base + qint64(i) * 1000, QTimeZone::utc());
        m->body = QStringLiteral("Message number %1 with some ordinary text").arg(i);
        m->was_me = i % 2 == 0;
        m->chat = set.chat(i % chats + 1);
        if (!m->was_me)
            m->target_user = m->chat->user;
        m->chat->messages.append(m);
        set.addMessage(std::move(ownedM));
    }
}

void check(int rc, sqlite3 *db)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
        std::exit(1);
    }
}

// The same rows as the backup writes, inserted with prepared statements.
double rawInsert(const QString &file, const KikDataSet &set)
{
    QFile schema(QStringLiteral(":/res/kiklocaldb.sql"));
    schema.open(QIODevice::ReadOnly);
    const QByteArray script = schema.readAll();
    QElapsedTimer timer;
    timer.start();
    sqlite3 *db = nullptr;
    check(sqlite3_open(file.toUtf8().constData(), &db), db);
    check(sqlite3_exec(db, script.constData(), nullptr, nullptr, nullptr), db);
    check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db);
    sqlite3_stmt *user = nullptr, *chat = nullptr, *msg = nullptr, *link = nullptr;
    sqlite3_prepare_v2(db, "insert into kik_user(display_name,jid,user_name) values(?,?,?)", -1, &user,
                       nullptr);
    sqlite3_prepare_v2(db, "insert into kik_chat(user_id) values(?)", -1, &chat, nullptr);
    sqlite3_prepare_v2(db,
                       "insert into kik_message(ts,rec_ts,target_user,uid,was_me,body) "
                       "values(?,?,?,?,?,?)",
                       -1, &msg, nullptr);
    sqlite3_prepare_v2(db, "insert into kik_chat_messages(chat_id,message_id,ts) values(?,?,?)", -1, &link,
                       nullptr);
    for (const _KikUser *u : set.users) {
        const QByteArray name = u->display_name.toUtf8(), jid = u->jid.toUtf8(), un = u->user_name.toUtf8();
        sqlite3_bind_text(user, 1, name.constData(), int(name.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(user, 2, jid.constData(), int(jid.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(user, 3, un.constData(), int(un.size()), SQLITE_TRANSIENT);
        check(sqlite3_step(user), db);
        sqlite3_reset(user);
        sqlite3_bind_int64(chat, 1, sqlite3_last_insert_rowid(db));
        check(sqlite3_step(chat), db);
        sqlite3_reset(chat);
    }
    for (const _KikMessage *m : set.messages) {
        const QByteArray uid = m->uid.toUtf8(), body = m->body.toUtf8();
        const qint64 ts = m->ts.toMSecsSinceEpoch();
        sqlite3_bind_int64(msg, 1, ts);
        sqlite3_bind_int64(msg, 2, ts);
        if (m->target_user)
            sqlite3_bind_int64(msg, 3, m->target_user->_id);
        else
            sqlite3_bind_null(msg, 3);
        sqlite3_bind_text(msg, 4, uid.constData(), int(uid.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int(msg, 5, m->was_me ? 1 : 0);
        sqlite3_bind_text(msg, 6, body.constData(), int(body.size()), SQLITE_TRANSIENT);
        check(sqlite3_step(msg), db);
        sqlite3_reset(msg);
        sqlite3_bind_int64(link, 1, m->chat->_id);
        sqlite3_bind_int64(link, 2, sqlite3_last_insert_rowid(db));
        sqlite3_bind_int64(link, 3, ts);
        check(sqlite3_step(link), db);
        sqlite3_reset(link);
    }
    for (sqlite3_stmt *s : {user, chat, msg, link})
        sqlite3_finalize(s);
    check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db);
    check(sqlite3_exec(db,
                       "update kik_chat set last_ts=(select max(ts) from kik_chat_messages "
                       "where kik_chat_messages.chat_id=kik_chat._id)",
                       nullptr, nullptr, nullptr),
          db);
    sqlite3_close(db);
    return timer.elapsed() / 1000.0;
}

double rawSelect(const QString &file, qint64 &cells)
{
    QElapsedTimer timer;
    timer.start();
    sqlite3 *db = nullptr;
    check(sqlite3_open_v2(file.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr), db);
    cells = 0;
    for (const char *table :
         {"kik_user", "kik_user_members", "kik_chat", "kik_message", "kik_chat_messages"}) {
        sqlite3_stmt *stmt = nullptr;
        const QByteArray sql = QByteArray("select * from ") + table;
        sqlite3_prepare_v2(db, sql.constData(), -1, &stmt, nullptr);
        const int columns = sqlite3_column_count(stmt);
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            for (int c = 0; c < columns; ++c) {
                // Touch every value as a reader would.
                if (sqlite3_column_type(stmt, c) == SQLITE_TEXT)
                    cells += sqlite3_column_bytes(stmt, c) > 0;
                else
                    cells += sqlite3_column_int64(stmt, c) != 0;
            }
        }
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return timer.elapsed() / 1000.0;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int messages = argc > 1 ? std::atoi(argv[1]) : 1000000;
    QTemporaryDir tmp;
    std::printf("messages: %d in %d chats\n", messages, qMax(1, messages / 100));

    {
        KikDataSet set;
        fill(set, messages);
        const double raw = rawInsert(QDir(tmp.path()).filePath(QStringLiteral("raw.db")), set);

        HeadlessProgress progress;
        QElapsedTimer timer;
        timer.start();
        BackupKikMessagesThread job(set.allMessages(), QDir(tmp.path()).filePath(QStringLiteral("db")),
                                    qEnvironmentVariableIsSet("BENCH_NO_PROGRESS") ? nullptr : &progress);
        JobRunner::runToEnd(job);
        const double backup = timer.elapsed() / 1000.0;
        if (!qEnvironmentVariableIsSet("BENCH_NO_PROGRESS")
            && progress.result() != HeadlessProgress::Succeeded) {
            std::fprintf(stderr, "backup failed: %s\n", qPrintable(progress.errorText()));
            return 1;
        }
        std::printf("backup:  %.2f s   raw inserts: %.2f s   ratio %.2f (target <= 3)\n", backup, raw,
                    backup / raw);
    }

    const QString folder = QDir(tmp.path()).filePath(QStringLiteral("db"));
    qint64 cells = 0;
    const double raw = rawSelect(QDir(folder).filePath(QStringLiteral("velloran-kik.db")), cells);
    const long rssBefore = Bench::statusKiB("VmRSS:");
    const size_t heapBefore = mallinfo2().uordblks;
    QElapsedTimer timer;
    timer.start();
    KikDataSet loaded;
    {
        KikLocalDb db(folder);
        db.loadAll(loaded);
    }
    const double load = timer.elapsed() / 1000.0;
    const long rssAfter = Bench::statusKiB("VmRSS:");
    const size_t heapAfter = mallinfo2().uordblks;
    std::printf("loadAll: %.2f s   raw select *: %.2f s   ratio %.2f (target <= 3)\n", load, raw, load / raw);
    std::printf("loaded %lld messages; heap held by the data set %.0f bytes per message "
                "(RSS %ld -> %ld kB, process peak %ld kB)\n",
                qint64(loaded.messages.size()),
                double(heapAfter - heapBefore) / double(qMax<qint64>(1, loaded.messages.size())), rssBefore,
                rssAfter, Bench::statusKiB("VmHWM:"));
    return 0;
}
