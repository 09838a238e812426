#include "db/Sqlite3RowCopier.h"

#include "app/AppError.h"
#include "db/Sqlite3DB.h"
#include "db/SqliteError.h"

#include <sqlite3.h>

Sqlite3RowCopier::Sqlite3RowCopier(Sqlite3DB &db, const QString &readSql, const QString &insertSql,
                                   const QString &copyByKeySql, const QString &copyFailed,
                                   const QString &readFailed)
    : m_db(db.m_db), m_copyFailed(copyFailed), m_readFailed(readFailed)
{
    if (!m_db)
        throw AppError(m_copyFailed.arg(QStringLiteral("database is not open")));
    m_read = prepare(readSql);
    m_insert = prepare(insertSql);
    m_byKey = prepare(copyByKeySql);
    m_values = sqlite3_column_count(m_read) - 1;
    const int parameters = sqlite3_bind_parameter_count(m_insert);
    if (m_values != parameters) {
        finish();
        throw AppError(
            m_copyFailed.arg(QStringLiteral("%1 values for %2 parameters").arg(m_values).arg(parameters)));
    }
    advance();
}

Sqlite3RowCopier::~Sqlite3RowCopier()
{
    finish();
}

void Sqlite3RowCopier::copy(qint64 key)
{
    // Rows already copied out of turn are passed over.
    while (m_onRow && m_copiedAside.contains(sqlite3_column_int64(m_read, 0)))
        advance();
    if (m_onRow && sqlite3_column_int64(m_read, 0) == key) {
        for (int i = 0; i < m_values; ++i)
            sqlite3_bind_value(m_insert, i + 1, sqlite3_column_value(m_read, i + 1));
        run(m_insert);
        advance();
        return;
    }
    sqlite3_bind_int64(m_byKey, 1, key);
    run(m_byKey);
    m_copiedAside.insert(key);
}

void Sqlite3RowCopier::finish()
{
    for (sqlite3_stmt **stmt : {&m_read, &m_insert, &m_byKey}) {
        sqlite3_finalize(*stmt);
        *stmt = nullptr;
    }
    m_onRow = false;
}

sqlite3_stmt *Sqlite3RowCopier::prepare(const QString &sql)
{
    const QByteArray text = sql.toUtf8();
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(m_db, text.constData(), int(text.size()), &stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt);
        throwIfSqliteDiskFull(m_db);
        finish();
        fail(m_copyFailed);
    }
    return stmt;
}

void Sqlite3RowCopier::run(sqlite3_stmt *stmt)
{
    const int rc = sqlite3_step(stmt);
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
    if (rc != SQLITE_DONE) {
        throwIfSqliteDiskFull(m_db);
        fail(m_copyFailed);
    }
}

void Sqlite3RowCopier::advance()
{
    const int rc = sqlite3_step(m_read);
    m_onRow = rc == SQLITE_ROW;
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
        throwIfSqliteDiskFull(m_db);
        fail(m_readFailed);
    }
}

void Sqlite3RowCopier::fail(const QString &text)
{
    throw AppError(text.arg(sqliteErrorText(m_db, SQLITE_ERROR)));
}
