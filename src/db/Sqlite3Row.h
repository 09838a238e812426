// An ordered map from column name to value.
#pragma once

#include "db/Sqlite3Sql.h"

#include <QList>
#include <QPair>
#include <QSet>
#include <QString>
#include <QVariant>

class Sqlite3Row
{
public:
    void setVal(const QString &column, const QVariant &value);
    QVariant &operator[](const QString &column);
    QVariant val(const QString &column) const;
    bool contains(const QString &column) const;

    int size() const { return int(m_values.size()); }
    bool isEmpty() const { return m_values.isEmpty(); }
    QStringList columns() const;
    const QList<QPair<QString, QVariant>> &values() const { return m_values; }
    void clear() { m_values.clear(); }

    // "insert into <table>(c1,c2,...) values(?,?,...)" with the row's values
    // bound in column order, leaving out the columns named in `excluded`.
    Sqlite3Sql insertSql(const QString &table, const QSet<QString> &excluded = {}) const;

private:
    qsizetype indexOf(const QString &column) const;

    QList<QPair<QString, QVariant>> m_values;
};
