#include "db/Sqlite3Cursor.h"

#include "app/AppError.h"
#include "db/Sqlite3DB.h"
#include "db/SqliteError.h"
#include "db/SqliteStatement.h"

#include <sqlite3.h>

#include <stdexcept>

using sqlite_detail::StatementLease;

Sqlite3Cursor::Sqlite3Cursor() = default;

Sqlite3Cursor::Sqlite3Cursor(std::unique_ptr<StatementLease> lease) : m_lease(std::move(lease)) {}

Sqlite3Cursor::Sqlite3Cursor(Sqlite3Cursor &&other) noexcept = default;
Sqlite3Cursor &Sqlite3Cursor::operator=(Sqlite3Cursor &&other) noexcept = default;
Sqlite3Cursor::~Sqlite3Cursor() = default;

sqlite3_stmt *Sqlite3Cursor::stmt() const
{
    return m_lease ? m_lease->stmt() : nullptr;
}

bool Sqlite3Cursor::moveNext()
{
    sqlite3_stmt *s = stmt();
    if (!s || m_done)
        return false;
    const int rc = sqlite3_step(s);
    if (rc == SQLITE_ROW)
        return true;
    m_done = true;
    if (rc == SQLITE_DONE)
        return false;
    throwIfSqliteDiskFull(m_lease->db());
    const QString message = sqliteErrorText(m_lease->db(), rc);
    throw AppError(QStringLiteral("%1 (in \"%2\")").arg(message, QString::fromUtf8(m_lease->sql())));
}

void Sqlite3Cursor::buildColumnMap() const
{
    if (m_columnsBuilt)
        return;
    m_columnsBuilt = true;
    sqlite3_stmt *s = stmt();
    if (!s)
        return;
    const int count = sqlite3_column_count(s);
    for (int i = 0; i < count; ++i) {
        const QString name = QString::fromUtf8(sqlite3_column_name(s, i));
        if (!m_columns.contains(name))
            m_columns.insert(name, i);
    }
}

bool Sqlite3Cursor::hasColumn(const QString &column) const
{
    buildColumnMap();
    if (m_columns.contains(column))
        return true;
    for (auto it = m_columns.cbegin(); it != m_columns.cend(); ++it) {
        if (it.key().compare(column, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

int Sqlite3Cursor::columnIndex(const QString &column) const
{
    buildColumnMap();
    const int exact = m_columns.value(column, -1);
    if (exact >= 0)
        return exact;
    for (auto ci = m_columns.cbegin(); ci != m_columns.cend(); ++ci) {
        if (ci.key().compare(column, Qt::CaseInsensitive) == 0)
            return ci.value();
    }
    throw AppError(QStringLiteral("no such column in result: %1").arg(column));
}

int Sqlite3Cursor::columnCount() const
{
    sqlite3_stmt *s = stmt();
    return s ? sqlite3_column_count(s) : 0;
}

QString Sqlite3Cursor::columnName(int index) const
{
    sqlite3_stmt *s = stmt();
    return s ? QString::fromUtf8(sqlite3_column_name(s, index)) : QString();
}

qint64 Sqlite3Cursor::int64At(int index) const
{
    return sqlite3_column_int64(stmt(), index);
}

double Sqlite3Cursor::doubleAt(int index) const
{
    return sqlite3_column_double(stmt(), index);
}

QString Sqlite3Cursor::textAt(int index) const
{
    sqlite3_stmt *s = stmt();
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(s, index));
    if (!text)
        return QString();
    return QString::fromUtf8(text, sqlite3_column_bytes(s, index));
}

QByteArray Sqlite3Cursor::blobAt(int index) const
{
    sqlite3_stmt *s = stmt();
    const void *data = sqlite3_column_blob(s, index);
    const int size = sqlite3_column_bytes(s, index);
    if (!data || size <= 0)
        return QByteArray();
    return QByteArray(static_cast<const char *>(data), size);
}

bool Sqlite3Cursor::isNullAt(int index) const
{
    return sqlite3_column_type(stmt(), index) == SQLITE_NULL;
}

QVariant Sqlite3Cursor::valueAt(int index) const
{
    switch (sqlite3_column_type(stmt(), index)) {
    case SQLITE_INTEGER:
        return QVariant(qint64(int64At(index)));
    case SQLITE_FLOAT:
        return QVariant(doubleAt(index));
    case SQLITE_TEXT:
        return QVariant(textAt(index));
    case SQLITE_BLOB:
        return QVariant(blobAt(index));
    default:
        return QVariant();
    }
}

int Sqlite3Cursor::getInt(const QString &column) const
{
    return int(int64At(columnIndex(column)));
}

qint64 Sqlite3Cursor::getInt64(const QString &column) const
{
    return int64At(columnIndex(column));
}

double Sqlite3Cursor::getDouble(const QString &column) const
{
    return doubleAt(columnIndex(column));
}

QString Sqlite3Cursor::getText(const QString &column) const
{
    return textAt(columnIndex(column));
}

QByteArray Sqlite3Cursor::getBlob(const QString &column) const
{
    return blobAt(columnIndex(column));
}

bool Sqlite3Cursor::isNull(const QString &column) const
{
    return isNullAt(columnIndex(column));
}

QVariant Sqlite3Cursor::getValue(const QString &column) const
{
    return valueAt(columnIndex(column));
}

Sqlite3Row Sqlite3Cursor::getRow() const
{
    Sqlite3Row row;
    const int count = columnCount();
    for (int i = 0; i < count; ++i)
        row.setVal(columnName(i), valueAt(i));
    return row;
}
