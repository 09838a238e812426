#include "db/SqliteError.h"

#include <sqlite3.h>

QString sqliteErrorText(sqlite3 *db, int rc)
{
    return db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(rc));
}
