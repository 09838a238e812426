#include "db/SqliteStatement.h"

#include <sqlite3.h>

namespace sqlite_detail {

StatementCache::~StatementCache()
{
    clear();
}

sqlite3_stmt *StatementCache::take(const QByteArray &sql)
{
    auto it = m_entries.find(sql);
    if (it == m_entries.end() || it->busy)
        return nullptr;
    it->busy = true;
    return it->stmt;
}

void StatementCache::give(const QByteArray &sql, sqlite3_stmt *stmt)
{
    sqlite3_reset(stmt);
    auto it = m_entries.find(sql);
    if (it != m_entries.end()) {
        if (it->stmt == stmt) {
            it->busy = false;
            return;
        }
        // A second statement of a text already cached (a nested use).
        sqlite3_finalize(stmt);
        return;
    }
    if (m_entries.size() >= kMaxCached) {
        sqlite3_finalize(stmt);
        return;
    }
    m_entries.insert(sql, Entry{stmt, false});
}

void StatementCache::clear()
{
    // Statements still in use are finalized by their leases, which find the
    // cache gone; only idle ones are finalized here.
    for (const Entry &entry : std::as_const(m_entries)) {
        if (!entry.busy)
            sqlite3_finalize(entry.stmt);
    }
    m_entries.clear();
}

StatementLease::~StatementLease()
{
    if (!m_stmt)
        return;
    if (auto cache = m_cache.lock())
        cache->give(m_sql, m_stmt);
    else
        sqlite3_finalize(m_stmt);
}

sqlite3 *StatementLease::db() const
{
    return m_stmt ? sqlite3_db_handle(m_stmt) : nullptr;
}

} // namespace sqlite_detail
