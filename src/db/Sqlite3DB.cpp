#include "db/Sqlite3DB.h"

#include "db/SqliteStatement.h"

#include "app/DiskFull.h"

#include <QDateTime>
#include <QDir>

#include <sqlite3.h>

#include <cerrno>
#include <stdexcept>

using sqlite_detail::StatementCache;
using sqlite_detail::StatementLease;

int sqlite_qt_version()
{
    return 7;
}

void throwIfSqliteDiskFull(sqlite3 *db)
{
    // Taken first: SQLite does not always keep the system's error of a
    // failed write (a COMMIT's, for one), and errno still holds it then.
    const int lastErrno = errno;
    if (!db)
        return;
    const int code = sqlite3_extended_errcode(db) & 0xff;
    const int systemError = sqlite3_system_errno(db) ? sqlite3_system_errno(db) : lastErrno;
    if (code != SQLITE_FULL && !(code == SQLITE_IOERR && isDiskFullErrno(systemError)))
        return;
    const char *file = sqlite3_db_filename(db, "main");
    // A database without a file (in memory) spills to the temporary folder.
    throw DiskFullError(file && *file ? QString::fromUtf8(file) : QDir::tempPath());
}

namespace {

constexpr int kBusyTimeoutMs = 5000;

void bindValue(StatementLease &lease, int index, const QVariant &value)
{
    sqlite3_stmt *stmt = lease.stmt();
    if (!value.isValid() || value.isNull()) {
        // A null QString or QByteArray inside a variant is still a value.
        if (value.typeId() == QMetaType::QString) {
            sqlite3_bind_text(stmt, index, "", 0, SQLITE_STATIC);
            return;
        }
        if (value.typeId() == QMetaType::QByteArray) {
            sqlite3_bind_zeroblob(stmt, index, 0);
            return;
        }
        sqlite3_bind_null(stmt, index);
        return;
    }
    switch (value.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Long:
    case QMetaType::ULong:
        sqlite3_bind_int64(stmt, index, value.toLongLong());
        return;
    case QMetaType::Double:
    case QMetaType::Float:
        sqlite3_bind_double(stmt, index, value.toDouble());
        return;
    case QMetaType::QByteArray: {
        lease.bound.append(value.toByteArray());
        const QByteArray &bytes = lease.bound.last();
        sqlite3_bind_blob64(stmt, index, bytes.constData(), sqlite3_uint64(bytes.size()), SQLITE_STATIC);
        return;
    }
    case QMetaType::QDateTime: {
        const QDateTime time = value.toDateTime();
        if (time.isValid())
            sqlite3_bind_int64(stmt, index, time.toMSecsSinceEpoch());
        else
            sqlite3_bind_null(stmt, index);
        return;
    }
    default: {
        lease.bound.append(value.toString().toUtf8());
        const QByteArray &bytes = lease.bound.last();
        sqlite3_bind_text64(stmt, index, bytes.constData(), sqlite3_uint64(bytes.size()), SQLITE_STATIC,
                            SQLITE_UTF8);
        return;
    }
    }
}

} // namespace

Sqlite3DB::Sqlite3DB() = default;

Sqlite3DB::~Sqlite3DB()
{
    close();
}

QString Sqlite3DB::errorText(const QString &context) const
{
    const QString message =
        m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QStringLiteral("database is not open");
    return context.isEmpty() ? message : QStringLiteral("%1 (in \"%2\")").arg(message, context);
}

void Sqlite3DB::throwError(const QString &context) const
{
    throwIfSqliteDiskFull(m_db);
    throw std::runtime_error(errorText(context).toStdString());
}

void Sqlite3DB::openThrow(const QString &path, int flags)
{
    close();
    sqlite3 *db = nullptr;
    const QByteArray file = QDir::toNativeSeparators(path).toUtf8();
    const int rc = sqlite3_open_v2(file.constData(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        const QString message =
            db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_close_v2(db);
        throw std::runtime_error(
            QStringLiteral("%1: %2").arg(message, QDir::toNativeSeparators(path)).toStdString());
    }
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    m_db = db;
    m_path = path;
    m_cache = std::make_shared<StatementCache>(db);
}

void Sqlite3DB::close()
{
    if (!m_db)
        return;
    // Cursors still alive finalize their own statements; close_v2 keeps the
    // connection until they have.
    m_cache.reset();
    sqlite3_close_v2(m_db);
    m_db = nullptr;
    m_path.clear();
}

void Sqlite3DB::prepareThrow(const Sqlite3Sql &sql, StatementLease &lease)
{
    if (!m_db)
        throw std::runtime_error(
            QStringLiteral("database is not open (in \"%1\")").arg(sql.sql()).toStdString());
    const QByteArray &text = sql.sqlUtf8();
    sqlite3_stmt *stmt = m_cache->take(text);
    if (!stmt) {
        const char *tail = nullptr;
        const int rc = sqlite3_prepare_v3(m_db, text.constData(), int(text.size()), SQLITE_PREPARE_PERSISTENT,
                                          &stmt, &tail);
        if (rc != SQLITE_OK || !stmt) {
            sqlite3_finalize(stmt);
            if (rc == SQLITE_OK)
                throw std::runtime_error(
                    QStringLiteral("empty statement (in \"%1\")").arg(sql.sql()).toStdString());
            throwError(sql.sql());
        }
    }
    lease.reset(m_cache, text, stmt);
    const auto &params = sql.params();
    const int expected = sqlite3_bind_parameter_count(stmt);
    if (params.size() > expected) {
        throw std::runtime_error(QStringLiteral("%1 values bound to %2 parameters (in \"%3\")")
                                     .arg(params.size())
                                     .arg(expected)
                                     .arg(sql.sql())
                                     .toStdString());
    }
    // Placeholders without a value are NULL, not what the last run bound.
    if (params.size() < expected)
        sqlite3_clear_bindings(stmt);
    lease.bound.reserve(params.size());
    for (int i = 0; i < params.size(); ++i)
        bindValue(lease, i + 1, params[i]);
}

void Sqlite3DB::executeThrow(const Sqlite3Sql &sql)
{
    StatementLease lease;
    prepareThrow(sql, lease);
    int rc;
    do {
        rc = sqlite3_step(lease.stmt());
    } while (rc == SQLITE_ROW);
    if (rc != SQLITE_DONE)
        throwError(sql.sql());
}

Sqlite3Cursor Sqlite3DB::queryThrow(const Sqlite3Sql &sql)
{
    auto lease = std::make_unique<StatementLease>();
    prepareThrow(sql, *lease);
    return Sqlite3Cursor(std::move(lease));
}

int Sqlite3DB::exec(const QString &sql, QString &error)
{
    error.clear();
    if (!m_db) {
        error = QStringLiteral("database is not open");
        return SQLITE_MISUSE;
    }
    char *message = nullptr;
    const int rc = sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &message);
    if (rc != SQLITE_OK) {
        error = message ? QString::fromUtf8(message) : QString::fromUtf8(sqlite3_errstr(rc));
        if (error.isEmpty())
            error = QStringLiteral("SQLite error %1").arg(rc);
    }
    sqlite3_free(message);
    return rc == SQLITE_OK ? 0 : rc;
}

void Sqlite3DB::beginTran()
{
    executeThrow("BEGIN");
}

void Sqlite3DB::commitTran()
{
    executeThrow("COMMIT");
}

void Sqlite3DB::rollbackTran()
{
    if (m_db && !sqlite3_get_autocommit(m_db)) {
        QString ignored;
        exec(QStringLiteral("ROLLBACK"), ignored);
    }
}

bool Sqlite3DB::inTransaction() const
{
    return m_db && !sqlite3_get_autocommit(m_db);
}

qint64 Sqlite3DB::lastInsertId() const
{
    return m_db ? sqlite3_last_insert_rowid(m_db) : 0;
}

int Sqlite3DB::changes() const
{
    return m_db ? sqlite3_changes(m_db) : 0;
}

QList<_SqliteCol> Sqlite3DB::tbCols(const QString &table)
{
    QString quoted = table;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    Sqlite3Cursor cursor = queryThrow(QStringLiteral("PRAGMA table_info(\"%1\")").arg(quoted));
    QList<_SqliteCol> columns;
    while (cursor.moveNext()) {
        _SqliteCol col;
        col.name = cursor.getText(QStringLiteral("name"));
        col.type = cursor.getText(QStringLiteral("type"));
        col.notNull = cursor.getInt(QStringLiteral("notnull")) != 0;
        col.primaryKey = cursor.getInt(QStringLiteral("pk")) != 0;
        col.hasDefault = !cursor.isNull(QStringLiteral("dflt_value"));
        columns.append(col);
    }
    return columns;
}

Sqlite3Transaction::Sqlite3Transaction(Sqlite3DB &db) : m_db(db)
{
    m_db.beginTran();
}

Sqlite3Transaction::~Sqlite3Transaction()
{
    if (m_open)
        m_db.rollbackTran();
}

void Sqlite3Transaction::commit()
{
    m_db.commitTran();
    m_open = false;
}
