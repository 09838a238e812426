// One SQL statement with its bound values.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>

class Sqlite3Sql
{
public:
    Sqlite3Sql() = default;
    Sqlite3Sql(const char *sql);    // NOLINT: statements are written inline
    Sqlite3Sql(const QString &sql); // NOLINT
    static Sqlite3Sql fromUtf8(const QByteArray &sql);

    Sqlite3Sql &addIntParam(int value);
    Sqlite3Sql &addInt64Param(qint64 value);
    Sqlite3Sql &addDoubleParam(double value);
    Sqlite3Sql &addTextParam(const QString &value);
    Sqlite3Sql &addBlobParam(const QByteArray &value);
    Sqlite3Sql &addNullParam();
    // Binds by the variant's type: integers, doubles, text, byte arrays;
    // an invalid or null variant binds NULL.
    Sqlite3Sql &addParam(const QVariant &value);
    void reserveParams(qsizetype count) { m_params.reserve(count); }

    const QByteArray &sqlUtf8() const { return m_sql; }
    QString sql() const { return QString::fromUtf8(m_sql); }
    const QList<QVariant> &params() const { return m_params; }

private:
    QByteArray m_sql;
    QList<QVariant> m_params;
};
