// The rows of one query, read by column name.
#pragma once

#include "db/Sqlite3Row.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <memory>

struct sqlite3_stmt;

namespace sqlite_detail {
class StatementLease;
}

// Owns the prepared statement (`Sqlite3Stmt`) of a query until destroyed.
// Movable, not copyable.
class Sqlite3Cursor
{
public:
    Sqlite3Cursor();
    explicit Sqlite3Cursor(std::unique_ptr<sqlite_detail::StatementLease> lease);
    Sqlite3Cursor(Sqlite3Cursor &&other) noexcept;
    Sqlite3Cursor &operator=(Sqlite3Cursor &&other) noexcept;
    Sqlite3Cursor(const Sqlite3Cursor &) = delete;
    Sqlite3Cursor &operator=(const Sqlite3Cursor &) = delete;
    ~Sqlite3Cursor();

    // Advances to the next row; false when no row is left. Throws when
    // SQLite reports an error while stepping.
    bool moveNext();

    int getInt(const QString &column) const;
    qint64 getInt64(const QString &column) const;
    double getDouble(const QString &column) const;
    QString getText(const QString &column) const;
    QByteArray getBlob(const QString &column) const;
    bool isNull(const QString &column) const;
    QVariant getValue(const QString &column) const;
    Sqlite3Row getRow() const;

    bool hasColumn(const QString &column) const;
    int columnCount() const;
    QString columnName(int index) const;
    // Index of the named column, throwing when the result has no such column.
    int columnIndex(const QString &column) const;

    // Reads by index, for loops over many rows.
    qint64 int64At(int index) const;
    double doubleAt(int index) const;
    QString textAt(int index) const;
    QByteArray blobAt(int index) const;
    bool isNullAt(int index) const;
    QVariant valueAt(int index) const;

private:
    sqlite3_stmt *stmt() const;
    void buildColumnMap() const;

    std::unique_ptr<sqlite_detail::StatementLease> m_lease;
    mutable QHash<QString, int> m_columns;
    mutable bool m_columnsBuilt = false;
    bool m_done = false;
};
