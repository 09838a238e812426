#include "db/FileCacheIndex.h"

#include "app/AppError.h"

#include <QFile>
#include <QFileInfo>

#include <stdexcept>

FileCacheIndex::FileCacheIndex(const QString &indexFile) : m_path(indexFile) {}

FileCacheIndex::~FileCacheIndex()
{
    if (m_db.isOpen() && m_db.inTransaction()) {
        QString ignored;
        m_db.exec(QStringLiteral("COMMIT"), ignored);
    }
    m_db.close();
}

void FileCacheIndex::ensureOpen()
{
    if (m_db.isOpen())
        return;
    if (QFileInfo::exists(m_path)) {
        m_db.openThrow(m_path, Sqlite3DB::ReadWrite);
    } else {
        QFile schema(QStringLiteral(":/res/cache_db.sql"));
        if (!schema.open(QIODevice::ReadOnly))
            throw AppError(schema.errorString());
        const QString script = QString::fromUtf8(schema.readAll());
        m_db.openThrow(m_path, Sqlite3DB::ReadWriteCreate);
        QString error;
        if (m_db.exec(script, error) != 0) {
            m_db.close();
            QFile::remove(m_path);
            throw AppError(error);
        }
    }
    QString ignored;
    m_db.exec(QStringLiteral("BEGIN"), ignored);
}

qint64 FileCacheIndex::lastDate(const QString &fileName)
{
    ensureOpen();
    try {
        Sqlite3Cursor cursor = m_db.queryThrow(
            Sqlite3Sql("select last_date from manifest where file_name=?").addTextParam(fileName));
        return cursor.moveNext() ? cursor.int64At(0) : 0;
    } catch (const std::exception &) {
        return 0;
    }
}

void FileCacheIndex::setLastDate(const QString &fileName, qint64 date)
{
    ensureOpen();
    try {
        bool found = false;
        qint64 stored = 0;
        {
            Sqlite3Cursor cursor = m_db.queryThrow(
                Sqlite3Sql("select last_date from manifest where file_name=?").addTextParam(fileName));
            if (cursor.moveNext()) {
                found = true;
                stored = cursor.int64At(0);
            }
        }
        if (found && stored != date)
            m_db.executeThrow(Sqlite3Sql("update manifest set last_date=? where file_name=?")
                                  .addInt64Param(date)
                                  .addTextParam(fileName));
        else if (!found)
            m_db.executeThrow(Sqlite3Sql("insert into manifest(file_name,last_date) values(?,?)")
                                  .addTextParam(fileName)
                                  .addInt64Param(date));
    } catch (const std::exception &) {
        // A missing entry only makes the next run copy the file again.
    }
}

void FileCacheIndex::remove(const QString &fileName)
{
    ensureOpen();
    try {
        m_db.executeThrow(Sqlite3Sql("delete from manifest where file_name=?").addTextParam(fileName));
    } catch (const std::exception &) {
    }
}

void FileCacheIndex::flush()
{
    ensureOpen();
    QString ignored;
    if (m_db.inTransaction())
        m_db.exec(QStringLiteral("COMMIT"), ignored);
    m_db.exec(QStringLiteral("BEGIN"), ignored);
}
