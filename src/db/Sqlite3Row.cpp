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
    if (m_values.isEmpty())
        m_values.reserve(16);
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

namespace {

// The text of the last insert built on this thread. Bulk inserts build the
// same statement for every row; reusing its text skips rebuilding and
// re-encoding it each time.
struct LastInsertText
{
    QString table;
    QStringList columns;
    QSet<QString> excluded;
    QByteArray sql;
    qsizetype bound = 0;
};

thread_local LastInsertText t_last;

bool sameColumns(const QList<QPair<QString, QVariant>> &values, const QStringList &columns)
{
    if (values.size() != columns.size())
        return false;
    for (qsizetype i = 0; i < columns.size(); ++i) {
        if (values[i].first != columns[i])
            return false;
    }
    return true;
}

} // namespace

Sqlite3Sql Sqlite3Row::insertSql(const QString &table, const QSet<QString> &excluded) const
{
    if (t_last.bound > 0 && t_last.table == table && t_last.excluded == excluded
        && sameColumns(m_values, t_last.columns)) {
        Sqlite3Sql sql = Sqlite3Sql::fromUtf8(t_last.sql);
        sql.reserveParams(t_last.bound);
        for (const auto &entry : m_values) {
            if (excluded.isEmpty() || !excluded.contains(entry.first))
                sql.addParam(entry.second);
        }
        return sql;
    }
    qsizetype length = table.size() + 32;
    for (const auto &entry : m_values)
        length += entry.first.size() + 3;
    QString text;
    text.reserve(length);
    text += QLatin1String("insert into ");
    text += table;
    text += QLatin1Char('(');
    qsizetype count = 0;
    for (const auto &entry : m_values) {
        if (!excluded.isEmpty() && excluded.contains(entry.first))
            continue;
        if (count++)
            text += QLatin1Char(',');
        text += entry.first;
    }
    if (count == 0)
        return Sqlite3Sql(QStringLiteral("insert into ") + table + QStringLiteral(" default values"));
    text += QLatin1String(") values(");
    for (qsizetype i = 0; i < count; ++i)
        text += i ? QLatin1String(",?") : QLatin1String("?");
    text += QLatin1Char(')');
    Sqlite3Sql sql(text);
    sql.reserveParams(count);
    for (const auto &entry : m_values) {
        if (excluded.isEmpty() || !excluded.contains(entry.first))
            sql.addParam(entry.second);
    }
    t_last.table = table;
    t_last.columns = columns();
    t_last.excluded = excluded;
    t_last.sql = sql.sqlUtf8();
    t_last.bound = count;
    return sql;
}
