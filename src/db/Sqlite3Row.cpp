#include "db/Sqlite3Row.h"

qsizetype Sqlite3Row::indexOf(const QString &column) const
{
    for (qsizetype i = 0; i < m_values.size(); ++i) {
        if (m_values[i].first == column)
            return i;
    }
    return -1;
}

void Sqlite3Row::setVal(const QString &column, const QVariant &value)
{
    (*this)[column] = value;
}

QVariant &Sqlite3Row::operator[](const QString &column)
{
    const qsizetype i = indexOf(column);
    if (i >= 0)
        return m_values[i].second;
    m_values.append(qMakePair(column, QVariant()));
    return m_values.last().second;
}

QVariant Sqlite3Row::val(const QString &column) const
{
    const qsizetype i = indexOf(column);
    return i >= 0 ? m_values[i].second : QVariant();
}

bool Sqlite3Row::contains(const QString &column) const
{
    return indexOf(column) >= 0;
}

QStringList Sqlite3Row::columns() const
{
    QStringList names;
    names.reserve(m_values.size());
    for (const auto &entry : m_values)
        names.append(entry.first);
    return names;
}

Sqlite3Sql Sqlite3Row::insertSql(const QString &table, const QSet<QString> &excluded) const
{
    QString names;
    QString marks;
    names.reserve(m_values.size() * 12);
    marks.reserve(m_values.size() * 2);
    QList<const QVariant *> bound;
    bound.reserve(m_values.size());
    for (const auto &entry : m_values) {
        if (!excluded.isEmpty() && excluded.contains(entry.first))
            continue;
        if (!bound.isEmpty()) {
            names += QLatin1Char(',');
            marks += QLatin1Char(',');
        }
        names += entry.first;
        marks += QLatin1Char('?');
        bound.append(&entry.second);
    }
    if (bound.isEmpty())
        return Sqlite3Sql(QStringLiteral("insert into ") + table + QStringLiteral(" default values"));
    Sqlite3Sql sql(QStringLiteral("insert into ") + table + QLatin1Char('(') + names
                   + QStringLiteral(") values(") + marks + QLatin1Char(')'));
    for (const QVariant *value : bound)
        sql.addParam(*value);
    return sql;
}
