// Merging N new messages into a Kik Android database that holds N, beside
// raw SQLite inserts of 2N rows into the same table in one transaction.
// Usage: android_merge_bench [N] (default 100000).
#include "android/AndroidKikMerge.h"
#include "app/Locale.h"
#include "model/KikDataSet.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <cstdio>
#include <sys/resource.h>

namespace {

const char *kSchema =
    "CREATE TABLE messagesTable (_id INTEGER PRIMARY KEY AUTOINCREMENT, body VARCHAR, partner_jid VARCHAR,"
    " was_me INT, read_state INT, uid VARCHAR, length INTEGER, timestamp LONG, bin_id VARCHAR, sys_msg "
    "VARCHAR,"
    " stat_msg VARCHAR, stat_user_jid VARCHAR, stat_special_visibility BOOLEAN, req_read_reciept BOOLEAN,"
    " content_id VARCHAR, app_id VARCHAR, message_retry_count INT, encryption_failure BOOLEAN,"
    " render_instructions VARCHAR, encryption_key BLOB);"
    "CREATE TABLE KIKcontactsTable (_id INTEGER PRIMARY KEY AUTOINCREMENT, jid VARCHAR, display_name VARCHAR,"
    " local_name VARCHAR, user_name VARCHAR, in_roster BOOLEAN, photo_url VARCHAR, photo_timestamp VARCHAR,"
    " is_stub BOOLEAN, is_group BOOLEAN, is_blocked BOOLEAN, is_ignored BOOLEAN, pending_convo_clear BOOLEAN,"
    " pending_in_roster BOOLEAN, pending_is_blocked BOOLEAN, roster_operation_attempts INT, verified BOOLEAN,"
    " public_key BLOB, is_public_key_resolved BOOLEAN, is_user_admin BOOLEAN, group_hashtag VARCHAR,"
    " is_user_removed BOOLEAN, content_links BLOB);"
    "CREATE TABLE memberTable (_id INTEGER PRIMARY KEY AUTOINCREMENT, group_id VARCHAR, member_jid VARCHAR,"
    " is_admin BOOLEAN, is_banned BOOLEAN);"
    "CREATE TABLE KIKContentTable (_id INTEGER PRIMARY KEY AUTOINCREMENT, content_id VARCHAR, content_type "
    "INT,"
    " content_name VARCHAR, content_string VARCHAR);"
    "CREATE TABLE KIKContentURITable (_id INTEGER PRIMARY KEY AUTOINCREMENT, content_id VARCHAR,"
    " priority VARCHAR, platform VARCHAR, content_uri VARCHAR, type VARCHAR, byline VARCHAR);"
    "CREATE TABLE KIKContentRetainCountTable (_id INTEGER PRIMARY KEY AUTOINCREMENT, content_id VARCHAR,"
    " retain_count INT);"
    "CREATE TABLE KIKConversationStatusTable (_id INTEGER PRIMARY KEY AUTOINCREMENT, jid VARCHAR,"
    " is_muted BOOLEAN, unmute_timestamp LONG, is_dirty BOOLEAN);";

constexpr qint64 T0 = 1500000000000;

// CPU seconds (user and system) of this process so far: unlike the wall
// clock, not stretched by other work on a busy machine.
double cpuSeconds()
{
    struct rusage usage
    {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
           + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void insertRows(sqlite3 *db, int count, int offset)
{
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt *stmt = nullptr;
    sqlite3_prepare_v2(
        db,
        "INSERT INTO messagesTable (uid, body, partner_jid, was_me, read_state, length, timestamp,"
        " bin_id, req_read_reciept) VALUES (?,?,?,0,500,12,?,?,1)",
        -1, &stmt, nullptr);
    for (int i = 0; i < count; ++i) {
        const QByteArray uid = "phone-" + QByteArray::number(offset + i);
        const QByteArray jid = "friend" + QByteArray::number(i % 50) + "@talk.kik.com";
        sqlite3_bind_text(stmt, 1, uid.constData(), int(uid.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(stmt, 2, "message text", -1, SQLITE_STATIC);
        sqlite3_bind_text(stmt, 3, jid.constData(), int(jid.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int64(stmt, 4, T0 + qint64(offset + i) * 2000);
        sqlite3_bind_text(stmt, 5, jid.constData(), int(jid.size()), SQLITE_TRANSIENT);
        sqlite3_step(stmt);
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
}

void makeDatabase(const QString &path, int rows)
{
    sqlite3 *db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr);
    for (int i = 0; i < 50; ++i) {
        const QByteArray sql = "INSERT INTO KIKcontactsTable (jid, display_name) VALUES ('friend"
                               + QByteArray::number(i) + "@talk.kik.com', 'F')";
        sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr);
    }
    if (rows > 0)
        insertRows(db, rows, 0);
    sqlite3_close(db);
}

} // namespace

int main(int argc, char **argv)
{
    setUtf8Locale();
    const int n = argc > 1 ? QByteArray(argv[1]).toInt() : 100000;
    QTemporaryDir work;
    const QString root = work.filePath(QStringLiteral("tree"));
    QDir().mkpath(root + QStringLiteral("/apps/kik.android/db"));
    makeDatabase(root + QStringLiteral("/apps/kik.android/db/kikDatabase.db"), n);

    // The baseline: 2N raw inserts into an empty copy of the schema.
    const QString rawPath = work.filePath(QStringLiteral("raw.db"));
    makeDatabase(rawPath, 0);
    sqlite3 *raw = nullptr;
    sqlite3_open(rawPath.toUtf8().constData(), &raw);
    QElapsedTimer timer;
    timer.start();
    double cpu = cpuSeconds();
    insertRows(raw, 2 * n, 0);
    const double rawSeconds = double(timer.nsecsElapsed()) / 1e9;
    const double rawCpu = cpuSeconds() - cpu;
    sqlite3_close(raw);

    // N new messages from another source, spread across 50 chats.
    KikDataSet data;
    QList<_KikChat *> chats;
    for (int i = 0; i < 50; ++i) {
        auto ownedUser = std::make_unique<_KikUser>();
        _KikUser *user = ownedUser.get();
        user->_id = i + 1;
        user->jid = QStringLiteral("friend%1@talk.kik.com").arg(i);
        data.addUser(std::move(ownedUser));
        auto ownedChat = std::make_unique<_KikChat>();
        _KikChat *chat = ownedChat.get();
        chat->_id = i + 1;
        chat->user = user;
        chats.append(data.addChat(std::move(ownedChat)));
    }
    KikMessageList messages;
    for (int i = 0; i < n; ++i) {
        auto ownedM = std::make_unique<_KikMessage>();
        _KikMessage *m = ownedM.get();
        m->_id = i + 1;
        m->sort_key = 1000000 + i;
        m->uid = QStringLiteral("ios-%1").arg(i);
        m->ts = QDateTime::fromMSecsSinceEpoch(T0 + qint64(i) * 2000 + 1000, Qt::UTC);
        m->body = QStringLiteral("message text");
        m->chat = chats[i % 50];
        messages.append(data.addMessage(std::move(ownedM)));
    }
    timer.restart();
    cpu = cpuSeconds();
    const AndroidMergeResult result = mergeIntoAndroidTree(QDir(root), messages);
    const double mergeSeconds = double(timer.nsecsElapsed()) / 1e9;
    const double mergeCpu = cpuSeconds() - cpu;
    std::printf("merge %d into %d: %.2f s (rows after %d) | raw inserts of %d rows: %.2f s | ratio %.2fx"
                " (target at most 3x)\n",
                n, n, mergeSeconds, result.phoneMessagesAfter, 2 * n, rawSeconds, mergeSeconds / rawSeconds);
    std::printf("cpu time: merge %.2f s | raw inserts %.2f s | ratio %.2fx\n", mergeCpu, rawCpu,
                mergeCpu / rawCpu);
    return 0;
}
