// Copies rows between two tables of one connection (an attached database
// counts) with every value bound exactly as SQLite holds it, without a trip
// through Qt types. The rows asked for mostly follow the order of the read
// query, so one cursor walks it and each row it stands on is inserted
// without a lookup; a row asked out of turn is copied by its key instead.
#pragma once

#include <QSet>
#include <QString>

struct sqlite3;
struct sqlite3_stmt;
class Sqlite3DB;

class Sqlite3RowCopier
{
public:
    // `readSql`: the key, then the values in the order of `insertSql`'s
    // parameters. `copyByKeySql`: copies one row; its one parameter is the
    // key. `copyFailed` and `readFailed` are the failure texts, "%1" standing
    // for SQLite's message.
    Sqlite3RowCopier(Sqlite3DB &db, const QString &readSql, const QString &insertSql,
                     const QString &copyByKeySql, const QString &copyFailed, const QString &readFailed);
    ~Sqlite3RowCopier();
    Sqlite3RowCopier(const Sqlite3RowCopier &) = delete;
    Sqlite3RowCopier &operator=(const Sqlite3RowCopier &) = delete;

    void copy(qint64 key);
    // Releases the statements (before an attached database is detached).
    void finish();

private:
    sqlite3_stmt *prepare(const QString &sql);
    void run(sqlite3_stmt *stmt);
    void advance();
    [[noreturn]] void fail(const QString &text);

    sqlite3 *m_db;
    QString m_copyFailed;
    QString m_readFailed;
    int m_values = 0;
    sqlite3_stmt *m_read = nullptr;
    sqlite3_stmt *m_insert = nullptr;
    sqlite3_stmt *m_byKey = nullptr;
    bool m_onRow = false;
    QSet<qint64> m_copiedAside;
};
