// Prepared statements shared between a connection and its cursors.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>

#include <memory>

struct sqlite3;
struct sqlite3_stmt;

namespace sqlite_detail {

// Idle prepared statements of one connection, keyed by SQL text, so that
// repeated statements (bulk inserts) are not prepared again.
class StatementCache
{
public:
    explicit StatementCache(sqlite3 *db) : m_db(db) {}
    ~StatementCache();

    // An idle statement for the text, or nullptr.
    sqlite3_stmt *take(const QByteArray &sql);
    // Returns a statement after use: kept when there is room, else finalized.
    void give(const QByteArray &sql, sqlite3_stmt *stmt);
    void clear();
    sqlite3 *db() const { return m_db; }

private:
    // One cached statement per text; `busy` while a caller uses it, so that a
    // nested use of the same text prepares a second statement instead.
    struct Entry
    {
        sqlite3_stmt *stmt = nullptr;
        bool busy = false;
    };
    static constexpr int kMaxCached = 128;
    sqlite3 *m_db;
    QHash<QByteArray, Entry> m_entries;
};

// One statement in use, with the bytes bound to it. Returns the statement
// to the cache on destruction, or finalizes it when the connection is gone.
class StatementLease
{
public:
    StatementLease() = default;
    StatementLease(std::weak_ptr<StatementCache> cache, QByteArray sql, sqlite3_stmt *stmt)
        : m_cache(std::move(cache)), m_sql(std::move(sql)), m_stmt(stmt)
    {}
    void reset(std::weak_ptr<StatementCache> cache, QByteArray sql, sqlite3_stmt *stmt)
    {
        m_cache = std::move(cache);
        m_sql = std::move(sql);
        m_stmt = stmt;
    }
    ~StatementLease();
    StatementLease(const StatementLease &) = delete;
    StatementLease &operator=(const StatementLease &) = delete;

    sqlite3_stmt *stmt() const { return m_stmt; }
    const QByteArray &sql() const { return m_sql; }
    sqlite3 *db() const;
    // Keeps bound text and blob bytes alive as long as the statement runs.
    QList<QByteArray> bound;

private:
    std::weak_ptr<StatementCache> m_cache;
    QByteArray m_sql;
    sqlite3_stmt *m_stmt = nullptr;
};

} // namespace sqlite_detail
