// SQLite's own text for a failed call, for the failure messages of the code
// that calls SQLite.
#pragma once

#include <QString>

struct sqlite3;

// The connection's message when there is a connection, else the generic
// text of the result code `rc`.
QString sqliteErrorText(sqlite3 *db, int rc);
