// One SQLite database connection with Qt types at its surface.
#pragma once

#include "db/Sqlite3Cursor.h"
#include "db/Sqlite3Row.h"
#include "db/Sqlite3Sql.h"
#include "db/SqliteCol.h"

#include <QList>
#include <QString>

#include <memory>

struct sqlite3;

// The interface version of this access layer; start-up accepts only 7.
int sqlite_qt_version();

// Throws DiskFullError (app/DiskFull.h) naming the database's folder when
// the last error of `db` means the disk is full: SQLITE_FULL, or an I/O
// error whose system error is ENOSPC, EFBIG or EDQUOT.
void throwIfSqliteDiskFull(sqlite3 *db);

namespace sqlite_detail {
class StatementCache;
}

class Sqlite3DB
{
public:
    // SQLite open flags as callers pass them.
    enum OpenFlag { ReadOnly = 1, ReadWrite = 2, ReadWriteCreate = 6 };

    // The raw connection, for running scripts with sqlite3_exec.
    sqlite3 *m_db = nullptr;

    Sqlite3DB();
    virtual ~Sqlite3DB();
    Sqlite3DB(const Sqlite3DB &) = delete;
    Sqlite3DB &operator=(const Sqlite3DB &) = delete;

    void openThrow(const QString &path, int flags);
    void close();
    bool isOpen() const { return m_db != nullptr; }
    QString filePath() const { return m_path; }

    // Runs a statement that returns no rows.
    void executeThrow(const Sqlite3Sql &sql);
    // Runs a query; the cursor stands before the first row.
    Sqlite3Cursor queryThrow(const Sqlite3Sql &sql);
    // Runs one or more statements; 0 on success, else SQLite's code with its
    // message in `error`. Never throws.
    int exec(const QString &sql, QString &error);

    void beginTran();
    void commitTran();
    // Rolls back an open transaction; does nothing when none is open.
    void rollbackTran();
    bool inTransaction() const;

    qint64 lastInsertId() const;
    int changes() const;
    QList<_SqliteCol> tbCols(const QString &table);

    // Error text of the connection, prefixed by what failed.
    QString errorText(const QString &context) const;

private:
    [[noreturn]] void throwError(const QString &context) const;
    void prepareThrow(const Sqlite3Sql &sql, sqlite_detail::StatementLease &lease);

    QString m_path;
    std::shared_ptr<sqlite_detail::StatementCache> m_cache;
};

// Begins a transaction and rolls it back on destruction unless committed.
class Sqlite3Transaction
{
public:
    explicit Sqlite3Transaction(Sqlite3DB &db);
    ~Sqlite3Transaction();
    Sqlite3Transaction(const Sqlite3Transaction &) = delete;
    Sqlite3Transaction &operator=(const Sqlite3Transaction &) = delete;
    void commit();

private:
    Sqlite3DB &m_db;
    bool m_open = true;
};
