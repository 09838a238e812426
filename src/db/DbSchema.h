// The tables, columns and indexes of a database, looked up without regard
// to case, and the adding of missing columns.
#pragma once

#include "db/SqliteCol.h"

#include <QMap>
#include <QString>

class Sqlite3DB;

struct DbSchemaTable
{
    QString name;
    QString sql;
    QMap<QString, _SqliteCol> columns; // lower-case name -> column
};

class DbSchema
{
public:
    // Reads "select * from sqlite_master" of the connection.
    static DbSchema read(Sqlite3DB &db);

    bool hasTable(const QString &name) const;
    DbSchemaTable table(const QString &name) const;
    QString tableSql(const QString &name) const;

    static bool hasColumn(const DbSchemaTable &table, const QString &name);
    static _SqliteCol column(const DbSchemaTable &table, const QString &name);

    bool hasIndex(const QString &name) const;
    QString indexSql(const QString &name) const;

    const QMap<QString, DbSchemaTable> &tables() const { return m_tables; }
    const QMap<QString, QString> &indexes() const { return m_indexes; }

private:
    QMap<QString, DbSchemaTable> m_tables;
    QMap<QString, QString> m_indexes;
};

// "ALTER TABLE <table> ADD COLUMN <column> <type>" unless the column exists.
// Throws "error:no table, <statement>" when the schema has no such table and
// "error:<SQLite's message>, <statement>" when the statement fails.
void addColumn(const DbSchema &schema, Sqlite3DB &db, const QString &table, const QString &column,
               const QString &type);
