#include "db/DbSchema.h"

#include "app/AppError.h"
#include "db/Sqlite3DB.h"

#include <stdexcept>

DbSchema DbSchema::read(Sqlite3DB &db)
{
    DbSchema schema;
    QList<QPair<QString, QString>> tables;
    {
        Sqlite3Cursor cursor = db.queryThrow("select * from sqlite_master");
        while (cursor.moveNext()) {
            const QString type = cursor.getText(QStringLiteral("type"));
            if (type == QLatin1String("table")) {
                tables.append(
                    {cursor.getText(QStringLiteral("tbl_name")), cursor.getText(QStringLiteral("sql"))});
            } else if (type == QLatin1String("index")) {
                schema.m_indexes.insert(cursor.getText(QStringLiteral("name")).toLower(),
                                        cursor.getText(QStringLiteral("sql")));
            }
        }
    }
    // Columns are read after the master cursor has ended.
    for (const auto &[name, sql] : tables) {
        DbSchemaTable entry;
        entry.name = name;
        entry.sql = sql;
        for (const _SqliteCol &col : db.tbCols(name))
            entry.columns.insert(col.name.toLower(), col);
        schema.m_tables.insert(name.toLower(), entry);
    }
    return schema;
}

bool DbSchema::hasTable(const QString &name) const
{
    return m_tables.contains(name.toLower());
}

DbSchemaTable DbSchema::table(const QString &name) const
{
    return m_tables.value(name.toLower());
}

QString DbSchema::tableSql(const QString &name) const
{
    return m_tables.value(name.toLower()).sql;
}

bool DbSchema::hasColumn(const DbSchemaTable &table, const QString &name)
{
    return table.columns.contains(name.toLower());
}

_SqliteCol DbSchema::column(const DbSchemaTable &table, const QString &name)
{
    return table.columns.value(name.toLower());
}

bool DbSchema::hasIndex(const QString &name) const
{
    return m_indexes.contains(name.toLower());
}

QString DbSchema::indexSql(const QString &name) const
{
    return m_indexes.value(name.toLower());
}

void addColumn(const DbSchema &schema, Sqlite3DB &db, const QString &table, const QString &column,
               const QString &type)
{
    const QString statement = QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 %3").arg(table, column, type);
    if (!schema.hasTable(table))
        throw AppError(QStringLiteral("error:no table, %1").arg(statement));
    if (DbSchema::hasColumn(schema.table(table), column))
        return;
    QString error;
    if (db.exec(statement, error) != 0)
        throw AppError(QStringLiteral("error:%1, %2").arg(error, statement));
}
