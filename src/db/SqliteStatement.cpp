#include "db/SqliteStatement.h"

#include <sqlite3.h>

namespace sqlite_detail {

StatementCache::~StatementCache()
{
    clear();
}

sqlite3_stmt *StatementCache::take(const QByteArray &sql)
{
    auto it = m_idle.find(sql);
    if (it == m_idle.end())
        return nullptr;
    sqlite3_stmt *stmt = it.value();
    m_idle.erase(it);
    return stmt;
}

void StatementCache::give(const QByteArray &sql, sqlite3_stmt *stmt)
{
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
    if (m_idle.size() >= kMaxIdle || m_idle.contains(sql)) {
        sqlite3_finalize(stmt);
        return;
    }
    m_idle.insert(sql, stmt);
}

void StatementCache::clear()
{
    for (sqlite3_stmt *stmt : std::as_const(m_idle))
        sqlite3_finalize(stmt);
    m_idle.clear();
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
